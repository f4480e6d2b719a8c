// The analysis file (.dat) as the converter reads it, and the two file operations of a
// conversion. Both operations return the text to show; the empty text means success.
// A failure of the operating system after a successful open leaves as std::system_error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace varnolt {

// No header, no signature: a run of 64-byte little-endian records, possibly followed by
// 1 to 63 bytes that are ignored. Records 0 .. R-2 are frames, record R-1 the trailer.
//
// PartialEntry, 8 bytes:
//   +0  level       int32, linear, only ratios matter
//   +4  frequency   int32, tenths of a hertz
// FrameRecord, 64 bytes: PartialEntry 0 .. 7 at +0, +8, ... +56
// TrailerRecord, 64 bytes:
//   +0  60 bytes    never read
//   +60 frameRateCode  int32: 15, 20, 30, 60, or 0 when the file does not say
struct PartialEntry {
    std::int32_t level;
    std::int32_t frequency;
};
struct FrameRecord {
    PartialEntry partials[8];
};
struct TrailerRecord {
    std::uint8_t notRead[60];
    std::int32_t frameRateCode;
};
static_assert(sizeof(PartialEntry) == 8 && sizeof(FrameRecord) == 64 && sizeof(TrailerRecord) == 64);

inline constexpr int kRecordBytes = sizeof(FrameRecord);
inline constexpr int kPartialsPerFrame = 8;
inline constexpr int kPartialBytes = sizeof(PartialEntry);
inline constexpr int kLevelOffset = offsetof(PartialEntry, level);
inline constexpr int kFrequencyOffset = offsetof(PartialEntry, frequency);
inline constexpr int kFrameRateCodeOffset = offsetof(TrailerRecord, frameRateCode);
inline constexpr int kMaxRecords = 18000;  // 17999 frames and the trailer
// Anything larger is refused without being read.
inline constexpr std::int64_t kMaxFileBytes = std::int64_t{kMaxRecords} * kRecordBytes + kRecordBytes - 1;
inline constexpr std::int32_t kZeroTailBytes = 4096;

inline std::int32_t LoadInt32(const std::uint8_t* bytes) {
    return static_cast<std::int32_t>(std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 |
                                     std::uint32_t{bytes[2]} << 16 | std::uint32_t{bytes[3]} << 24);
}
inline void StoreInt32(std::uint8_t* bytes, std::int32_t value) {
    const auto v = static_cast<std::uint32_t>(value);
    bytes[0] = static_cast<std::uint8_t>(v);
    bytes[1] = static_cast<std::uint8_t>(v >> 8);
    bytes[2] = static_cast<std::uint8_t>(v >> 16);
    bytes[3] = static_cast<std::uint8_t>(v >> 24);
}

// The 8-byte entry of one partial in the loaded image.
inline std::uint8_t* PartialAt(std::uint8_t* image, int frame, int partial) {
    return image + static_cast<std::ptrdiff_t>(frame) * kRecordBytes + partial * kPartialBytes;
}
inline const std::uint8_t* PartialAt(const std::uint8_t* image, int frame, int partial) {
    return image + static_cast<std::ptrdiff_t>(frame) * kRecordBytes + partial * kPartialBytes;
}
inline std::int32_t PartialLevel(const std::uint8_t* image, int frame, int partial) {
    return LoadInt32(PartialAt(image, frame, partial) + kLevelOffset);
}
inline std::int32_t PartialFrequency(const std::uint8_t* image, int frame, int partial) {
    return LoadInt32(PartialAt(image, frame, partial) + kFrequencyOffset);
}
inline void SetPartialLevel(std::uint8_t* image, int frame, int partial, std::int32_t level) {
    StoreInt32(PartialAt(image, frame, partial) + kLevelOffset, level);
}
inline void SetPartialFrequency(std::uint8_t* image, int frame, int partial, std::int32_t frequency) {
    StoreInt32(PartialAt(image, frame, partial) + kFrequencyOffset, frequency);
}

// Reads the whole file into one pool block followed by tailBytes zero bytes. The block
// and the file length are stored as the pool answers, so block is left untouched when
// the open fails. Not a regular file, locked by another process, or larger than
// kMaxFileBytes: refused without reading.
std::string LoadAnalysisFile(const std::string& path, std::int32_t tailBytes, std::uint8_t*& block,
                             std::int32_t& length);

// Writes the bytes to a temporary file beside outputPath and renames it over outputPath
// once all of it is written, so a failure never leaves a partial or damaged output.
// contents names the text in the error of a failed write or close.
std::string WriteTextFile(const char* bytes, std::int32_t count, const std::string& outputPath,
                          std::string_view contents = "the program text");

}  // namespace varnolt

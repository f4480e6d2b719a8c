#include "partialframes.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "analysisfile.h"

namespace varnolt::audio {

namespace {

constexpr double kFrequencyFieldPerHertz = 10.0;

std::int32_t ToField(double value) {
    constexpr double highest = std::numeric_limits<std::int32_t>::max();
    return static_cast<std::int32_t>(std::lround(std::clamp(value, 0.0, highest)));
}

}  // namespace

std::string EncodePartialFrames(const PartialFrames& frames, int framesPerSecond) {
    std::string bytes((frames.size() + 1) * kRecordBytes, '\0');
    auto* image = reinterpret_cast<std::uint8_t*>(bytes.data());
    for (std::size_t f = 0; f < frames.size(); ++f) {
        const std::size_t count = std::min<std::size_t>(frames[f].size(), kPartialsPerFrame);
        for (std::size_t p = 0; p < count; ++p) {
            const Partial& partial = frames[f][p];
            SetPartialLevel(image, static_cast<int>(f), static_cast<int>(p), ToField(partial.amplitude * kLevelPerAmplitude));
            SetPartialFrequency(image, static_cast<int>(f), static_cast<int>(p),
                                ToField(partial.frequency * kFrequencyFieldPerHertz));
        }
    }
    StoreInt32(image + frames.size() * kRecordBytes + kFrameRateCodeOffset, framesPerSecond);
    return bytes;
}

DecodedFrames DecodePartialFrames(std::string_view bytes) {
    DecodedFrames decoded;
    const std::size_t records = bytes.size() / kRecordBytes;
    if (records == 0) return decoded;
    const auto* image = reinterpret_cast<const std::uint8_t*>(bytes.data());
    decoded.frames.resize(records - 1);
    for (std::size_t f = 0; f + 1 < records; ++f) {
        for (int p = 0; p < kPartialsPerFrame; ++p) {
            decoded.frames[f].push_back(
                {PartialFrequency(image, static_cast<int>(f), p) / kFrequencyFieldPerHertz,
                 PartialLevel(image, static_cast<int>(f), p) / kLevelPerAmplitude});
        }
    }
    decoded.frameRateCode = LoadInt32(image + (records - 1) * kRecordBytes + kFrameRateCodeOffset);
    return decoded;
}

}  // namespace varnolt::audio

// The static work arrays the stages hand their results through, and the block pool
// that holds the one per-conversion allocation (the loaded image).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace varnolt {

inline constexpr int kTableFrames = 60000;        // rows of the per-partial tables
inline constexpr int kNoteVolumeFrames = 96000;   // rows of NoteVolumeTable
inline constexpr int kTablePartials = 8;
inline constexpr int kNoteVolumeChannels = 5;
inline constexpr int kNoteVolumeFrameBytes = kNoteVolumeChannels * 2;  // a (note, volume) pair per channel

// Memory is taken from the system in large pages where it offers them: in a fresh
// process, touching fresh memory a 4 KiB page at a time costs several times more than
// the work the stages do in it.
inline constexpr std::size_t kLargePageBytes = std::size_t{2} << 20;

// Each large table starts a large page, so the rows a long conversion fills lie in as
// few large pages as their size allows. The three small ones share the first, which the
// log-level table maps whole at the first conversion.
struct alignas(kLargePageBytes) WorkTableStore {
    alignas(kLargePageBytes) std::array<std::int32_t, 65536> logLevel;
    std::array<std::int32_t, 40320> permutation;
    std::array<std::uint8_t, kNoteVolumeFrames * kNoteVolumeFrameBytes> noteVolume;
    alignas(kLargePageBytes) std::array<std::int32_t, kTableFrames * kTablePartials> pitch;
    alignas(kLargePageBytes) std::array<char, 16777216> text;
    alignas(kLargePageBytes) std::array<double, kTableFrames * kTablePartials> level;
    alignas(kLargePageBytes) std::array<double, kTableFrames * kTablePartials> frequency;
};
static_assert(offsetof(WorkTableStore, noteVolume) + sizeof(WorkTableStore::noteVolume) <= kLargePageBytes);
extern WorkTableStore workTableStore;

// 1000 x ln(level) for every normalised level 0 .. 65535.
inline constexpr auto& LogLevelTable = workTableStore.logLevel;
// Packed orderings by permutation number (8! entries, m! used).
inline constexpr auto& PermutationTable = workTableStore.permutation;
// Pitch in thirds of a semitone, frame x 8 + partial.
inline constexpr auto& PitchTable = workTableStore.pitch;
// Program text, written from byte 0.
inline constexpr auto& TextBuffer = workTableStore.text;
// Only the stages write the tables below. Rows past those the last conversion filled are
// zero, as at program start, which lets each conversion clear no more than it must.
//
// Normalised level and frequency in hertz, frame x 8 + partial.
inline constexpr auto& LevelTable = workTableStore.level;
inline constexpr auto& FrequencyTable = workTableStore.frequency;
// Note byte at f x 10 + k x 2, volume byte right after it.
inline constexpr auto& NoteVolumeTable = workTableStore.noteVolume;

// A non-zero count takes a new block of that many bytes, a large one on a large-page
// boundary (null when the system has no memory for it; the slot is used all the same). A count of 0 gives every block back,
// last taken first, and returns null.
void* PoolAlloc(std::int32_t byteCount);

// Slots in use since the last release (for tests).
int PoolBlockCount();

// Maps the pages of a range a stage is about to write in one request, a large range
// in large pages: taking small pages one fault at a time costs several times more.
// Only a hint; nothing happens where the system does not offer it.
void PrefaultForWriting(void* start, std::size_t bytes);

}  // namespace varnolt

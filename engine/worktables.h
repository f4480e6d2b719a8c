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

// 1000 x ln(level) for every normalised level 0 .. 65535.
extern std::array<std::int32_t, 65536> LogLevelTable;
// Packed orderings by permutation number (8! entries, m! used).
extern std::array<std::int32_t, 40320> PermutationTable;
// Pitch in thirds of a semitone, frame x 8 + partial.
extern std::array<std::int32_t, kTableFrames * kTablePartials> PitchTable;
// Program text, written from byte 0.
extern std::array<char, 16777216> TextBuffer;
// Only the stages write the tables below. Rows past those the last conversion filled are
// zero, as at program start, which lets each conversion clear no more than it must.
//
// Normalised level and frequency in hertz, frame x 8 + partial.
extern std::array<double, kTableFrames * kTablePartials> LevelTable;
extern std::array<double, kTableFrames * kTablePartials> FrequencyTable;
// Note byte at f x 10 + k x 2, volume byte right after it.
extern std::array<std::uint8_t, kNoteVolumeFrames * kNoteVolumeFrameBytes> NoteVolumeTable;

// A non-zero count takes a new block of that many bytes (null when the system has no
// memory for it; the slot is used all the same). A count of 0 gives every block back,
// last taken first, and returns null.
void* PoolAlloc(std::int32_t byteCount);

// Slots in use since the last release (for tests).
int PoolBlockCount();

// Maps the pages of a range a stage is about to write in one request: taking them one
// fault at a time costs several times more. Only a hint; nothing happens where the
// system does not offer it.
void PrefaultForWriting(void* start, std::size_t bytes);

}  // namespace varnolt

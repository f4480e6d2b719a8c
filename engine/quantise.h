// Note and volume quantisation: every frame's first five partials become (note, volume)
// byte pairs in NoteVolumeTable.
#pragma once

#include <cstdint>

namespace varnolt {

struct NoteVolume {
    std::uint8_t note;    // semitones above 16.3516 Hz, modulo 256
    std::uint8_t volume;  // 0 (a rest) .. 15
};

// Clears LevelTable and FrequencyTable, then fills frames 0 .. frameCount-1.
void BuildLevelAndFrequencyTables(const std::uint8_t* image, int frameCount, std::int32_t levelDivisor);

// Clears NoteVolumeTable, then fills five pairs for each of frames 0 .. frameCount-1,
// from LevelTable and FrequencyTable as BuildLevelAndFrequencyTables leaves them.
void QuantiseNotesAndVolumes(int frameCount, int volumePercent);

// The unrounded note number of a frequency in hertz: semitones above 16.3516 Hz.
double SemitonesOf(double frequency);

// One partial: F in hertz, L the normalised level, P the volume percent.
NoteVolume QuantiseChannel(double frequency, double level, int volumePercent);

}  // namespace varnolt

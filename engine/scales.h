// Level normalisation, the pitch scale and the log-level scale the later stages work on.
#pragma once

#include <cstdint>

namespace varnolt {

struct NormalisedLevels {
    int frameCount;            // records before the trailer
    std::int32_t levelDivisor; // always 65535
};

// Drops the trailer from the count and rescales every level of frames 0 .. N-1 in the
// image so that the file's largest level becomes 65535. A negative level becomes 0.
NormalisedLevels NormaliseLevels(std::uint8_t* image, int recordCount);

// PitchTable for partials 0 .. channelCount-1 of frames 0 .. frameCount-1, in thirds of
// a semitone above 8.1758 Hz.
void BuildPitchTable(const std::uint8_t* image, int frameCount, int channelCount);

// The pitch of one frequency field (tenths of a hertz).
std::int32_t PitchOfFrequencyField(std::int32_t frequencyField);

// LogLevelTable[i] = 1000 x ln i, truncated; entry 0 is 0.
void BuildLogLevelTable();

}  // namespace varnolt

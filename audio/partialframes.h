// Frames of partials as an analysis file holds them, and back.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sinusoidal.h"

namespace varnolt::audio {

// Level field of a full-scale sine: levels stay linear in amplitude, one scale for the
// whole file, with room for sounds far quieter or (after mixing) louder than that.
inline constexpr double kLevelPerAmplitude = 1'000'000.0;

using PartialFrames = std::vector<std::vector<Partial>>;

// One record of the first eight partials of each frame (a missing partial is level 0 at
// 0 Hz), frequencies in tenths of a hertz, then the trailer stating the frame rate.
std::string EncodePartialFrames(const PartialFrames& frames, int framesPerSecond);

// The frames of an analysis file's bytes (all eight partials, silent ones included), and
// the frame rate its trailer states (0 when it states none).
struct DecodedFrames {
    PartialFrames frames;
    std::int32_t frameRateCode = 0;
};
DecodedFrames DecodePartialFrames(std::string_view bytes);

}  // namespace varnolt::audio

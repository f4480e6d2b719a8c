// The sinusoidal model: the loudest steady sine waves in a short window of sound.
#pragma once

#include <vector>

namespace varnolt::audio {

// Octaves 1 to 8 of the MSX: from C1 (below it the converter mutes) up to the
// frequency where B8 would round to C9.
inline constexpr double kLowestPlayableHz = 32.703195662574829;
inline constexpr double kHighestPlayableHz = 8133.6;

struct AnalysisSettings {
    double windowSeconds = 0.046;
    double minFrequency = kLowestPlayableHz;
    double maxFrequency = kHighestPlayableHz;
    int maxPartials = 8;
};

struct Partial {
    double frequency = 0.0;  // hertz
    double amplitude = 0.0;  // of the sine wave, 1 for a full-scale sine
};

// Holds the window, the transform and its plan for one sample rate; reuse it for every
// frame of a recording.
class SinusoidalAnalyser {
public:
    SinusoidalAnalyser(int sampleRate, const AnalysisSettings& settings);
    ~SinusoidalAnalyser();
    SinusoidalAnalyser(const SinusoidalAnalyser&) = delete;
    SinusoidalAnalyser& operator=(const SinusoidalAnalyser&) = delete;

    // Samples per window: odd, so that the window has a middle sample.
    int WindowLength() const { return static_cast<int>(window_.size()); }
    // The peaks of one window of WindowLength() samples, loudest first (equal ones lower
    // first), at most maxPartials, all within the frequency range.
    std::vector<Partial> Analyse(const double* samples);

private:
    struct Plan;
    double sampleRate_;
    AnalysisSettings settings_;
    std::vector<double> window_;
    double windowSum_ = 0.0;
    int transformLength_ = 0;
    Plan* plan_ = nullptr;
    std::vector<double> power_;
};

}  // namespace varnolt::audio

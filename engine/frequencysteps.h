// Whole-number scales of a frequency (a pitch, a note number) read from where they step,
// so that a stage takes no logarithm per partial.
#pragma once

#include <bit>
#include <cstdint>
#include <vector>

namespace varnolt {

// Among the frequencies a file can hold (field / 10 Hz, field 1 .. 2^31 - 1), the lowest
// whose value reaches target, given the lowest field that reaches target - 1 (1 when
// none is known) and a guess in hertz near the answer. value must never fall as the
// frequency rises, and the highest field must reach target.
double FirstHertzReaching(std::int32_t (*value)(double hertz), std::int32_t target, std::int32_t previousFirstField,
                          double guessHertz);

// Building the steps, once per process, costs about as much as this many logarithms: a
// stage with fewer values to find takes them directly.
inline constexpr int kValuesWorthSteps = 16384;

// A scale that never falls as the frequency rises, tabulated at its steps. Exact for the
// frequencies a file can hold: each step is the scale's own value there, found by
// evaluating it. The logarithm grows by far more than its rounding error from one tenth
// of a hertz to the next, so every such scale only rises.
class FrequencySteps {
public:
    // firstHertzGuess(v): about where the unrounded scale reaches v.
    FrequencySteps(std::int32_t (*value)(double hertz), double (*firstHertzGuess)(std::int32_t target));

    // value(hertz) for hertz = field / 10.0 with field 1 .. 2^31 - 1, and only for those.
    std::int32_t operator()(double hertz) const {
        std::int32_t v = bucketValue_[BucketOf(hertz) - firstBucket_];
        while (hertz >= firstHertz_[static_cast<std::size_t>(v - lowestValue_ + 1)]) ++v;
        return v;
    }

private:
    // Each power of two in 128 equal buckets, the widest 129/128 of its lower edge:
    // narrower than a third of a semitone, so a bucket holds at most one step above
    // the lowest octaves.
    static constexpr int kBucketShift = 52 - 7;
    static std::uint64_t BucketOf(double hertz) { return std::bit_cast<std::uint64_t>(hertz) >> kBucketShift; }

    std::int32_t lowestValue_;        // the value of 0.1 Hz
    std::vector<double> firstHertz_;  // [v - lowestValue_]: the lowest frequency reaching v; +inf after the last
    std::uint64_t firstBucket_;
    std::vector<std::int32_t> bucketValue_;  // at most the value of any frequency in the bucket
};

}  // namespace varnolt

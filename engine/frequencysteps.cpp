#include "frequencysteps.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <limits>

#include "worktables.h"

namespace varnolt {

namespace {

constexpr std::int64_t kHighestField = std::numeric_limits<std::int32_t>::max();
constexpr double kFieldsPerHertz = 10.0;

double HertzOf(std::int64_t field) { return static_cast<double>(field) / kFieldsPerHertz; }

}  // namespace

double FirstHertzReaching(std::int32_t (*value)(double hertz), std::int32_t target, std::int32_t previousFirstField,
                          double guessHertz) {
    // Bisection between a field known to stay below the target and one known to reach it.
    std::int64_t below = std::int64_t{previousFirstField} - 1;  // 0 stands for "none"
    std::int64_t reaching = kHighestField;
    const double guess = std::ceil(guessHertz * kFieldsPerHertz);
    std::int64_t probe = std::isfinite(guess)
                             ? static_cast<std::int64_t>(std::clamp(guess, 1.0, static_cast<double>(kHighestField)))
                             : reaching;
    for (int step = 0; reaching - below > 1; ++step) {
        if (probe <= below || probe >= reaching) probe = below + (reaching - below) / 2;
        const bool reached = value(HertzOf(probe)) >= target;
        (reached ? reaching : below) = probe;
        // The guess and its neighbour first: together they nearly always settle it.
        probe = step == 0 ? (reached ? probe - 1 : probe + 1) : below + (reaching - below) / 2;
    }
    return HertzOf(reaching);
}

FrequencySteps::FrequencySteps(std::int32_t (*value)(double hertz), double (*firstHertzGuess)(std::int32_t target))
    : lowestValue_(value(HertzOf(1))) {
    const std::int32_t highestValue = value(HertzOf(kHighestField));
    firstBucket_ = BucketOf(HertzOf(1));
    const std::uint64_t lastBucket = BucketOf(HertzOf(kHighestField));
    // Mapped in one request: fresh pages one fault at a time would cost more than the
    // logarithms the steps save.
    firstHertz_.reserve(static_cast<std::size_t>(highestValue - lowestValue_) + 2);
    bucketValue_.reserve(lastBucket - firstBucket_ + 1);
    PrefaultForWriting(firstHertz_.data(), firstHertz_.capacity() * sizeof(double));
    PrefaultForWriting(bucketValue_.data(), bucketValue_.capacity() * sizeof(std::int32_t));

    firstHertz_.push_back(HertzOf(1));
    std::int32_t firstField = 1;
    for (std::int32_t v = lowestValue_ + 1; v <= highestValue; ++v) {
        const double first = FirstHertzReaching(value, v, firstField, firstHertzGuess(v));
        firstHertz_.push_back(first);
        firstField = static_cast<std::int32_t>(std::lround(first * kFieldsPerHertz));
    }
    firstHertz_.push_back(std::numeric_limits<double>::infinity());

    std::int32_t v = lowestValue_;
    for (std::uint64_t bucket = firstBucket_; bucket <= lastBucket; ++bucket) {
        const double lowerEdge = std::bit_cast<double>(bucket << kBucketShift);
        while (firstHertz_[static_cast<std::size_t>(v - lowestValue_ + 1)] <= lowerEdge) ++v;
        bucketValue_.push_back(v);
    }
}

}  // namespace varnolt

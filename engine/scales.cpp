#include "scales.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "analysisfile.h"
#include "frequencysteps.h"
#include "truncate.h"
#include "worktables.h"

namespace varnolt {

namespace {

constexpr std::int64_t kLevelFullScale = 65535;
constexpr double kFrequencyUnit = 10.0;      // tenths of a hertz per hertz
constexpr double kPitchStepRatio = 1.0194406437021448;  // nearest double to 2^(1/36)
constexpr double kPitchOffset = 109.12894968688775;     // 36 log2(440) - 207: pitch 0 at 8.1758 Hz
constexpr double kLogLevelScale = 1000.0;

}  // namespace

NormalisedLevels NormaliseLevels(std::uint8_t* image, int recordCount) {
    const int frameCount = recordCount - 1;
    // At least 1, so that a silent file never divides by zero. A maximum per partial
    // slot first: eight that do not wait for each other.
    std::array<std::int32_t, kPartialsPerFrame> slotMaximum;
    slotMaximum.fill(1);
    for (int f = 0; f < frameCount; ++f) {
        for (int p = 0; p < kPartialsPerFrame; ++p) slotMaximum[p] = std::max(slotMaximum[p], PartialLevel(image, f, p));
    }
    const std::int32_t maximum = *std::max_element(slotMaximum.begin(), slotMaximum.end());
    // Level x 65535 / maximum, in double and truncated, is the whole quotient of the
    // integers: for 0 <= level <= maximum the exact quotient stays at least 1/maximum
    // below the next whole number, farther than a double of at most 65535 can round.
    // The product with the reciprocal errs by far less than that too, so it never passes
    // the next whole number, and falls short only where the quotient is whole: one step up.
    const std::int64_t divisor = maximum;
    const double reciprocal = 1.0 / static_cast<double>(divisor);
    for (int f = 0; f < frameCount; ++f) {
        for (int p = 0; p < kPartialsPerFrame; ++p) {
            // Negative levels become silence, so every later index stays inside LogLevelTable.
            const std::int64_t scaled = std::int64_t{std::max(PartialLevel(image, f, p), 0)} * kLevelFullScale;
            auto quotient = static_cast<std::int64_t>(static_cast<double>(scaled) * reciprocal);
            quotient += static_cast<std::int64_t>((quotient + 1) * divisor <= scaled);
            SetPartialLevel(image, f, p, static_cast<std::int32_t>(quotient));
        }
    }
    return {frameCount, 65535};
}

namespace {

// A negative frequency has no logarithm and ends as pitch 0.
std::int32_t PitchOfHertz(double hertz) {
    return TruncateToInt32(std::log(hertz) / std::log(kPitchStepRatio) - kPitchOffset);
}

double FirstHertzOfPitch(std::int32_t pitch) { return std::pow(kPitchStepRatio, pitch + kPitchOffset); }

}  // namespace

std::int32_t PitchOfFrequencyField(std::int32_t frequencyField) {
    // 0 Hz has no logarithm; it is read as 0.1 Hz here only.
    const std::int32_t field = frequencyField == 0 ? 1 : frequencyField;
    return PitchOfHertz(static_cast<double>(field) / kFrequencyUnit);
}

namespace {

template <typename PitchOf>
void WritePitches(const std::uint8_t* image, int frameCount, int channelCount, const PitchOf& pitchOf) {
    for (int f = 0; f < frameCount; ++f) {
        for (int p = 0; p < channelCount; ++p) {
            PitchTable[static_cast<std::size_t>(f) * kTablePartials + p] = pitchOf(PartialFrequency(image, f, p));
        }
    }
}

}  // namespace

void BuildPitchTable(const std::uint8_t* image, int frameCount, int channelCount) {
    PrefaultForWriting(PitchTable.data(), static_cast<std::size_t>(frameCount) * kTablePartials * sizeof(PitchTable[0]));
    if (frameCount * channelCount < kValuesWorthSteps) {
        WritePitches(image, frameCount, channelCount, PitchOfFrequencyField);
        return;
    }
    static const FrequencySteps pitchSteps(PitchOfHertz, FirstHertzOfPitch);
    WritePitches(image, frameCount, channelCount, [](std::int32_t field) {
        return field > 0 ? pitchSteps(static_cast<double>(field) / kFrequencyUnit) : PitchOfFrequencyField(field);
    });
}

namespace {

std::int32_t LogLevelOf(int level) {
    return TruncateToInt32(std::log(static_cast<double>(level)) * kLogLevelScale);
}

// Below this level the table takes a logarithm for every entry.
constexpr int kLogLevelStepsFrom = 1024;

}  // namespace

void BuildLogLevelTable() {
    // The table depends on nothing: built once per process.
    static bool built = false;
    if (built) return;
    built = true;
    PrefaultForWriting(LogLevelTable.data(), sizeof(LogLevelTable));
    LogLevelTable[0] = 0;
    for (int i = 1; i < kLogLevelStepsFrom; ++i) LogLevelTable[i] = LogLevelOf(i);
    // Above it 1000 ln i grows by less than 1 from one level to the next, so the table
    // holds runs of equal entries. Where each run ends comes from a guess of its own,
    // checked on both sides by the logarithm itself; the guesses do not wait for each
    // other, so the processor works on several at once.
    const int size = static_cast<int>(LogLevelTable.size());
    int level = kLogLevelStepsFrom;  // the first entry not yet filled; it holds target - 1 or more
    for (std::int32_t target = LogLevelOf(level) + 1; level < size; ++target) {
        const double guess = std::ceil(std::exp(target / kLogLevelScale));
        int next = guess < size ? std::max(static_cast<int>(guess), level) : size;
        while (next < size && LogLevelOf(next) < target) ++next;
        while (next > level && LogLevelOf(next - 1) >= target) --next;
        std::fill(LogLevelTable.begin() + level, LogLevelTable.begin() + next, target - 1);
        level = next;
    }
}

}  // namespace varnolt

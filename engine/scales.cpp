#include "scales.h"

#include <cmath>

#include "analysisfile.h"
#include "frequencysteps.h"
#include "truncate.h"
#include "worktables.h"

namespace varnolt {

namespace {

constexpr double kLevelFullScale = 65535.0;
constexpr double kFrequencyUnit = 10.0;      // tenths of a hertz per hertz
constexpr double kPitchStepRatio = 1.0194406437021448;  // nearest double to 2^(1/36)
constexpr double kPitchOffset = 109.12894968688775;     // 36 log2(440) - 207: pitch 0 at 8.1758 Hz
constexpr double kLogLevelScale = 1000.0;

}  // namespace

NormalisedLevels NormaliseLevels(std::uint8_t* image, int recordCount) {
    const int frameCount = recordCount - 1;
    // At least 1, so that a silent file never divides by zero.
    std::int32_t maximum = 1;
    for (int f = 0; f < frameCount; ++f) {
        for (int p = 0; p < kPartialsPerFrame; ++p) {
            const std::int32_t level = PartialLevel(image, f, p);
            if (level > maximum) maximum = level;
        }
    }
    for (int f = 0; f < frameCount; ++f) {
        for (int p = 0; p < kPartialsPerFrame; ++p) {
            // Multiply, then divide, in double: the loudest level lands on 65535 exactly.
            const double scaled = static_cast<double>(PartialLevel(image, f, p)) * kLevelFullScale /
                                  static_cast<double>(maximum);
            // Negative levels become silence, so every later index stays inside LogLevelTable.
            const std::int32_t level = TruncateToInt32(scaled);
            SetPartialLevel(image, f, p, level < 0 ? 0 : level);
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

void BuildPitchTable(const std::uint8_t* image, int frameCount, int channelCount) {
    static const FrequencySteps pitchSteps(PitchOfHertz, FirstHertzOfPitch);
    PrefaultForWriting(PitchTable.data(), static_cast<std::size_t>(frameCount) * kTablePartials * sizeof(PitchTable[0]));
    for (int f = 0; f < frameCount; ++f) {
        for (int p = 0; p < channelCount; ++p) {
            const std::int32_t field = PartialFrequency(image, f, p);
            PitchTable[static_cast<std::size_t>(f) * kTablePartials + p] =
                field > 0 ? pitchSteps(static_cast<double>(field) / kFrequencyUnit) : PitchOfFrequencyField(field);
        }
    }
}

void BuildLogLevelTable() {
    // The table depends on nothing: 65535 logarithms once per process are enough.
    static bool built = false;
    if (built) return;
    built = true;
    PrefaultForWriting(LogLevelTable.data(), sizeof(LogLevelTable));
    for (int i = 1; i < static_cast<int>(LogLevelTable.size()); ++i) {
        LogLevelTable[i] = TruncateToInt32(std::log(static_cast<double>(i)) * kLogLevelScale);
    }
    LogLevelTable[0] = 0;
}

}  // namespace varnolt

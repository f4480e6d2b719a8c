// The pitch and note stages read their values from tabulated steps instead of taking a
// logarithm per partial. The logarithm stays the reference: at every step, on both sides
// of it, at every field of the lowest octaves and at random fields over the whole range.
#include "frequencysteps.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "analysisfile.h"
#include "quantise.h"
#include "scales.h"
#include "worktables.h"

namespace varnolt {
namespace {

constexpr std::int32_t kHighestField = std::numeric_limits<std::int32_t>::max();

// Where a rising whole-number function of the field steps, found by plain bisection.
std::vector<std::int32_t> StepsOf(std::int32_t (*value)(std::int32_t field)) {
    std::vector<std::int32_t> steps;
    for (std::int32_t v = value(1) + 1; v <= value(kHighestField); ++v) {
        std::int64_t below = 0;
        std::int64_t reaching = kHighestField;
        while (reaching - below > 1) {
            const std::int64_t middle = below + (reaching - below) / 2;
            (value(static_cast<std::int32_t>(middle)) >= v ? reaching : below) = middle;
        }
        steps.push_back(static_cast<std::int32_t>(reaching));
    }
    return steps;
}

// Every field up to 5000, each step and its neighbours, and log-uniform random fields.
std::vector<std::int32_t> FieldsToTry(const std::vector<std::int32_t>& steps) {
    std::vector<std::int32_t> fields;
    for (std::int32_t field = 1; field <= 5000; ++field) fields.push_back(field);
    for (const std::int32_t step : steps) {
        for (std::int64_t field = std::int64_t{step} - 2; field <= std::int64_t{step} + 2; ++field) {
            if (field >= 1 && field <= kHighestField) fields.push_back(static_cast<std::int32_t>(field));
        }
    }
    std::mt19937_64 random(20261211);
    std::uniform_real_distribution<double> exponent(0.0, 31.0);
    for (int i = 0; i < 100000; ++i) {
        fields.push_back(static_cast<std::int32_t>(std::min(std::exp2(exponent(random)), double{kHighestField})));
    }
    fields.push_back(kHighestField);
    return fields;
}

std::vector<std::uint8_t> ImageOfFields(const std::vector<std::int32_t>& fields, int perFrame, int& frameCount) {
    frameCount = static_cast<int>((fields.size() + perFrame - 1) / perFrame);
    std::vector<std::uint8_t> image(static_cast<std::size_t>(frameCount + 1) * kRecordBytes);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const int frame = static_cast<int>(i / perFrame);
        const int partial = static_cast<int>(i % perFrame);
        SetPartialLevel(image.data(), frame, partial, 65535);
        SetPartialFrequency(image.data(), frame, partial, fields[i]);
    }
    return image;
}

TEST(FrequencySteps, PitchTableMatchesTheLogarithmEverywhere) {
    const std::vector<std::int32_t> steps = StepsOf(PitchOfFrequencyField);
    ASSERT_EQ(steps.size(), 887u + 228u);
    std::vector<std::int32_t> fields = FieldsToTry(steps);
    fields.insert(fields.end(), {0, -1, -4400, std::numeric_limits<std::int32_t>::min()});
    ASSERT_GE(fields.size(), static_cast<std::size_t>(kValuesWorthSteps));  // else no steps are read
    int frameCount = 0;
    const std::vector<std::uint8_t> image = ImageOfFields(fields, 5, frameCount);
    BuildPitchTable(image.data(), frameCount, 5);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        ASSERT_EQ(PitchTable[i / 5 * kTablePartials + i % 5], PitchOfFrequencyField(fields[i])) << "field " << fields[i];
    }
}

std::int32_t NoteNumberOfField(std::int32_t field) {
    return static_cast<std::int32_t>(std::trunc(SemitonesOf(field / 10.0) + 0.5));
}
std::int32_t SoundsAtField(std::int32_t field) { return SemitonesOf(field / 10.0) >= 12.0 ? 1 : 0; }

TEST(FrequencySteps, NotesAndMutesMatchTheLogarithmEverywhere) {
    std::vector<std::int32_t> steps = StepsOf(NoteNumberOfField);
    ASSERT_EQ(steps.size(), 283u + 88u);
    const std::vector<std::int32_t> muteStep = StepsOf(SoundsAtField);
    ASSERT_EQ(muteStep, std::vector<std::int32_t>{328});
    steps.push_back(muteStep[0]);
    std::vector<std::int32_t> fields = FieldsToTry(steps);
    fields.insert(fields.end(), {0, -1, -4400, std::numeric_limits<std::int32_t>::min()});
    ASSERT_GE(fields.size(), static_cast<std::size_t>(kValuesWorthSteps));
    int frameCount = 0;
    const std::vector<std::uint8_t> image = ImageOfFields(fields, 5, frameCount);
    BuildLevelAndFrequencyTables(image.data(), frameCount, 65535);
    QuantiseNotesAndVolumes(frameCount, 100);
    for (std::size_t i = 0; i < fields.size(); ++i) {
        const NoteVolume expected = QuantiseChannel(fields[i] / 10.0, 65535.0, 100);
        ASSERT_EQ(NoteVolumeTable[2 * i], expected.note) << "field " << fields[i];
        ASSERT_EQ(NoteVolumeTable[2 * i + 1], expected.volume) << "field " << fields[i];
    }
}

// The search itself, from guesses that are far off or no number at all.
TEST(FrequencySteps, FirstHertzIsFoundFromAnyGuess) {
    const auto sounds = [](double hertz) { return SemitonesOf(hertz) >= 12.0 ? 1 : 0; };
    for (const double guess : {32.8, 0.0, -5.0, 1e12, std::nan(""), 32.7, 30.0, 100.0}) {
        EXPECT_EQ(FirstHertzReaching(+sounds, 1, 1, guess), 32.8) << "guess " << guess;
    }
}

}  // namespace
}  // namespace varnolt

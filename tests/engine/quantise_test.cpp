#include "quantise.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "fixtures.h"
#include "worktables.h"

namespace varnolt {
namespace {

using testing::AnalysisFileBuilder;

TEST(QuantiseChannel, WorkedExamples) {
    struct Case {
        std::int32_t field;
        double level;
        int percent;
        int note;
        int volume;
    } cases[] = {
        {4400, 65535, 100, 57, 15}, {4400, 65535, 20, 57, 11},  {4400, 65535, 200, 57, 15},
        {4400, 46340, 100, 57, 14}, {4400, 363, 100, 57, 1},    {4400, 362, 100, 57, 0},
        {4400, 0, 100, 57, 0},      {2616, 32768, 100, 48, 14}, {10000, 1000, 200, 71, 5},
        {200000, 65535, 100, 123, 15}, {328, 65535, 100, 12, 15}, {327, 65535, 100, 12, 0},
        {300, 65535, 100, 11, 0},   {160, 65535, 100, 0, 0},    {149, 65535, 100, 255, 0},
        {10, 65535, 100, 209, 0},   {1, 65535, 100, 169, 0},    {0, 65535, 100, 0, 0},
        {2147483647, 65535, 100, 28, 15}, {419749810, 65535, 100, 0, 15},
        // No logarithm for a negative frequency: note 0, but it is not muted.
        {-4400, 65535, 100, 0, 15},
        // Nor for a negative level: silence.
        {4400, -5, 100, 57, 0},
        // The same level is a rest at 20 % up to 1814 and at 200 % up to 181.
        {4400, 1814, 20, 57, 0},    {4400, 1815, 20, 57, 1},    {4400, 181, 200, 57, 0},
        {4400, 182, 200, 57, 1},
    };
    for (const Case& c : cases) {
        const NoteVolume pair = QuantiseChannel(c.field / 10.0, c.level, c.percent);
        EXPECT_EQ(pair.note, c.note) << "field " << c.field << " level " << c.level;
        EXPECT_EQ(pair.volume, c.volume) << "field " << c.field << " level " << c.level;
    }
}

TEST(QuantiseChannel, VolumeStepIsTwoPerDoublingExactly) {
    // The step as logarithms define it: ln u / ln 2, doubled, truncated, less 16, clamped.
    auto exactStep = [](std::uint64_t amount) {
        const int step = static_cast<int>(std::log(static_cast<double>(amount)) / std::log(2.0) * 2.0) - 16;
        return std::clamp(step, 0, 15);
    };
    for (int level = 0; level <= 65535; ++level) {
        const std::uint64_t amount = level == 0 ? 1 : static_cast<std::uint64_t>(level);
        ASSERT_EQ(QuantiseChannel(440.0, level, 100).volume, exactStep(amount)) << "amount " << level;
    }
    for (int level = 32768; level <= 65535; ++level) {  // 200 %: the even amounts up to 131070
        ASSERT_EQ(QuantiseChannel(440.0, level, 200).volume, exactStep(2 * static_cast<std::uint64_t>(level)));
    }
    // Where each step begins, and the amount just below it.
    const int thresholds[] = {363, 512, 725, 1024, 1449, 2048, 2897, 4096, 5793, 8192, 11586, 16384, 23171, 32768, 46341};
    for (int step = 1; step <= 15; ++step) {
        const int from = thresholds[step - 1];
        EXPECT_EQ(QuantiseChannel(440.0, from, 100).volume, step);
        EXPECT_EQ(QuantiseChannel(440.0, from - 1, 100).volume, step - 1);
    }
}

// The table skips the division when the divisor is full scale: it must still give what
// the division gives, over the whole range of a level field.
TEST(BuildLevelAndFrequencyTables, LevelsAreTheDivisionsResultAtEveryDivisor) {
    std::vector<std::int32_t> levels = {std::numeric_limits<std::int32_t>::min(), -65535, -1, 0, 1, 1023, 65534,
                                        65535, 65536, std::numeric_limits<std::int32_t>::max()};
    std::mt19937 random(5);
    for (int i = 0; i < 20000; ++i) levels.push_back(static_cast<std::int32_t>(random()));
    AnalysisFileBuilder builder;
    for (std::size_t i = 0; i < levels.size(); i += 8) {
        std::array<PartialEntry, 8> partials{};
        for (std::size_t p = 0; p < 8; ++p) partials[p] = {levels[(i + p) % levels.size()], 4400};
        builder.Frame(partials);
    }
    const std::string bytes = builder.Trailer(0).Bytes();
    const std::vector<std::uint8_t> image(bytes.begin(), bytes.end());
    const int frameCount = static_cast<int>((levels.size() + 7) / 8);
    for (const std::int32_t divisor : {65535, 1000, 1, 70000}) {
        BuildLevelAndFrequencyTables(image.data(), frameCount, divisor);
        for (std::size_t i = 0; i < levels.size(); ++i) {
            ASSERT_EQ(LevelTable[i], levels[i] * 65535.0 / divisor) << "level " << levels[i] << " divisor " << divisor;
        }
    }
}

TEST(QuantiseNotesAndVolumes, ClearsEverythingAndWritesFiveChannelsPerFrame) {
    // A longer conversion first, loud in every partial: none of it may show through.
    const std::string earlier = AnalysisFileBuilder().Frames(700, 65535, 4400).Trailer(30).Bytes();
    const std::vector<std::uint8_t> earlierImage(earlier.begin(), earlier.end());
    BuildLevelAndFrequencyTables(earlierImage.data(), 700, 65535);
    QuantiseNotesAndVolumes(700, 100);
    ASSERT_EQ(NoteVolumeTable[6999], 15);
    // Frame 0: partials at 440, 880, 0 Hz, 32.7 Hz and 261.6 Hz, loud; the rest silent.
    const std::string bytes = AnalysisFileBuilder()
                                  .Frame({{{65535, 4400}, {65535, 8800}, {65535, 0}, {65535, 327},
                                           {32768, 2616}, {65535, 4400}, {65535, 4400}, {65535, 4400}}})
                                  .Frames(1, 0, 4400)
                                  .Trailer(0)
                                  .Bytes();
    const std::vector<std::uint8_t> image(bytes.begin(), bytes.end());
    BuildLevelAndFrequencyTables(image.data(), 2, 65535);
    EXPECT_EQ(LevelTable[4], 32768.0);
    EXPECT_EQ(FrequencyTable[3], 32.7);
    EXPECT_EQ(LevelTable[16], 0.0);  // the trailer is not a frame
    EXPECT_EQ(FrequencyTable[479999], 0.0);

    QuantiseNotesAndVolumes(2, 100);
    const std::uint8_t expected[20] = {57, 15, 69, 15, 0, 0, 12, 0, 48, 14,  // frame 0
                                       57, 0, 57, 0, 57, 0, 57, 0, 57, 0};   // frame 1: level 0
    for (int i = 0; i < 20; ++i) EXPECT_EQ(NoteVolumeTable[i], expected[i]) << "byte " << i;
    for (std::size_t i = 20; i < NoteVolumeTable.size(); ++i) ASSERT_EQ(NoteVolumeTable[i], 0) << "byte " << i;
}

}  // namespace
}  // namespace varnolt

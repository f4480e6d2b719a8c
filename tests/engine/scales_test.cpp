#include "scales.h"

#include <gtest/gtest.h>

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

std::vector<std::uint8_t> ImageOf(const std::string& bytes) {
    std::vector<std::uint8_t> image(bytes.begin(), bytes.end());
    image.resize(image.size() + kZeroTailBytes, 0);
    return image;
}

TEST(NormaliseLevels, ScalesTheLargestLevelTo65535AndSilencesNegativeLevels) {
    // Largest level 1000, spread over two frames; the trailer sits after them.
    const auto image0 = ImageOf(AnalysisFileBuilder()
                                    .Frame({{{1000, 4400}, {500, 4400}, {333, 4400}, {1, 4400},
                                             {0, 4400}, {-500, 4400}, {-2147483647 - 1, 4400}, {999, 4400}}})
                                    .Frame(AnalysisFileBuilder::Uniform(7, 100))
                                    .Trailer(30)
                                    .Bytes());
    auto image = image0;
    const NormalisedLevels result = NormaliseLevels(image.data(), 3);
    EXPECT_EQ(result.frameCount, 2);
    EXPECT_EQ(result.levelDivisor, 65535);
    const std::int32_t expected[8] = {65535, 32767, 21823, 65, 0, 0, 0, 65469};
    for (int p = 0; p < 8; ++p) {
        EXPECT_EQ(PartialLevel(image.data(), 0, p), expected[p]) << "partial " << p;
        EXPECT_EQ(PartialFrequency(image.data(), 0, p), 4400);
    }
    EXPECT_EQ(PartialLevel(image.data(), 1, 0), 458);  // 7 x 65535 / 1000
    // The trailer is not a frame: its bytes stay as they were.
    EXPECT_TRUE(std::equal(image.begin() + 128, image.end(), image0.begin() + 128));
}

TEST(NormaliseLevels, FloorOfOneKeepsSilentAndTinyFilesFinite) {
    struct Case {
        std::int32_t level;
        std::int32_t expected;
    } cases[] = {{0, 0}, {-3, 0}, {1, 65535}, {65535, 65535}};
    for (const Case& c : cases) {
        auto image = ImageOf(AnalysisFileBuilder().Frames(2, c.level, 4400).Trailer(0).Bytes());
        NormaliseLevels(image.data(), 3);
        EXPECT_EQ(PartialLevel(image.data(), 1, 7), c.expected) << "level " << c.level;
    }
    // A trailer alone: no frame, nothing changes, the divisor is still 65535.
    auto image = ImageOf(AnalysisFileBuilder().Trailer(30).Bytes());
    const auto before = image;
    EXPECT_EQ(NormaliseLevels(image.data(), 1).frameCount, 0);
    EXPECT_EQ(image, before);
}

// The normaliser divides without a division; the double arithmetic it replaces is the
// reference, for maximums small and large and levels at and next to each of them.
TEST(NormaliseLevels, GivesTheTruncatedDoubleQuotientOfEveryLevel) {
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        const std::int32_t maximum = round < 100 ? static_cast<std::int32_t>(random() % 70000) + 1
                                                 : static_cast<std::int32_t>(random() >> 1) | 1;
        std::vector<std::int32_t> levels = {maximum, maximum - 1, 1, 0, -1, std::numeric_limits<std::int32_t>::min()};
        for (int i = 0; i < 250; ++i) {
            levels.push_back(static_cast<std::int32_t>(random() % static_cast<std::uint32_t>(maximum)) + 1);
        }
        AnalysisFileBuilder builder;
        for (std::size_t i = 0; i < levels.size(); i += 8) {
            std::array<PartialEntry, 8> partials{};
            for (std::size_t p = 0; p < 8; ++p) partials[p] = {levels[(i + p) % levels.size()], 4400};
            builder.Frame(partials);
        }
        auto image = ImageOf(builder.Trailer(0).Bytes());
        const int frameCount = static_cast<int>((levels.size() + 7) / 8);
        NormaliseLevels(image.data(), frameCount + 1);
        for (std::size_t i = 0; i < levels.size(); ++i) {
            const double quotient = static_cast<double>(levels[i]) * 65535.0 / static_cast<double>(maximum);
            const std::int32_t expected = levels[i] <= 0 ? 0 : static_cast<std::int32_t>(quotient);
            ASSERT_EQ(PartialLevel(image.data(), static_cast<int>(i / 8), static_cast<int>(i % 8)), expected)
                << "level " << levels[i] << " of maximum " << maximum;
        }
    }
}

TEST(PitchOfFrequencyField, MatchesTheThirdOfASemitoneScale) {
    struct Case {
        std::int32_t field;
        std::int32_t pitch;
    } cases[] = {
        {0, -228},   {1, -228},    {10, -109},   {80, -1},     {81, 0},      {83, 0},
        {84, 1},     {100, 10},    {4400, 207},  {4401, 207},  {8800, 243},  {10000, 249},
        {200000, 405}, {2147483647, 887}, {-1, 0}, {-4400, 0},
        // Octaves of 440 Hz fall exactly on steps, just above them.
        {275, 63},   {550, 99},    {1100, 135},  {2200, 171},  {17600, 279},
    };
    for (const Case& c : cases) EXPECT_EQ(PitchOfFrequencyField(c.field), c.pitch) << "field " << c.field;
}

TEST(BuildPitchTable, WritesOnlyTheFirstChannelCountPartials) {
    PitchTable.fill(-7);
    const auto image = ImageOf(AnalysisFileBuilder()
                                   .Frame({{{1, 4400}, {1, 8800}, {1, 0}, {1, 100}, {1, 10}, {1, 4400}, {1, 4400}, {1, 4400}}})
                                   .Frame(AnalysisFileBuilder::Uniform(1, 10000))
                                   .Trailer(0)
                                   .Bytes());
    BuildPitchTable(image.data(), 2, 3);
    const std::int32_t expected[16] = {207, 243, -228, -7, -7, -7, -7, -7, 249, 249, 249, -7, -7, -7, -7, -7};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(PitchTable[i], expected[i]) << "entry " << i;
    EXPECT_EQ(PitchTable[16], -7);  // frame 2 is the trailer
}

TEST(BuildLogLevelTable, HoldsTruncatedThousandthsOfTheNaturalLogarithm) {
    BuildLogLevelTable();
    BuildLogLevelTable();  // built once; a second call leaves it as it is
    const std::pair<int, std::int32_t> entries[] = {{0, 0},       {1, 0},        {2, 693},      {3, 1098},
                                                    {10, 2302},   {1024, 6931},  {32768, 10397}, {65512, 11089},
                                                    {65513, 11090}, {65535, 11090}};
    for (const auto& [level, value] : entries) EXPECT_EQ(LogLevelTable[level], value) << "level " << level;
    // Every entry as its logarithm gives it, though the table takes far fewer.
    for (std::size_t i = 1; i < LogLevelTable.size(); ++i) {
        ASSERT_EQ(LogLevelTable[i], static_cast<std::int32_t>(std::log(static_cast<double>(i)) * 1000.0)) << "level " << i;
    }
}

}  // namespace
}  // namespace varnolt

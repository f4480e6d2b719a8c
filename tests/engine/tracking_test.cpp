#include "tracking.h"

#include <gtest/gtest.h>

#include <vector>

#include "fixtures.h"
#include "scales.h"
#include "worktables.h"

namespace varnolt {
namespace {

using testing::AnalysisFileBuilder;

TEST(BuildPermutationTable, ListsTheOrderingsInLexicographicOrder) {
    struct Row {
        int m;
        int number;
        std::int32_t packed;
    } rows[] = {
        {3, 0, 16434824},   {3, 1, 16434768},   {3, 2, 16434817},   {3, 3, 16434705},   {3, 4, 16434754},
        {3, 5, 16434698},   {4, 0, 16434824},   {4, 1, 16434376},   {4, 2, 16434768},   {4, 3, 16433872},
        {4, 20, 16434187},  {4, 21, 16433291},  {4, 22, 16433683},  {4, 23, 16433235},  {5, 0, 16434824},
        {5, 1, 16431240},   {5, 2, 16434376},   {5, 3, 16427208},   {5, 116, 16425052}, {5, 117, 16417884},
        {5, 118, 16421020}, {5, 119, 16417436},
    };
    for (const Row& row : rows) {
        BuildPermutationTable(row.m);
        EXPECT_EQ(PermutationTable[row.number], row.packed) << "m " << row.m << " number " << row.number;
    }
    // A later, smaller m rewrites only its own entries.
    BuildPermutationTable(5);
    BuildPermutationTable(3);
    EXPECT_EQ(PermutationTable[5], 16434698);
    EXPECT_EQ(PermutationTable[119], 16417436);
    const std::array<int, 8> order = UnpackOrdering(16425052);
    EXPECT_EQ(order, (std::array<int, 8>{4, 3, 1, 0, 2, 5, 6, 7}));
}

// Two frames with the given normalised levels and pitches in partials 0 .. 2; the
// frequency field of partial p of frame f is 1000 f + p, to see what moves.
struct TwoFrames {
    std::vector<std::uint8_t> image;

    TwoFrames(const std::array<std::int32_t, 3>& levels0, const std::array<std::int32_t, 3>& pitches0,
              const std::array<std::int32_t, 3>& levels1, const std::array<std::int32_t, 3>& pitches1) {
        AnalysisFileBuilder builder;
        for (int f = 0; f < 2; ++f) {
            auto partials = AnalysisFileBuilder::Uniform(65535, 0);
            for (int p = 0; p < 8; ++p) partials[p].frequency = 1000 * f + p;
            for (int p = 0; p < 3; ++p) partials[p].level = (f == 0 ? levels0 : levels1)[p];
            builder.Frame(partials);
        }
        const std::string& bytes = builder.Trailer(30).Bytes();
        image.assign(bytes.begin(), bytes.end());
        for (int p = 0; p < 3; ++p) {
            PitchTable[p] = pitches0[p];
            PitchTable[8 + p] = pitches1[p];
        }
        BuildLogLevelTable();
        BuildPermutationTable(3);
    }
    std::int32_t Level(int f, int p) const { return PartialLevel(image.data(), f, p); }
    std::int32_t Frequency(int f, int p) const { return PartialFrequency(image.data(), f, p); }
};

TEST(TrackChannels, WorkedExampleTakesOrderingTwoAtCost1882) {
    TwoFrames frames({65535, 20000, 5000}, {207, 243, 180}, {21000, 64000, 800}, {244, 207, 300});
    const OrderingChoice choice = FindCheapestOrdering(frames.image.data(), 1, 3);
    EXPECT_EQ(choice.permutationNumber, 2);
    EXPECT_EQ(choice.cost, 1882);

    TrackChannels(frames.image.data(), 2, 3);
    EXPECT_EQ(frames.Level(1, 0), 64000);
    EXPECT_EQ(frames.Level(1, 1), 21000);
    EXPECT_EQ(frames.Level(1, 2), 800);
    EXPECT_EQ(frames.Frequency(1, 0), 1001);
    EXPECT_EQ(frames.Frequency(1, 1), 1000);
    EXPECT_EQ(frames.Frequency(1, 2), 1002);
    EXPECT_EQ(PitchTable[8], 207);
    EXPECT_EQ(PitchTable[9], 244);
    EXPECT_EQ(PitchTable[10], 300);
    // Frame 0 never moves, nor do partials 3 .. 7.
    for (int p = 0; p < 3; ++p) EXPECT_EQ(frames.Frequency(0, p), p);
    for (int p = 3; p < 8; ++p) EXPECT_EQ(frames.Frequency(1, p), 1000 + p);
}

TEST(TrackChannels, CostCases) {
    struct Case {
        const char* what;
        std::array<std::int32_t, 3> levels0, pitches0, levels1, pitches1;
        int number;
        std::int32_t cost;
    } cases[] = {
        {"identical frames", {65535, 20000, 5000}, {207, 243, 180}, {65535, 20000, 5000}, {207, 243, 180}, 0, 0},
        {"loud pair exchanged", {65535, 20000, 5000}, {207, 243, 180}, {20000, 65535, 5000}, {243, 207, 180}, 2, 0},
        {"all below 1024", {1023, 500, 0}, {10, 300, 500}, {0, 1023, 700}, {600, 20, 100}, 0, 0},
        {"equal levels", {3000, 3000, 3000}, {10, 300, 500}, {3000, 3000, 3000}, {600, 20, 100}, 0, 0},
        // A 1024 partial brings its pitch distance in (5 x 1622); at 1023 it would count 1.
        {"1024 counts its pitch", {5000, 0, 0}, {100, 0, 0}, {1024, 0, 0}, {105, 0, 0}, 0, 5 * (8517 - 6931)},
        {"1023 counts 1", {5000, 0, 0}, {100, 0, 0}, {1023, 0, 0}, {105, 0, 0}, 0, 8517 - 6930},
        // Levels 0 and 1 share log level 0: either costs the bare 8517 against 5000.
        {"levels 0 and 1 alike", {5000, 5000, 0}, {1, 2, 3}, {1, 0, 0}, {9, 9, 9}, 0, 8517 + 8517},
    };
    for (const Case& c : cases) {
        TwoFrames frames(c.levels0, c.pitches0, c.levels1, c.pitches1);
        const OrderingChoice choice = FindCheapestOrdering(frames.image.data(), 1, 3);
        EXPECT_EQ(choice.permutationNumber, c.number) << c.what;
        EXPECT_EQ(choice.cost, c.cost) << c.what;
    }
}

TEST(TrackChannels, EqualCostsGoToTheLowerNumber) {
    // Partials 0 and 1 of frame 1 are alike but for their frequency fields: the lower
    // number (no exchange) must win, so the fields keep their places.
    TwoFrames frames({30000, 30000, 2000}, {100, 100, 50}, {30000, 30000, 2000}, {100, 100, 50});
    TrackChannels(frames.image.data(), 2, 3);
    EXPECT_EQ(frames.Frequency(1, 0), 1000);
    EXPECT_EQ(frames.Frequency(1, 1), 1001);
}

TEST(TrackChannels, FollowsAVoiceAcrossManyFrames) {
    // Two loud voices whose slots swap every frame in the file; tracking undoes it.
    AnalysisFileBuilder builder;
    for (int f = 0; f < 20; ++f) {
        auto partials = AnalysisFileBuilder::Uniform(0, 0);
        partials[f % 2] = {60000, 4400};
        partials[1 - f % 2] = {20000, 8800};
        builder.Frame(partials);
    }
    const std::string& bytes = builder.Trailer(30).Bytes();
    std::vector<std::uint8_t> image(bytes.begin(), bytes.end());
    BuildPitchTable(image.data(), 20, 5);
    BuildLogLevelTable();
    BuildPermutationTable(5);
    TrackChannels(image.data(), 20, 5);
    for (int f = 0; f < 20; ++f) {
        EXPECT_EQ(PartialFrequency(image.data(), f, 0), 4400) << "frame " << f;
        EXPECT_EQ(PartialFrequency(image.data(), f, 1), 8800) << "frame " << f;
    }
}

}  // namespace
}  // namespace varnolt

namespace varnolt {
namespace {

// Random frames drawn from few levels and pitches, so that equal costs are common.
class RandomFrames {
public:
    explicit RandomFrames(unsigned seed) : state_(seed) {}

    std::vector<std::uint8_t> Image(int frameCount) {
        static constexpr std::int32_t kLevels[] = {0, 1, 500, 1023, 1024, 1025, 3000, 20000, 65535};
        static constexpr std::int32_t kFrequencies[] = {0, 10, 1100, 2200, 2201, 4400, 4401, 4500, 8800, -50, 2147483647};
        std::vector<std::uint8_t> image(static_cast<std::size_t>(frameCount + 1) * kRecordBytes, 0);
        for (int f = 0; f < frameCount; ++f) {
            for (int p = 0; p < kPartialsPerFrame; ++p) {
                SetPartialLevel(image.data(), f, p, kLevels[Next() % std::size(kLevels)]);
                SetPartialFrequency(image.data(), f, p, kFrequencies[Next() % std::size(kFrequencies)]);
            }
        }
        return image;
    }

private:
    unsigned Next() {
        state_ = state_ * 1103515245u + 12345u;
        return state_ >> 16;
    }
    unsigned state_;
};

TEST(FindCheapestOrdering, ChoosesWhatThePlainSearchChooses) {
    BuildLogLevelTable();
    RandomFrames random(7);
    struct Size {
        int m;
        int frames;  // the plain search tries m! orderings a frame
    } sizes[] = {{1, 200}, {2, 2000}, {3, 20000}, {4, 20000}, {5, 20000}, {6, 2000}, {7, 300}, {8, 40}};
    for (const Size& size : sizes) {
        BuildPermutationTable(size.m);
        const std::vector<std::uint8_t> image = random.Image(size.frames);
        BuildPitchTable(image.data(), size.frames, size.m);
        int ties = 0;
        for (int f = 1; f < size.frames; ++f) {
            const OrderingChoice plain = FindCheapestOrderingPlain(image.data(), f, size.m);
            const OrderingChoice fast = FindCheapestOrdering(image.data(), f, size.m);
            ASSERT_EQ(fast.permutationNumber, plain.permutationNumber) << "m " << size.m << " frame " << f;
            ASSERT_EQ(fast.cost, plain.cost) << "m " << size.m << " frame " << f;
            ties += plain.cost == 0 && plain.permutationNumber > 0;
        }
        if (size.m >= 3) {
            EXPECT_GT(ties, 0) << "the cases should include ties, m " << size.m;
        }
    }
}

TEST(TrackChannels, GivesTheImageAndPitchesThePlainSearchGives) {
    BuildLogLevelTable();
    for (const int m : {3, 4, 5}) {
        BuildPermutationTable(m);
        const std::vector<std::uint8_t> original = RandomFrames(100 + m).Image(3000);
        std::vector<std::uint8_t> plain = original;
        std::vector<std::uint8_t> fast = original;
        BuildPitchTable(plain.data(), 3000, m);
        TrackChannelsPlain(plain.data(), 3000, m);
        const std::vector<std::int32_t> plainPitches(PitchTable.begin(), PitchTable.begin() + 3000 * 8);
        BuildPitchTable(fast.data(), 3000, m);
        TrackChannels(fast.data(), 3000, m);
        EXPECT_EQ(fast, plain) << "m " << m;
        EXPECT_TRUE(std::equal(plainPitches.begin(), plainPitches.end(), PitchTable.begin())) << "m " << m;
        EXPECT_NE(fast, original);
    }
}

}  // namespace
}  // namespace varnolt

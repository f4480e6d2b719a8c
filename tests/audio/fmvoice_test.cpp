// The model of the FM channel that the preview plays.
#include "fmvoice.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varnolt::audio {
namespace {

constexpr int kRate = 48000;  // 800 samples a tick

double Rms(const std::vector<double>& sound, std::size_t first, std::size_t end) {
    double squares = 0;
    for (std::size_t n = first; n < end; ++n) squares += sound[n] * sound[n];
    return std::sqrt(squares / static_cast<double>(end - first));
}

// The frequency of the strongest component, by a direct Fourier sum on a 0.1 Hz grid
// around the expected one, refined nowhere: enough to tell 1 Hz apart.
double StrongestFrequencyNear(const std::vector<double>& sound, double around) {
    double best = 0, bestPower = -1;
    for (double f = around - 5; f <= around + 5; f += 0.1) {
        double re = 0, im = 0;
        for (std::size_t n = 0; n < sound.size(); ++n) {
            re += sound[n] * std::cos(2 * std::numbers::pi * f * n / kRate);
            im += sound[n] * std::sin(2 * std::numbers::pi * f * n / kRate);
        }
        if (re * re + im * im > bestPower) bestPower = re * re + im * im, best = f;
    }
    return best;
}

TEST(FmVoice, OneNoteHasItsPitchLengthAndLevel) {
    // A of octave 4 for 30 ticks (a half second), alone.
    const std::vector<double> sound = RenderScore({{{30, 57, 15, false}}}, kRate);
    ASSERT_EQ(sound.size(), 24000u);
    EXPECT_NEAR(StrongestFrequencyNear(sound, 440), 440, 0.5);
    EXPECT_NEAR(Rms(sound, 1000, 23000), std::sqrt(0.5), 0.001);  // full scale, one channel

    // C+ of octave 2 is 69.30 Hz.
    EXPECT_NEAR(StrongestFrequencyNear(RenderScore({{{30, 25, 15, false}}}, kRate), 69.3), 69.3, 0.5);
}

TEST(FmVoice, LengthsRoundToWholeTicksCarryingTheRest) {
    // 2.4 ticks per note (L60 at T100): the notes end at ticks 2, 4, 7, 9 and 12.
    ChannelScore score(5, {2.4, 57, 15, true});
    score.push_back({1.0, -1, 0, false});  // then a rest of a tick: 13 ticks in all
    const std::vector<double> sound = RenderScore({score}, kRate);
    EXPECT_EQ(sound.size(), 13u * 800);
    // Sounding up to tick 12, silent in the last tick once the ramp is over.
    EXPECT_GT(Rms(sound, 11 * 800, 12 * 800), 0.6);
    EXPECT_LT(Rms(sound, 12 * 800 + 48, 13 * 800), 1e-12);
}

TEST(FmVoice, ThreeDecibelsPerTwoVolumeStepsDownToV0) {
    const auto level = [](int volume) {
        const std::vector<double> sound = RenderScore({{{30, 57, volume, false}}}, kRate);
        return 20 * std::log10(Rms(sound, 1000, 23000));
    };
    EXPECT_NEAR(level(15), level(14), 1e-9);
    EXPECT_NEAR(level(15) - level(13), 3.0, 0.01);
    EXPECT_NEAR(level(15) - level(1), 21.0, 0.01);
    // V0 is quiet, not silent.
    EXPECT_NEAR(level(15) - level(0), 21.0, 0.01);
}

TEST(FmVoice, NoClickWhereaToneStartsStopsOrChanges) {
    // Strike, tie to another pitch and volume, rest, strike again without a tie, twice.
    const std::vector<double> sound = RenderScore(
        {{{10, 57, 15, true}, {10, 69, 9, false}, {10, -1, 0, false}, {10, 60, 15, false}, {10, 60, 15, false}}},
        kRate);
    // A sine of amplitude a at f moves at most a 2 pi f / rate per sample; a click jumps.
    const double steepest = 2 * std::numbers::pi * NoteFrequency(69) / kRate;
    double largestStep = 0;
    for (std::size_t n = 1; n < sound.size(); ++n) largestStep = std::max(largestStep, std::abs(sound[n] - sound[n - 1]));
    EXPECT_LT(largestStep, steepest * 1.1);
    // The rest is silent once the tone has died away, and the note after it sounds.
    EXPECT_LT(Rms(sound, 20 * 800 + 48, 30 * 800), 1e-12);
    EXPECT_GT(Rms(sound, 31 * 800, 39 * 800), 0.6);
    // Struck again: a dip at the join of the last two notes.
    EXPECT_LT(std::abs(sound[40 * 800 - 1]), 0.05);

    // A channel that ends on a note, before the other and with it, dies away too.
    const std::vector<double> ends = RenderScore({{{10, 69, 15, false}}, {{20, 69, 15, true}}}, kRate);
    largestStep = 0;
    for (std::size_t n = 1; n < ends.size(); ++n) largestStep = std::max(largestStep, std::abs(ends[n] - ends[n - 1]));
    EXPECT_LT(largestStep, steepest * 1.1);
    EXPECT_LT(std::abs(ends.back()), 0.01);
}

TEST(FmVoice, ChannelsMixWithoutClipping) {
    std::vector<ChannelScore> channels(9, ChannelScore{{30, 57, 15, false}});
    const std::vector<double> sound = RenderScore(channels, kRate);
    const double peak = *std::max_element(sound.begin(), sound.end(),
                                          [](double a, double b) { return std::abs(a) < std::abs(b); });
    EXPECT_LE(std::abs(peak), 1.0 + 1e-12);
    EXPECT_GT(std::abs(peak), 0.99);  // nine channels in phase reach full scale, no more
}

}  // namespace
}  // namespace varnolt::audio

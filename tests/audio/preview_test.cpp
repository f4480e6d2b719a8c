// varnolt preview through the real command.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "fixtures.h"
#include "mmlwriter.h"
#include "process.h"
#include "soundfile.h"

namespace varnolt::audio {
namespace {

using namespace varnolt::testing;

ProcessResult Varnolt(const std::vector<std::string>& arguments) { return RunVarnolt(arguments); }

std::string Program(const std::vector<std::string>& playLines) {
    std::string text(kProgramSetUpLines);
    for (const std::string& line : playLines) text += line + "\r\n";
    return text;
}

std::vector<double> Preview(const ScratchFolder& folder, const std::string& program, int rate = 48000) {
    WriteFile(folder / "tune.txt", program);
    const ProcessResult run = Varnolt({"preview", "--rate", std::to_string(rate), folder / "tune.txt"});
    EXPECT_EQ(run.status, 0) << run.err;
    MonoSoundReader reader(folder / "tune.preview.wav");
    EXPECT_EQ(reader.Info().sampleRate, rate);
    std::vector<double> samples(static_cast<std::size_t>(reader.Info().frames));
    samples.resize(reader.Read(samples.data(), samples.size()));
    return samples;
}

double Rms(const std::vector<double>& sound, std::size_t first, std::size_t end) {
    double squares = 0;
    for (std::size_t n = first; n < end; ++n) squares += sound[n] * sound[n];
    return std::sqrt(squares / static_cast<double>(end - first));
}

// Zero crossings upward per second over a stretch: the pitch of a lone sine.
double Frequency(const std::vector<double>& sound, std::size_t first, std::size_t end, int rate) {
    std::size_t firstUp = 0, lastUp = 0, ups = 0;
    for (std::size_t n = first + 1; n < end; ++n) {
        if (sound[n - 1] < 0 && sound[n] >= 0) {
            if (ups == 0) firstUp = n;
            lastUp = n;
            ++ups;
        }
    }
    return (ups - 1) * static_cast<double>(rate) / static_cast<double>(lastUp - firstUp);
}

TEST(Preview, OneNoteSoundsAtItsPitchForItsTicks) {
    ScratchFolder folder;
    // A of octave 4 for 20 frames of 1/30 s (40 ticks), then a rest of 6 frames.
    std::string notes = "@63T120L60V15O4A";
    for (int i = 1; i < 20; ++i) notes += "&A";
    const std::vector<double> sound = Preview(folder, Program({"1000 PLAY#2,\"" + notes + "&R10\""}));
    ASSERT_EQ(sound.size(), 26u * 2 * 800);
    EXPECT_NEAR(Frequency(sound, 100, 40 * 800 - 100, 48000), 440.0, 1.0);
    // Sounding to its last tick, silent after the millisecond of its release.
    EXPECT_GT(Rms(sound, 39 * 800, 40 * 800), 0.6);
    EXPECT_LT(Rms(sound, 40 * 800 + 60, sound.size()), 1e-4);  // 16-bit silence
    // No click where it stops.
    double largestStep = 0;
    for (std::size_t n = 1; n < sound.size(); ++n) largestStep = std::max(largestStep, std::abs(sound[n] - sound[n - 1]));
    EXPECT_LT(largestStep, 2 * std::numbers::pi * 440 / 48000 * 1.1);
}

TEST(Preview, TwoVolumeStepsAreThreeDecibels) {
    ScratchFolder folder;
    const std::vector<double> sound =
        Preview(folder, Program({"1000 PLAY#2,\"@63T120L10V15O5C&V13C\""}));  // 12 ticks each
    const double loud = Rms(sound, 800, 11 * 800);
    const double soft = Rms(sound, 13 * 800, 23 * 800);
    EXPECT_NEAR(20 * std::log10(loud / soft), 3.0, 0.05);
}

TEST(Preview, PlaysWhatConvertWritesAndRefusesWhatItCannot) {
    ScratchFolder folder;
    // The bundled example: four channels for four seconds.
    std::filesystem::copy_file(VARNOLT_EXAMPLES_DIR "/glide.txt", folder / "glide.txt");
    const ProcessResult example = Varnolt({"preview", folder / "glide.txt"});
    ASSERT_EQ(example.status, 0) << example.err;
    EXPECT_EQ(example.out, folder / "glide.preview.wav" + ": 4.00 s from 4 channels\n");

    const struct {
        std::string program;
        std::string problem;
    } refused[] = {
        {"10 _MUSIC(1,0,1,1,1,1,1)\r\n1000 PLAY#2,\"@63A\"\r\n", "line 1000: the set-up lines before the first PLAY"},
        {Program({"1000 PLAY#2,\"@63A\"", "1010 BEEP"}), "line 1010: only PLAY #2 statements"},
        {Program({"1000 PLAY#2,\"@2A\""}), "line 1000: PLAY string 1: voice @2 is not modelled"},
        {Program({"1000 PLAY#2,\"@63A\",\"C\""}), "line 1000: PLAY string 2: a note before @63"},
        {Program({"1000 PLAY#2,\"@63A\"", "1010 PLAY#2,\"O9A\""}), "line 1010: PLAY string 1: octave O9 at character 1"},
        {Program({"1000 PLAY#2,\"@63AX\""}), "line 1000: PLAY string 1: 'X' at character 5 is not an MML command"},
        // 45 minutes of whole notes at the slowest tempo.
        {Program({"1000 PLAY#2,\"@63T32L1" + std::string(120, 'A') + "\"", "1010 PLAY#2,\"" + std::string(120, 'A') + "\"",
                  "1020 PLAY#2,\"" + std::string(120, 'A') + "\""}),
         "line 1010: PLAY string 1: the program plays for more than the 25 minutes a preview renders"},
        {Program({"1000 PLAY#2,\"@63A\" : PLAY#2,\"B\""}), "line 1000: only a line of one PLAY #2 statement"},
    };
    for (const auto& c : refused) {
        WriteFile(folder / "bad.txt", c.program);
        const ProcessResult run = Varnolt({"preview", folder / "bad.txt"});
        EXPECT_EQ(run.status, 1) << c.problem;
        EXPECT_NE(run.err.find(folder / "bad.txt: " + c.problem), std::string::npos) << run.err;
        EXPECT_FALSE(std::filesystem::exists(folder / "bad.preview.wav"));
    }
    // A line LOAD would cut plays whole, with a warning.
    const std::string notes = "@63V15O4" + std::string(140, 'A');
    WriteFile(folder / "long.txt", Program({"1000 PLAY#2,\"" + notes + "\",\"" + notes + "\""}));
    const ProcessResult longLine = Varnolt({"preview", folder / "long.txt"});
    EXPECT_EQ(longLine.status, 0);
    EXPECT_NE(longLine.err.find(folder / "long.txt: warning: line 1000: the line is 313 characters long"),
              std::string::npos)
        << longLine.err;

    // An empty argument leaves its channel idle; L takes dots as notes do.
    WriteFile(folder / "odd.txt", Program({"1000 PLAY#2,\"@63T120L4.C\",,\"@63L60D\""}));
    const ProcessResult odd = Varnolt({"preview", folder / "odd.txt"});
    EXPECT_EQ(odd.status, 0) << odd.err;
    EXPECT_EQ(odd.out, folder / "odd.preview.wav" + ": 0.75 s from 3 channels\n");

    EXPECT_EQ(Varnolt({"preview", "--rate", "100", folder / "glide.txt"}).status, 2);
    EXPECT_EQ(Varnolt({"preview", "-o", "a.wav", "--output", "b.wav", folder / "glide.txt"}).status, 2);
    EXPECT_EQ(Varnolt({"preview", folder / "missing.txt"}).status, 1);
    EXPECT_EQ(Varnolt({"preview", "-o", folder / "glide.txt", folder / "glide.txt"}).status, 1);
}

}  // namespace
}  // namespace varnolt::audio

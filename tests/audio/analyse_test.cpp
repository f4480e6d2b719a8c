// varnolt analyse through the real command, on generated signals and on speech.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#include "fixtures.h"
#include "partialframes.h"
#include "process.h"
#include "resynthesis.h"
#include "soundfile.h"
#include "spectraldistance.h"

namespace varnolt::audio {
namespace {

using namespace varnolt::testing;

ProcessResult Varnolt(const std::vector<std::string>& arguments) { return RunVarnolt(arguments); }

// A sine whose frequency moves linearly from f0 to f1 over the whole sound.
struct Sine {
    double f0, f1, amplitude;
    double FrequencyAt(double seconds, double length) const { return f0 + (f1 - f0) * seconds / length; }
};

std::vector<double> SumOfSines(const std::vector<Sine>& sines, double seconds, int rate) {
    const auto count = static_cast<std::size_t>(seconds * rate);
    std::vector<double> sound(count);
    for (const Sine& sine : sines) {
        double phase = 0.0;
        for (std::size_t n = 0; n < count; ++n) {
            sound[n] += sine.amplitude * std::sin(phase);
            phase += 2 * std::numbers::pi * sine.FrequencyAt(n / static_cast<double>(rate), seconds) / rate;
        }
    }
    return sound;
}

void WriteWav(const std::string& path, const std::vector<double>& samples, int rate, int channels = 1) {
    WriteFile(path, EncodeWav(samples, channels, rate, WavSamples::Float32));
}

DecodedFrames ReadAnalysis(const std::string& path) { return DecodePartialFrames(ReadFile(path)); }

TEST(Analyse, FindsEverySineOfAKnownSignal) {
    const double seconds = 2.0;
    // Steady and gliding sines 4 to 26 dB under full scale, apart by more than a window's
    // main lobe at every instant.
    const std::vector<Sine> sines = {
        {220, 220, 0.5}, {500, 700, 0.25}, {1000, 1000, 0.1}, {3000, 2500, 0.05}, {6000, 6500, 0.3}};
    for (const int rate : {44100, 22050}) {
        for (const int unit : {30, 60}) {
            SCOPED_TRACE("rate " + std::to_string(rate) + ", unit " + std::to_string(unit));
            ScratchFolder folder;
            WriteWav(folder / "tones.wav", SumOfSines(sines, seconds, rate), rate);
            const ProcessResult run = Varnolt({"analyse", "--unit", std::to_string(unit), folder / "tones.wav"});
            ASSERT_EQ(run.status, 0) << run.err;
            const DecodedFrames analysis = ReadAnalysis(folder / "tones.dat");
            EXPECT_EQ(analysis.frameRateCode, unit);
            ASSERT_EQ(analysis.frames.size(), static_cast<std::size_t>(seconds * unit));
            // The first and last windows reach past the sound's ends.
            const int edge = (unit + 20) / 21;
            for (int f = edge; f < static_cast<int>(analysis.frames.size()) - edge; ++f) {
                const auto& partials = analysis.frames[f];
                // Loudest first, and exactly the five sines.
                ASSERT_GT(partials[4].amplitude, 0) << "frame " << f;
                EXPECT_EQ(partials[5].amplitude, 0) << "frame " << f;
                for (std::size_t p = 1; p < partials.size(); ++p) EXPECT_LE(partials[p].amplitude, partials[p - 1].amplitude);
                const double instant = (f + 0.5) / unit;
                for (const Sine& sine : sines) {
                    const double expected = sine.FrequencyAt(instant, seconds);
                    const Partial* nearest = &partials[0];
                    for (const Partial& partial : partials) {
                        if (std::abs(partial.frequency - expected) < std::abs(nearest->frequency - expected)) nearest = &partial;
                    }
                    EXPECT_NEAR(nearest->frequency, expected, std::max(0.5, expected * 0.001)) << "frame " << f;
                    EXPECT_NEAR(20 * std::log10(nearest->amplitude / sine.amplitude), 0.0, 0.5)
                        << "frame " << f << " at " << expected << " Hz";
                }
            }
        }
    }
}

TEST(Analyse, KeepsOnlyWhatTheRangeAllowsAndMixesChannels) {
    ScratchFolder folder;
    const int rate = 44100;
    // 9 kHz lies above the MSX's octaves; 150 and 440 Hz inside.
    const std::vector<double> mono = SumOfSines({{150, 150, 0.5}, {440, 440, 0.2}, {9000, 9000, 0.3}}, 1.0, rate);
    // Left holds the tones, right is silent: the mix is half as loud.
    std::vector<double> stereo;
    for (double sample : mono) stereo.insert(stereo.end(), {sample, 0.0});
    WriteWav(folder / "wide.wav", stereo, rate, 2);

    ASSERT_EQ(Varnolt({"analyse", folder / "wide.wav"}).status, 0);
    const DecodedFrames wide = ReadAnalysis(folder / "wide.dat");
    const auto& inside = wide.frames[15];
    EXPECT_NEAR(inside[0].frequency, 150, 0.5);
    EXPECT_NEAR(inside[0].amplitude, 0.25, 0.25 * 0.06);
    EXPECT_NEAR(inside[1].frequency, 440, 0.5);
    EXPECT_NEAR(inside[1].amplitude, 0.1, 0.1 * 0.06);
    EXPECT_EQ(inside[2].amplitude, 0);

    // Moved, the range drops the lowest and takes the highest, loudest first.
    ASSERT_EQ(Varnolt({"analyse", "--min-freq", "200", "--max-freq=12000", "-o", folder / "moved.dat", folder / "wide.wav"}).status, 0);
    const DecodedFrames movedFrames = ReadAnalysis(folder / "moved.dat");
    const auto& moved = movedFrames.frames[15];
    EXPECT_NEAR(moved[0].frequency, 9000, 9);
    EXPECT_NEAR(moved[1].frequency, 440, 0.5);
    EXPECT_EQ(moved[2].amplitude, 0);
}

TEST(Analyse, AChosenPartOnlyAndTheLengthLimit) {
    ScratchFolder folder;
    const int rate = 8000;
    // 601 s make 18030 frames of 1/30 s: one file cannot hold them.
    WriteFile(folder / "long.wav", EncodeWav(SumOfSines({{440, 440, 0.3}}, 601.0, rate), 1, rate, WavSamples::Pcm16));

    const ProcessResult refused = Varnolt({"analyse", folder / "long.wav"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.err.find("18030 frames of 1/30 s, more than the 17999"), std::string::npos) << refused.err;
    EXPECT_NE(refused.err.find("--start and --duration"), std::string::npos);
    EXPECT_NE(refused.err.find("--unit 15 holds 1199.9 s"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(folder / "long.dat"));

    const ProcessResult part = Varnolt({"analyse", "--start", "100", "--duration", "60", folder / "long.wav"});
    ASSERT_EQ(part.status, 0) << part.err;
    EXPECT_EQ(ReadAnalysis(folder / "long.dat").frames.size(), 1800u);
    // Longer than a few seconds: progress on stderr, ending at 100 %.
    EXPECT_NE(part.err.find("analysing " + (folder / "long.wav") + ": 100%"), std::string::npos) << part.err;

    const ProcessResult slower = Varnolt({"analyse", "--unit", "15", folder / "long.wav"});
    ASSERT_EQ(slower.status, 0) << slower.err;
    const DecodedFrames whole = ReadAnalysis(folder / "long.dat");
    EXPECT_EQ(whole.frames.size(), 9015u);
    EXPECT_EQ(whole.frameRateCode, 15);

    const ProcessResult tooLate = Varnolt({"analyse", "--start", "601", folder / "long.wav"});
    EXPECT_EQ(tooLate.status, 1);
    EXPECT_NE(tooLate.err.find("past the end of the recording (601.0 s)"), std::string::npos) << tooLate.err;
}

TEST(Analyse, RefusesWhatItCannotReadAndLeavesNoOutput) {
    ScratchFolder folder;
    const std::string wav = EncodeWav(SumOfSines({{440, 440, 0.3}}, 0.5, 8000), 1, 8000, WavSamples::Pcm16);
    WriteFile(folder / "empty.wav", "");
    WriteFile(folder / "text.wav", "this is not a recording\n");
    WriteFile(folder / "headeronly.wav", EncodeWav({}, 1, 8000, WavSamples::Pcm16));
    // The sample rate field of the header (bytes 24 .. 27) set to 0.
    std::string noRate = wav;
    noRate.replace(24, 4, std::string(4, '\0'));
    WriteFile(folder / "norate.wav", noRate);
    // A channel count of 0 (bytes 22 .. 23).
    std::string noChannels = wav;
    noChannels.replace(22, 2, std::string(2, '\0'));
    WriteFile(folder / "nochannels.wav", noChannels);
    // A rate of 2,000,000,000 Hz (0x77359400), whose windows would not fit in memory.
    std::string hugeRate = wav;
    hugeRate.replace(24, 4, std::string("\x00\x94\x35\x77", 4));
    WriteFile(folder / "hugerate.wav", hugeRate);
    std::filesystem::create_directory(folder / "folder.wav");
    ASSERT_EQ(::mkfifo((folder / "pipe.wav").c_str(), 0600), 0);

    const struct {
        const char* name;
        const char* message;
    } cases[] = {
        {"missing.wav", "cannot open"},
        {"empty.wav", "the file is empty"},
        {"text.wav", "not a recording libsndfile can read"},
        {"headeronly.wav", "holds no sound"},
        {"norate.wav", "not a recording libsndfile can read"},
        {"nochannels.wav", "not a recording libsndfile can read"},
        {"hugerate.wav", "a sample rate of 2000000000 Hz is more than the 768000 analysed"},
        {"folder.wav", "not a regular file"},
        {"pipe.wav", "not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const ProcessResult run = Varnolt({"analyse", folder / c.name});
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find(folder / c.name), std::string::npos) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        EXPECT_NE(entry.path().extension(), ".dat") << entry.path();
    }
}

TEST(Analyse, WritesLikeConvertAndReadsItsOptionsStrictly) {
    ScratchFolder folder;
    WriteWav(folder / "tone.flac.wav", SumOfSines({{440, 440, 0.3}}, 0.5, 8000), 8000);
    // The last extension goes; a name without one gets .dat added.
    ASSERT_EQ(Varnolt({"analyse", folder / "tone.flac.wav"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(folder / "tone.flac.dat"));
    std::filesystem::copy_file(folder / "tone.flac.wav", folder / "tone");
    ASSERT_EQ(Varnolt({"analyse", folder / "tone"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(folder / "tone.dat"));

    // An output that cannot be written keeps the old one, and nothing else is left.
    std::filesystem::create_directory(folder / "locked");
    WriteFile(folder / "locked/old.dat", "old");
    ::chmod((folder / "locked").c_str(), 0500);
    const ProcessResult denied = Varnolt({"analyse", "-o", folder / "locked/old.dat", folder / "tone"});
    ::chmod((folder / "locked").c_str(), 0700);
    if (::geteuid() != 0) {  // root writes anyway
        EXPECT_EQ(denied.status, 1);
        EXPECT_EQ(ReadFile(folder / "locked/old.dat"), "old");
    }
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(folder / "locked"), {}), 1);

    // Never over the recording itself.
    const ProcessResult itself = Varnolt({"analyse", "-o", folder / "tone", folder / "tone"});
    EXPECT_EQ(itself.status, 1);
    EXPECT_NE(itself.err.find("would replace the recording"), std::string::npos);

    const std::vector<std::string> usageErrors[] = {
        {"analyse"},
        {"analyse", "a.wav", "b.wav"},
        {"analyse", "--unit", "25", "a.wav"},
        {"analyse", "--min-freq", "abc", "a.wav"},
        {"analyse", "--max-freq", "nan", "a.wav"},
        {"analyse", "--min-freq", "500", "--max-freq", "400", "a.wav"},
        {"analyse", "--duration", "0", "a.wav"},
        {"analyse", "--start", "-1", "a.wav"},
        {"analyse", "--start", "3e14", "a.wav"},
        {"analyse", "--duration", "1e300", "a.wav"},
        {"analyse", "-o", "x.dat", "--output", "y.dat", "a.wav"},
        {"analyse", "--bogus", "a.wav"},
    };
    for (const auto& arguments : usageErrors) {
        const ProcessResult run = Varnolt(arguments);
        EXPECT_EQ(run.status, 2) << arguments.back();
        EXPECT_NE(run.err.find("usage: varnolt analyse"), std::string::npos);
    }
    const ProcessResult help = Varnolt({"analyse", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("--min-freq HZ"), std::string::npos);
}

}  // namespace
}  // namespace varnolt::audio

namespace varnolt::audio {
namespace {

using namespace varnolt::testing;

std::vector<double> ReadWholeSound(const std::string& path, int& rate) {
    MonoSoundReader reader(path);
    rate = reader.Info().sampleRate;
    std::vector<double> samples(static_cast<std::size_t>(reader.Info().frames));
    samples.resize(reader.Read(samples.data(), samples.size()));
    return samples;
}

TEST(Resynthesis, GlidesStayWholeAndTheAnalysisOfASoundSoundsLikeIt) {
    // A voice gliding a fifth up over 30 frames, another steady: no gap, no jump in level.
    PartialFrames frames;
    for (int f = 0; f < 30; ++f) frames.push_back({{440.0 * std::pow(1.5, f / 29.0), 0.5}, {3000.0, 0.1}});
    const int rate = 16000;
    const std::vector<double> sound = RenderPartialFrames(frames, 30, rate, 8);
    ASSERT_EQ(sound.size(), 16000u);
    // Between the first and the last frame's instants the level is that of the two sines
    // (root mean square over each 1/30 s).
    for (int f = 1; f < 29; ++f) {
        double squares = 0;
        for (int n = 0; n < rate / 30; ++n) squares += sound[f * rate / 30 + n] * sound[f * rate / 30 + n];
        EXPECT_NEAR(std::sqrt(squares / (rate / 30)), std::sqrt((0.25 + 0.01) / 2), 0.01) << "frame " << f;
    }
    EXPECT_EQ(LogSpectralDistance(sound, sound, rate, 30, 8000), 0.0);
    // Only the first partial: the 3 kHz one is missing, and that shows.
    const double withoutSecond = LogSpectralDistance(sound, RenderPartialFrames(frames, 30, rate, 1), rate, 30, 8000);
    EXPECT_GT(withoutSecond, 3.0);
}

TEST(Analyse, ASpokenSentenceBecomesAProgram) {
    ScratchFolder folder;
    const std::string wav = folder / "sentence.wav";
    const ProcessResult spoken =
        RunProcess({"/usr/bin/espeak-ng", "-w", wav, "Hello from the MSX. This sentence was analysed into sine waves."});
    ASSERT_EQ(spoken.status, 0) << spoken.err;
    ASSERT_EQ(Varnolt({"analyse", wav}).status, 0);
    const ProcessResult converted = Varnolt({"convert", "--channels", "5", folder / "sentence.dat"});
    ASSERT_EQ(converted.status, 0) << converted.err;

    int rate = 0;
    const std::vector<double> original = ReadWholeSound(wav, rate);
    const std::size_t frameCount = (original.size() * 30 + rate - 1) / rate;
    const std::string bytes = ReadFile(folder / "sentence.dat");
    ASSERT_EQ(bytes.size(), (frameCount + 1) * 64);
    const DecodedFrames analysis = DecodePartialFrames(bytes);
    EXPECT_EQ(analysis.frameRateCode, 30);

    // One statement line per six frames after the three set-up lines, with volumes,
    // octaves and notes in every channel.
    const std::string program = ReadFile(folder / "sentence.txt");
    std::size_t lines = 0, notes = 0;
    for (char c : program) {
        lines += c == '\n';
        notes += c == '&';
    }
    EXPECT_EQ(lines, 3 + (frameCount + 5) / 6);
    EXPECT_GT(notes, frameCount * 2);  // speech sounds most of the time, in most channels
    std::array<int, 5> notesInChannel{};
    for (std::size_t at = program.find(" PLAY#2,"); at != std::string::npos; at = program.find(" PLAY#2,", at + 1)) {
        std::size_t open = at;
        for (int channel = 0; channel < 5; ++channel) {
            open = program.find('"', open + 1);
            const std::size_t close = program.find('"', open + 1);
            const std::string text = program.substr(open + 1, close - open - 1);
            notesInChannel[channel] += static_cast<int>(std::count(text.begin(), text.end(), '&'));
            open = close;
        }
    }
    for (int channel = 0; channel < 5; ++channel) EXPECT_GT(notesInChannel[channel], 0) << "channel " << channel;

    // How close the analysis comes: the resynthesis of 8 and of 4 partials.
    const double distance8 = LogSpectralDistance(original, RenderPartialFrames(analysis.frames, 30, rate, 8), rate,
                                                 kLowestPlayableHz, kHighestPlayableHz);
    const double distance4 = LogSpectralDistance(original, RenderPartialFrames(analysis.frames, 30, rate, 4), rate,
                                                 kLowestPlayableHz, kHighestPlayableHz);
    std::printf("log-spectral distance of the resynthesis: 8 partials %.2f dB, 4 partials %.2f dB\n", distance8, distance4);
    EXPECT_LT(distance8, distance4);
    EXPECT_LT(distance8, 15.0);
}

}  // namespace
}  // namespace varnolt::audio

// varnolt plot: the notes in the picture are the notes the program plays.
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>
#include <tuple>
#include <vector>

#include "fixtures.h"
#include "messages.h"
#include "plotcommand.h"
#include "plotsvg.h"
#include "process.h"
#include "worktables.h"

namespace {

using varnolt::PartialEntry;
using varnolt::testing::AnalysisFileBuilder;
using varnolt::testing::ProcessResult;
using varnolt::testing::ReadFile;
using varnolt::testing::RunProcess;
using varnolt::testing::ScratchFolder;
using varnolt::testing::WriteFile;

ProcessResult Varnolt(const ScratchFolder& folder, const std::vector<std::string>& arguments) {
    return varnolt::testing::RunVarnolt(arguments, {folder.Path().string()});
}

struct NoteBar {
    int channel;
    int note;
    int firstFrame;
    int frames;
    bool operator==(const NoteBar&) const = default;
};

std::ostream& operator<<(std::ostream& out, const NoteBar& bar) {
    return out << "{channel " << bar.channel << ", note " << bar.note << ", frames " << bar.firstFrame << " +"
               << bar.frames << "}";
}

// The note bars in document order, each with the channel of the group around it.
std::vector<NoteBar> NoteBars(const std::string& svg) {
    static const std::regex kElement(
        R"re(<g class="channel" data-channel="(\d+)"|<rect class="note"[^>]* data-note="(\d+)" data-first-frame="(\d+)" data-frames="(\d+)")re");
    std::vector<NoteBar> bars;
    int channel = 0;
    for (auto it = std::sregex_iterator(svg.begin(), svg.end(), kElement); it != std::sregex_iterator(); ++it) {
        const std::smatch& match = *it;
        if (match[1].matched) {
            channel = std::stoi(match[1]);
        } else {
            bars.push_back({channel, std::stoi(match[2]), std::stoi(match[3]), std::stoi(match[4])});
        }
    }
    return bars;
}

constexpr std::int32_t kA4 = 4400;       // note 57
constexpr std::int32_t kASharp4 = 4662;  // note 58
constexpr std::int32_t kA3 = 2200;       // note 45

// Channel 1: A4 two frames, A+4 two, silent two (its pitch kept, so it stays in its
// channel), A+4 again, A4. Channel 2: A3 throughout, at two volumes. Channel 3: silent.
// Partial 3, beyond the three channels, only sounds in the analysis.
std::string TinyFile(std::int32_t frameRateCode = 30) {
    constexpr std::int32_t kChannel1Frequency[] = {kA4, kA4, kASharp4, kASharp4, kASharp4, kASharp4, kASharp4, kA4};
    AnalysisFileBuilder builder;
    for (int f = 0; f < 8; ++f) {
        const bool resting = f == 4 || f == 5;
        builder.Frame({{{resting ? 0 : 20000, kChannel1Frequency[f]},
                        {f < 4 ? 10000 : 2500, kA3},
                        {0, 0},
                        {8000, 17600},
                        {0, 0}, {0, 0}, {0, 0}, {0, 0}}});
    }
    return builder.Trailer(frameRateCode).Bytes();
}

TEST(VarnoltPlot, ShowsTheNotesEachChannelPlaysWithRestsAsGaps) {
    ScratchFolder folder;
    WriteFile(folder / "tiny.dat", TinyFile());
    const ProcessResult run = Varnolt(folder, {"plot", "--channels", "3", "tiny.dat"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "終了しました\n");
    const std::string svg = ReadFile(folder / "tiny.svg");

    // A volume change inside a note is a tie, not a new note; silent frames are a gap
    // even between two A+4; partial 3 is no channel's note.
    const std::vector<NoteBar> expected = {{1, 57, 0, 2}, {1, 58, 2, 2}, {1, 58, 6, 1}, {1, 57, 7, 1}, {2, 45, 0, 8}};
    EXPECT_EQ(NoteBars(svg), expected);
    EXPECT_NE(svg.find("<g class=\"channel\" data-channel=\"3\""), std::string::npos);
    EXPECT_EQ(svg.find("data-channel=\"4\""), std::string::npos);
    EXPECT_NE(svg.find("<title>channel 1: O4 A+, frames 2–3 (0.07–0.13 s), V15</title>"), std::string::npos);
    EXPECT_NE(svg.find("<title>channel 2: O3 A, frames 0–7 (0.00–0.27 s), V9–13</title>"), std::string::npos);
    EXPECT_NE(svg.find("<title>tiny.dat · 8 frames of 1/30 s (0.3 s) · 3 channels</title>"), std::string::npos);

    // The program the converter writes from the same file plays the same: A4 x2, A+4 x2,
    // a rest of two frames, A+4, A4; and A3 eight times.
    ASSERT_EQ(Varnolt(folder, {"convert", "--channels", "3", "tiny.dat"}).status, 0);
    const std::string program = ReadFile(folder / "tiny.txt");
    EXPECT_NE(program.find("1000 PLAY#2,\"@63T120L60V15O4A&A&A+&A+&R30\",\"@63T120L60V13O3A&A&A&A&V9A&A&\""),
              std::string::npos)
        << program;
    EXPECT_NE(program.find("1010 PLAY#2,\"A+&A&R15\",\"A&A&R15\""), std::string::npos) << program;
}

TEST(VarnoltPlot, OptionsAndTheOutputName) {
    ScratchFolder folder;
    WriteFile(folder / "tiny.dat", TinyFile(0));
    WriteFile(folder / "mydat", TinyFile(0));

    ASSERT_EQ(Varnolt(folder, {"plot", "--unit", "60", "tiny.dat"}).status, 0);
    const std::string svg = ReadFile(folder / "tiny.svg");
    EXPECT_NE(svg.find("8 frames of 1/60 s (0.1 s) · 4 channels"), std::string::npos);
    EXPECT_NE(svg.find("data-channel=\"4\""), std::string::npos);
    EXPECT_EQ(svg.find("data-channel=\"5\""), std::string::npos);

    ASSERT_EQ(Varnolt(folder, {"plot", "-o", "a.svg", "tiny.dat"}).status, 0);
    ASSERT_EQ(Varnolt(folder, {"plot", "--channels=5", "--output=b.svg", "tiny.dat"}).status, 0);
    EXPECT_EQ(NoteBars(ReadFile(folder / "a.svg")), NoteBars(svg));
    EXPECT_NE(ReadFile(folder / "b.svg").find("data-channel=\"5\""), std::string::npos);
    // The converter's name rule: no dot before "dat", the whole name is kept.
    ASSERT_EQ(Varnolt(folder, {"plot", "mydat"}).status, 0);
    EXPECT_TRUE(std::filesystem::exists(folder / "mydat.svg"));

    const ProcessResult help = Varnolt(folder, {"--help"});
    EXPECT_NE(help.out.find("varnolt plot [--unit 15|20|30|60] [--channels 3|4|5] [-o OUT.svg] FILE"),
              std::string::npos);
    EXPECT_EQ(Varnolt(folder, {"plot", "--help"}).status, 0);
}

TEST(VarnoltPlot, RefusedInputsGiveTheConvertersMessageAndNoPicture) {
    ScratchFolder folder;
    WriteFile(folder / "fast.dat", TinyFile(25));
    WriteFile(folder / "fast.svg", "previous picture");
    WriteFile(folder / "empty.dat", "");
    WriteFile(folder / "tiny.wav", TinyFile());
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"fast.dat", "発音単位が違います （1/25秒）"},
        {"empty.dat", std::string(varnolt::messages::kNoData)},
        {"missing.dat", std::string(varnolt::messages::kFileNotFound)},
        {"tiny.wav", std::string(varnolt::messages::kNotADatFile)},
    };
    for (const auto& [file, message] : cases) {
        const ProcessResult run = Varnolt(folder, {"plot", file});
        EXPECT_EQ(run.status, 1) << file;
        EXPECT_EQ(run.out, "") << file;
        EXPECT_EQ(run.err, message + "\n") << file;
    }
    EXPECT_EQ(ReadFile(folder / "fast.svg"), "previous picture");
    for (const char* name : {"empty.svg", "missing.svg", "tiny.svg", "tiny.wav.svg"}) {
        EXPECT_FALSE(std::filesystem::exists(folder / name)) << name;
    }

    WriteFile(folder / "tiny.dat", TinyFile());
    const std::vector<std::string> usageErrors[] = {
        {"plot"},
        {"plot", "tiny.dat", "fast.dat"},
        {"plot", "--channels", "6", "tiny.dat"},
        {"plot", "--unit", "25", "tiny.dat"},
        {"plot", "--volume", "50", "tiny.dat"},
        {"plot", "-o", "a.svg", "--output", "b.svg", "tiny.dat"},
        {"plot", "-o", "./tiny.dat", "tiny.dat"},  // would overwrite the analysis
    };
    for (const auto& arguments : usageErrors) {
        const ProcessResult run = Varnolt(folder, arguments);
        EXPECT_EQ(run.status, 2) << arguments.back();
        EXPECT_NE(run.err.find("usage: varnolt plot"), std::string::npos) << arguments.back();
    }
    EXPECT_EQ(ReadFile(folder / "tiny.dat"), TinyFile());
}

TEST(VarnoltPlot, EveryWayOutGivesThePoolBack) {
    ScratchFolder folder;
    WriteFile(folder / "tiny.dat", TinyFile());
    WriteFile(folder / "fast.dat", TinyFile(25));
    const varnolt::ConversionOptions options;
    EXPECT_EQ(varnolt::cli::PlotAnalysisFile(folder / "tiny.dat", options, folder / "tiny.svg"), "");
    EXPECT_EQ(varnolt::PoolBlockCount(), 0);
    EXPECT_EQ(varnolt::cli::PlotAnalysisFile(folder / "fast.dat", options, folder / "fast.svg"),
              "発音単位が違います （1/25秒）");
    EXPECT_EQ(varnolt::PoolBlockCount(), 0);
    EXPECT_EQ(varnolt::cli::PlotAnalysisFile(folder / "tiny.dat", options, folder / "no-such-folder/tiny.svg"),
              varnolt::messages::kCannotCreate);
    EXPECT_EQ(varnolt::PoolBlockCount(), 0);
}

TEST(PlotSvg, FileNamesBecomeValidXmlText) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"plain.dat", "plain.dat"},
        {"a<b>&\"c'.dat", "a&lt;b&gt;&amp;&quot;c&apos;.dat"},
        {"音声.dat", "音声.dat"},
        {"\xF0\x9F\x8E\xB5.dat", "\xF0\x9F\x8E\xB5.dat"},  // U+1F3B5, four bytes
        {"\xFF.dat", "\uFFFD.dat"},                        // never UTF-8
        {"\x01\t.dat", "\uFFFD\t.dat"},                    // a control XML forbids
        {"\xE0\x80\xAF.dat", "\uFFFD\uFFFD\uFFFD.dat"},    // "/" in three bytes
        {"\xED\xA0\x80.dat", "\uFFFD\uFFFD\uFFFD.dat"},    // a surrogate
        {"\xEF\xBF\xBE.dat", "\uFFFD\uFFFD\uFFFD.dat"},    // U+FFFE, no XML character
        {"x\xE9\x9F", "x\uFFFD\uFFFD"},                    // cut short at the end
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(varnolt::cli::XmlText(bytes), text) << bytes;
}

}  // namespace

// The varnolt command as a user's script sees it: stdout, stderr, exit status, files.
#include <gtest/gtest.h>

#include <filesystem>
#include <vector>

#include "fixtures.h"
#include "process.h"

namespace {

using varnolt::testing::AnalysisFileBuilder;
using varnolt::testing::ProcessOptions;
using varnolt::testing::ProcessResult;
using varnolt::testing::RunProcess;
using varnolt::testing::ReadFile;
using varnolt::testing::ScratchFolder;
using varnolt::testing::WriteFile;

// Runs varnolt in the folder, with an optional file-size limit in bytes.
ProcessResult Varnolt(const ScratchFolder& folder, const std::vector<std::string>& arguments,
                      rlim_t fileSizeLimit = RLIM_INFINITY) {
    return varnolt::testing::RunVarnolt(arguments, {folder.Path().string(), fileSizeLimit});
}

std::string ToneFile(int frames, std::int32_t frameRateCode = 30) {
    AnalysisFileBuilder builder;
    for (int f = 0; f < frames; ++f) {
        builder.Frame({{{20000, 4400 + 37 * (f % 40)}, {9000, 6600 - 53 * (f % 30)}, {4000, 2200 + 11 * f % 900},
                        {2000, 13200}, {1500, 17600}, {0, 0}, {0, 0}, {0, 0}}});
    }
    return builder.Trailer(frameRateCode).Bytes();
}

TEST(VarnoltCommand, HelpVersionAndUsageErrors) {
    ScratchFolder folder;
    const ProcessResult help = Varnolt(folder, {"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("usage: varnolt convert [--volume TEXT] [--unit 15|20|30|60] [--channels 3|4|5] FILE..."),
              std::string::npos);
    EXPECT_EQ(Varnolt(folder, {"convert", "--help"}).status, 0);

    const ProcessResult version = Varnolt(folder, {"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, "varnolt 0.1.0\n");

    const std::vector<std::string> usageErrors[] = {
        {},
        {"transmogrify", "x.dat"},
        {"convert"},
        {"convert", "--speed", "2", "x.dat"},
        {"convert", "--unit", "25", "x.dat"},
        {"convert", "--channels", "6", "x.dat"},
        {"convert", "x.dat", "--volume"},
    };
    for (const auto& arguments : usageErrors) {
        const ProcessResult run = Varnolt(folder, arguments);
        EXPECT_EQ(run.status, 2) << (arguments.empty() ? "" : arguments.back());
        EXPECT_EQ(run.out, "");
        EXPECT_NE(run.err.find("usage: varnolt convert"), std::string::npos);
    }
}

TEST(VarnoltCommand, OneFileGivesTheMessageAlone) {
    ScratchFolder folder;
    WriteFile(folder / "tone.dat", ToneFile(30));
    const ProcessResult run = Varnolt(folder, {"convert", "tone.dat"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, "終了しました\n");
    EXPECT_EQ(run.err, "");
    const std::string program = ReadFile(folder / "tone.txt");
    // Defaults: 1/30 s and four channels.
    EXPECT_EQ(program.substr(115, 25), "1000 PLAY#2,\"@63T120L60V1");
    EXPECT_EQ(std::count(program.begin(), program.end(), '"'), 5 * 2 * 4);

    const ProcessResult refused = Varnolt(folder, {"convert", "--volume", "-20", "tone.dat"});
    EXPECT_EQ(refused.status, 1);
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(refused.err, "音量(%)を20-200までに指定して下さい\n");
    // "--help" as the value of an option is that value, not a request for help.
    const ProcessResult helpAsVolume = Varnolt(folder, {"convert", "--volume", "--help", "tone.dat"});
    EXPECT_EQ(helpAsVolume.status, 1);
    EXPECT_EQ(helpAsVolume.err, "音量(%)を20-200までに指定して下さい\n");
    // A success line that cannot be written is no success for the script.
    std::vector<std::string> command = {VARNOLT_COMMAND, "convert", "tone.dat"};
    ProcessOptions toFullDisk{folder.Path().string()};
    toFullDisk.stdoutPath = "/dev/full";
    EXPECT_EQ(RunProcess(command, toFullDisk).status, 1);
}

TEST(VarnoltCommand, OptionsReachTheConversion) {
    ScratchFolder folder;
    WriteFile(folder / "tone.dat", ToneFile(30, 0));
    ASSERT_EQ(Varnolt(folder, {"convert", "--unit", "60", "--channels=5", "--volume=+20", "tone.dat"}).status, 0);
    const std::string quiet = ReadFile(folder / "tone.txt");
    EXPECT_EQ(std::count(quiet.begin(), quiet.end(), '"'), 5 * 2 * 5);
    EXPECT_NE(quiet.find("\"@63T240L60"), std::string::npos);
    ASSERT_EQ(Varnolt(folder, {"convert", "--unit=60", "--channels", "5", "--volume", "200", "tone.dat"}).status, 0);
    EXPECT_NE(ReadFile(folder / "tone.txt"), quiet);
    // "100abc" reads as 100, like the dialog's field.
    EXPECT_EQ(Varnolt(folder, {"convert", "--volume", "100abc", "--", "tone.dat"}).status, 0);
}

TEST(VarnoltCommand, ManyFilesOneLineEachAndTheWorstStatus) {
    ScratchFolder folder;
    WriteFile(folder / "a.dat", ToneFile(12));
    WriteFile(folder / "c.dat", ToneFile(12, 25));
    WriteFile(folder / "d.dat", ToneFile(12));
    const ProcessResult run = Varnolt(folder, {"convert", "a.dat", "b.dat", "c.dat", "d.dat", "e.wav"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "a.dat: 終了しました\nd.dat: 終了しました\n");
    EXPECT_EQ(run.err,
              "b.dat: ファイルが見つかりません\n"
              "c.dat: 発音単位が違います （1/25秒）\n"
              "e.wav: ＤＡＴファイルを指定して下さい\n");
    EXPECT_TRUE(std::filesystem::exists(folder / "a.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder / "c.txt"));
    EXPECT_TRUE(std::filesystem::exists(folder / "d.txt"));
}

TEST(VarnoltCommand, AWriteThatFailsMidwayKeepsThePreviousOutput) {
    ScratchFolder folder;
    WriteFile(folder / "big.dat", ToneFile(600));
    WriteFile(folder / "small.dat", AnalysisFileBuilder().Trailer(30).Bytes());
    WriteFile(folder / "big.txt", "previous program\r\n");
    // The 115-byte program fits under the limit, the big one not.
    const ProcessResult run = Varnolt(folder, {"convert", "big.dat", "small.dat"}, 4096);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out, "small.dat: 終了しました\n");
    EXPECT_EQ(run.err, "big.dat: cannot write the program text: File too large\n");
    EXPECT_EQ(ReadFile(folder / "big.txt"), "previous program\r\n");
    EXPECT_EQ(ReadFile(folder / "small.txt").size(), 115u);
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        EXPECT_EQ(entry.path().filename().string().rfind(".varnolt-", 0), std::string::npos) << entry.path();
    }
}

TEST(VarnoltCommand, TheBundledExampleConvertsToItsStoredProgram) {
    ScratchFolder folder;
    std::filesystem::copy_file(VARNOLT_EXAMPLES_DIR "/glide.dat", folder / "glide.dat");
    const ProcessResult run = Varnolt(folder, {"convert", "glide.dat"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(ReadFile(folder / "glide.txt"), ReadFile(VARNOLT_EXAMPLES_DIR "/glide.txt"));
}

}  // namespace

// Many files in one call, and two processes racing on the same input.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "fixtures.h"
#include "process.h"

namespace {

using varnolt::testing::AnalysisFileBuilder;
using varnolt::testing::ChildProcess;
using varnolt::testing::ProcessResult;
using varnolt::testing::ReadFile;
using varnolt::testing::RunProcess;
using varnolt::testing::ScratchFolder;
using varnolt::testing::WriteFile;

std::string Sound(int frames, int seed) {
    AnalysisFileBuilder builder;
    for (int f = 0; f < frames; ++f) {
        auto partials = AnalysisFileBuilder::Uniform(0, 0);
        for (int p = 0; p < 8; ++p) partials[p] = {1000 + (seed * 7919 + f * 104729 + p * 1299709) % 60000, 300 + (seed * 31 + f * 53 + p * 977) % 40000};
        builder.Frame(partials);
    }
    return builder.Trailer(30).Bytes();
}

int CountLines(const std::string& text) { return static_cast<int>(std::count(text.begin(), text.end(), '\n')); }

// The lines that report a file's outcome, without the warnings about a written program
// (a few of these busy five-channel programs have a line too long for LOAD).
int CountOutcomeLines(const std::string& text) {
    int count = 0;
    for (std::size_t start = 0, end; start < text.size(); start = end + 1) {
        end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        if (text.substr(start, end - start).find(": warning: ") == std::string::npos) ++count;
    }
    return count;
}

// Files 0 .. count-1 in the folder: every fifth one bad in one of four ways.
std::vector<std::string> MakeBatch(const ScratchFolder& folder, int count, int& good) {
    std::vector<std::string> names;
    good = 0;
    for (int i = 0; i < count; ++i) {
        const std::string name = "f" + std::to_string(i) + ".dat";
        names.push_back(name);
        if (i % 5 != 4) {
            WriteFile(folder / name, Sound(30 + (i * 37) % 900, i));
            ++good;
            continue;
        }
        switch ((i / 5) % 4) {
            case 0: break;  // missing
            case 1: WriteFile(folder / name, ""); break;
            case 2: WriteFile(folder / name, AnalysisFileBuilder().Frames(3, 100, 4400).Trailer(25).Bytes()); break;
            case 3: std::filesystem::create_directory(folder / name); break;
        }
    }
    return names;
}

TEST(Load, AThousandFilesInOneCallWithFlatMemory) {
    [[maybe_unused]] long peakKb[2] = {};
    const int counts[2] = {10, 1000};
    for (int run = 0; run < 2; ++run) {
        ScratchFolder folder;
        int good = 0;
        const std::vector<std::string> names = MakeBatch(folder, counts[run], good);
        std::vector<std::string> command = {VARNOLT_COMMAND, "convert", "--channels", "5"};
        command.insert(command.end(), names.begin(), names.end());
        const ProcessResult result = RunProcess(command, {folder.Path().string()});
        EXPECT_EQ(result.status, 1);
        EXPECT_EQ(CountLines(result.out), good);
        EXPECT_EQ(CountOutcomeLines(result.err), counts[run] - good);
        for (int i = 0; i < counts[run]; ++i) {
            const bool isGood = i % 5 != 4;
            const std::string output = folder / ("f" + std::to_string(i) + ".txt");
            ASSERT_EQ(std::filesystem::exists(output), isGood) << output;
            if (isGood) {
                ASSERT_NE(result.out.find("f" + std::to_string(i) + ".dat: 終了しました\n"), std::string::npos);
            }
        }
        peakKb[run] = result.maxRssKb;
        std::printf("peak memory over %d files: %ld KiB in %.2f s\n", counts[run], result.maxRssKb, result.seconds);
    }
    // Nothing accumulates from file to file. (AddressSanitizer holds freed blocks in
    // quarantine, so only the plain build can tell.)
#ifndef __SANITIZE_ADDRESS__
    EXPECT_LT(peakKb[1], peakKb[0] + 2048);
#endif
}

TEST(Load, TwoProcessesOnTheSameInputNeverMixTheirOutput) {
    ScratchFolder folder;
    const std::string sound = Sound(3000, 1);
    // What each of the two conversions writes on its own.
    WriteFile(folder / "a.dat", sound);
    WriteFile(folder / "b.dat", sound);
    ASSERT_EQ(RunProcess({VARNOLT_COMMAND, "convert", "--volume", "40", "a.dat"}, {folder.Path().string()}).status, 0);
    ASSERT_EQ(RunProcess({VARNOLT_COMMAND, "convert", "--volume", "200", "b.dat"}, {folder.Path().string()}).status, 0);
    const std::string quiet = ReadFile(folder / "a.txt");
    const std::string loud = ReadFile(folder / "b.txt");
    ASSERT_NE(quiet, loud);

    WriteFile(folder / "x.dat", sound);
    int bothConverted = 0;
    for (int round = 0; round < 100; ++round) {
        ChildProcess first({VARNOLT_COMMAND, "convert", "--volume", "40", "x.dat"}, {folder.Path().string()});
        ChildProcess second({VARNOLT_COMMAND, "convert", "--volume", "200", "x.dat"}, {folder.Path().string()});
        const ProcessResult results[2] = {first.Wait(), second.Wait()};
        for (const ProcessResult& result : results) {
            // Converted, or refused while the other held the input: nothing else.
            ASSERT_TRUE((result.status == 0 && result.out == "終了しました\n") ||
                        (result.status == 1 && result.err == "ファイルをオープンできません\n"))
                << result.out << result.err;
        }
        bothConverted += results[0].status == 0 && results[1].status == 0;
        const std::string output = ReadFile(folder / "x.txt");
        ASSERT_TRUE(output == quiet || output == loud) << "round " << round << ": " << output.size() << " bytes";
    }
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        EXPECT_EQ(entry.path().filename().string().rfind(".varnolt-", 0), std::string::npos);
    }
    std::printf("rounds where both processes converted: %d of 100\n", bothConverted);
}

}  // namespace

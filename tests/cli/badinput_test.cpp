// Every bad input and system fault, through the real command: its message, and that no
// output appears and no earlier output changes.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>
#include <functional>

#include "fixtures.h"
#include "process.h"

namespace {

using varnolt::testing::AnalysisFileBuilder;
using varnolt::testing::ProcessResult;
using varnolt::testing::ReadFile;
using varnolt::testing::RunProcess;
using varnolt::testing::ScratchFolder;
using varnolt::testing::WriteFile;

const std::string kEarlier = "10 REM an earlier program\r\n";
const std::string kFinished = "終了しました\n";

std::string Mismatch(const std::string& code) { return "発音単位が違います （1/" + code + "秒）\n"; }

// A short, loud sound with the given partials in every frame, then the trailer.
std::string Frames(const std::array<varnolt::PartialEntry, 8>& partials, std::int32_t frameRateCode = 30, int count = 9) {
    AnalysisFileBuilder builder;
    for (int f = 0; f < count; ++f) builder.Frame(partials);
    return builder.Trailer(frameRateCode).Bytes();
}

std::string Tone(std::int32_t frameRateCode = 30, int count = 9) {
    return Frames({{{30000, 4400}, {20000, 6600}, {9000, 2200}, {5000, 13200}, {2000, 17600}, {0, 0}, {0, 0}, {0, 0}}},
                  frameRateCode, count);
}

// Held by this process while a case runs: another process's lock on the input.
int heldLock = -1;

struct Case {
    const char* what;
    std::function<void(const ScratchFolder&)> setUp;  // makes x.dat (and whatever else)
    std::string path = "x.dat";
    std::string unit = "30";
    std::string out;  // expected stdout
    std::string err;  // expected stderr
    rlim_t fileSizeLimit = RLIM_INFINITY;
};

void Write(const ScratchFolder& folder, const std::string& bytes) { WriteFile(folder / "x.dat", bytes); }

std::vector<Case> Cases() {
    using F = const ScratchFolder&;
    const std::string cannotOpen = "ファイルをオープンできません\n";
    return {
        {"empty file", [](F f) { Write(f, ""); }, "x.dat", "30", "", "データがありません\n"},
        {"63 bytes", [](F f) { Write(f, std::string(63, '\x30')); }, "x.dat", "30", "", "データがありません\n"},
        {"18001 records", [](F f) { Write(f, Tone(30, 18000)); }, "x.dat", "30", "", "データが大き過ぎます\n"},
        {"sparse 3 GiB",
         [](F f) {
             const int fd = ::open((f / "x.dat").c_str(), O_CREAT | O_WRONLY, 0644);
             ASSERT_EQ(::ftruncate(fd, 3LL << 30), 0);
             ::close(fd);
         },
         "x.dat", "30", "", "データが大き過ぎます\n"},
        {"folder named x.dat", [](F f) { std::filesystem::create_directory(f / "x.dat"); }, "x.dat", "30", "", cannotOpen},
        {"FIFO named x.dat", [](F f) { ASSERT_EQ(::mkfifo((f / "x.dat").c_str(), 0644), 0); }, "x.dat", "30", "", cannotOpen},
        {"symlink loop", [](F f) { std::filesystem::create_symlink("x.dat", f / "x.dat"); }, "x.dat", "30", "", cannotOpen},
        {"through a missing folder", [](F) {}, "nowhere/x.dat", "30", "", cannotOpen},
        {"missing file", [](F) {}, "x.dat", "30", "", "ファイルが見つかりません\n"},
        {"locked by another process",
         [](F f) {
             Write(f, Tone());
             heldLock = ::open((f / "x.dat").c_str(), O_RDONLY);
             ASSERT_EQ(::flock(heldLock, LOCK_EX), 0);
         },
         "x.dat", "30", "", cannotOpen},
        {"output name is a folder",
         [](F f) {
             Write(f, Tone());
             std::filesystem::remove(f / "x.txt");
             std::filesystem::create_directory(f / "x.txt");
         },
         "x.dat", "30", "", "ファイルを作成できませんでした\n"},
        {"write fails midway", [](F f) { Write(f, Tone(30, 600)); }, "x.dat", "30", "",
         "x.dat: cannot write the program text: File too large\n", 4096},
        {"trailer 30 at 1/60", [](F f) { Write(f, Tone(30)); }, "x.dat", "60", "", Mismatch("30")},
        {"trailer 15 at 1/20", [](F f) { Write(f, Tone(15)); }, "x.dat", "20", "", Mismatch("15")},
        {"trailer 25", [](F f) { Write(f, Tone(25)); }, "x.dat", "30", "", Mismatch("25")},
        {"trailer -5", [](F f) { Write(f, Tone(-5)); }, "x.dat", "30", "", Mismatch("-5")},
        {"trailer -1", [](F f) { Write(f, Tone(-1)); }, "x.dat", "15", "", Mismatch("-1")},
        {"trailer INT_MIN", [](F f) { Write(f, Tone(INT_MIN)); }, "x.dat", "30", "", Mismatch("-2147483648")},
        {"trailer INT_MAX", [](F f) { Write(f, Tone(INT_MAX)); }, "x.dat", "60", "", Mismatch("2147483647")},
        // Accepted inputs: the output replaces the earlier one.
        {"trailer 0", [](F f) { Write(f, Tone(0)); }, "x.dat", "15", kFinished, ""},
        {"trailer 20 at 1/20", [](F f) { Write(f, Tone(20)); }, "x.dat", "20", kFinished, ""},
        {"trailer 60 at 1/60", [](F f) { Write(f, Tone(60)); }, "x.dat", "60", kFinished, ""},
        {"negative levels",
         [](F f) {
             Write(f, Frames({{{-1, 4400}, {INT_MIN, 6600}, {-30000, 2200}, {100, 13200}, {-5, 0}, {0, 0}, {0, 0}, {0, 0}}}));
         },
         "x.dat", "30", kFinished, ""},
        {"zero, negative and huge frequencies",
         [](F f) {
             Write(f, Frames({{{30000, 0}, {30000, -4400}, {30000, INT_MIN}, {30000, INT_MAX}, {30000, 419749810},
                               {30000, 1}, {30000, -1}, {30000, 0}}}));
         },
         // Written as octave 0, which PLAY refuses: the check of the program says so.
         "x.dat", "30", kFinished,
         "warning: line 1000: PLAY string 2: octave O0 at character 14 is out of range 1-8\n"
         "warning: line 1000: PLAY string 3: octave O0 at character 14 is out of range 1-8\n"},
        {"all levels zero", [](F f) { Write(f, Frames(AnalysisFileBuilder::Uniform(0, 4400))); }, "x.dat", "30", kFinished, ""},
    };
}

// A program as the converter writes it: printable ASCII in CR LF lines after the header.
void ExpectWellFormedProgram(const std::string& program, const char* what) {
    EXPECT_EQ(program.rfind("10 _MUSIC(1,0,1,1,1,1,1)\r\n", 0), 0u) << what;
    ASSERT_GE(program.size(), 2u);
    EXPECT_EQ(program.substr(program.size() - 2), "\r\n") << what;
    for (std::size_t i = 0; i < program.size(); ++i) {
        const char c = program[i];
        const bool lineEnd = (c == '\r' && program[i + 1] == '\n') || (c == '\n' && i > 0 && program[i - 1] == '\r');
        ASSERT_TRUE(lineEnd || (c >= 0x20 && c < 0x7f)) << what << ": byte " << i;
    }
}

TEST(BadInput, EachCaseGivesItsMessageAndLeavesOutputsAlone) {
    for (const Case& c : Cases()) {
        ScratchFolder folder;
        WriteFile(folder / "x.txt", kEarlier);
        c.setUp(folder);
        const ProcessResult run = RunProcess({VARNOLT_COMMAND, "convert", "--unit", c.unit, c.path},
                                             {folder.Path().string(), c.fileSizeLimit, 10});
        if (heldLock >= 0) ::close(heldLock), heldLock = -1;

        const bool succeeded = c.out == kFinished;
        EXPECT_EQ(run.status, succeeded ? 0 : 1) << c.what;
        EXPECT_EQ(run.out, c.out) << c.what;
        EXPECT_EQ(run.err, c.err) << c.what;
        // Refused at once and without reading: no hang on a FIFO, no 3 GiB in memory.
        EXPECT_LT(run.seconds, 2.0) << c.what;
        EXPECT_LT(run.maxRssKb, 64 * 1024) << c.what;

        if (std::filesystem::is_regular_file(folder / "x.txt")) {
            if (succeeded) {
                ExpectWellFormedProgram(ReadFile(folder / "x.txt"), c.what);
            } else {
                EXPECT_EQ(ReadFile(folder / "x.txt"), kEarlier) << c.what;
            }
        } else {
            EXPECT_EQ(std::string(c.what), "output name is a folder");
            EXPECT_TRUE(std::filesystem::is_empty(folder / "x.txt"));
        }
        for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "x.dat" || name == "x.txt") << c.what << " left " << name;
        }
    }
}

}  // namespace

namespace {

// What the folder's and the file's permissions allow another user, here nobody.
TEST(BadInput, AnOutputTheUserMayNotReplaceIsLeftAlone) {
    if (::geteuid() != 0) GTEST_SKIP() << "needs root to run the command as another user";
    const uid_t nobody = 65534;
    // A copy nobody can run, wherever the build folder lies (/root is closed to others).
    ScratchFolder bin;
    ::chmod(bin.Path().c_str(), 0755);
    const std::string command = bin / "varnolt";
    std::filesystem::copy_file(VARNOLT_COMMAND, command);
    struct Case {
        const char* what;
        mode_t folderMode;
        bool earlierOutput;  // root's x.txt, mode 0644 or 0666
        mode_t outputMode;
        std::string err;
        std::string out;
    } cases[] = {
        {"root's read-only output", 0777, true, 0644, "ファイルを作成できませんでした\n", ""},
        {"writable output in a folder nobody may write", 0755, true, 0666, "ファイルを作成できませんでした\n", ""},
        {"root's output in a sticky folder", 01777, true, 0666, "ファイルを作成できませんでした\n", ""},
        {"new output in an open folder", 0777, false, 0, "", kFinished},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        Write(folder, Tone());
        if (c.earlierOutput) {
            WriteFile(folder / "x.txt", kEarlier);
            ::chmod((folder / "x.txt").c_str(), c.outputMode);
        }
        ::chmod(folder.Path().c_str(), c.folderMode);
        varnolt::testing::ProcessOptions options{folder.Path().string()};
        options.userId = nobody;
        const ProcessResult run = RunProcess({command, "convert", "x.dat"}, options);
        EXPECT_EQ(run.err, c.err) << c.what;
        EXPECT_EQ(run.out, c.out) << c.what;
        if (c.earlierOutput) {
            EXPECT_EQ(ReadFile(folder / "x.txt"), kEarlier) << c.what;
        }
        for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "x.dat" || name == "x.txt") << c.what << " left " << name;
        }
    }
}

}  // namespace

#include "driver.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <vector>

#include "fixtures.h"
#include "messages.h"
#include "worktables.h"

namespace varnolt {
namespace {

using testing::AnalysisFileBuilder;
using testing::ReadFile;
using testing::ScratchFolder;
using testing::WriteFile;

struct Message {
    std::string text;
    MessageKind kind;
    bool operator==(const Message&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Message& message) {
    return out << (message.kind == MessageKind::Warning ? "warning: " : "plain: ") << message.text;
}

ConversionInputs Inputs(const std::string& path, const std::string& volume = "100", int unit = 30, int channels = 4) {
    ConversionInputs inputs;
    inputs.pathText = path;
    inputs.volumeText = volume;
    inputs.unit15Selected = unit == 15;
    inputs.unit20Selected = unit == 20;
    inputs.unit30Selected = unit == 30;
    inputs.unit60Selected = unit == 60;
    inputs.ch4Selected = channels == 4;
    inputs.ch5Selected = channels == 5;
    return inputs;
}

// Runs one conversion and returns every message it showed.
std::vector<Message> Convert(const ConversionInputs& inputs) {
    std::vector<Message> shown;
    RunConversion(inputs, [&](const std::string& text, MessageKind kind) { shown.push_back({text, kind}); });
    EXPECT_EQ(PoolBlockCount(), 0) << "the pool is emptied at the end of every conversion";
    return shown;
}

std::vector<Message> Plain(std::string_view text) { return {{std::string(text), MessageKind::Plain}}; }
std::vector<Message> Warning(std::string_view text) { return {{std::string(text), MessageKind::Warning}}; }
const std::vector<Message> kFinished = Plain(messages::kFinished);

std::string Mismatch(const std::string& code) {
    return std::string(messages::kFrameRateMismatchPrefix) + code + std::string(messages::kFrameRateMismatchSuffix);
}

// A short sound: a tone at 440 Hz fading over twelve frames.
std::string SmallFile(std::int32_t frameRateCode = 30) {
    AnalysisFileBuilder builder;
    for (int f = 0; f < 12; ++f) {
        builder.Frame({{{30000 - 2000 * f, 4400}, {9000, 6600}, {4000, 2200}, {800, 13200}, {0, 0}, {50, 100}, {0, 0}, {0, 0}}});
    }
    return builder.Trailer(frameRateCode).Bytes();
}

// Folder entries other than the given names: no temporary file may stay behind.
std::vector<std::string> Leftovers(const ScratchFolder& folder, std::vector<std::string> expected) {
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path())) {
        const std::string name = entry.path().filename().string();
        if (std::find(expected.begin(), expected.end(), name) == expected.end()) left.push_back(name);
    }
    return left;
}

TEST(RunConversion, EveryOutcomeWithItsMessageAndBoxKind) {
    struct Case {
        const char* what;
        std::string file;     // written as x.dat unless empty
        std::string path;     // relative to the folder
        std::string volume;
        int unit;
        std::vector<Message> expected;
    } cases[] = {
        {"volume below 20", SmallFile(), "x.dat", "19", 30, Warning(messages::kVolumeOutOfRange)},
        {"volume above 200", SmallFile(), "x.dat", "201", 30, Warning(messages::kVolumeOutOfRange)},
        {"not a number", SmallFile(), "x.dat", "abc", 30, Warning(messages::kVolumeOutOfRange)},
        {"a wrong volume hides a wrong name", "", "song.wav", "300", 30, Warning(messages::kVolumeOutOfRange)},
        {"not a .dat name", SmallFile(), "x.wav", "100", 30, Warning(messages::kNotADatFile)},
        {"a wrong name hides a missing file", "", "missing.wav", "100", 30, Warning(messages::kNotADatFile)},
        {"empty path", "", "", "100", 30, Warning(messages::kNotADatFile)},
        {"no such file", "", "missing.dat", "100", 30, Plain(messages::kFileNotFound)},
        {"through a missing folder", "", "nowhere/x.dat", "100", 30, Plain(messages::kCannotOpen)},
        {"empty file", std::string(), "x.dat", "100", 30, Plain(messages::kNoData)},
        {"63 bytes", std::string(63, '\1'), "x.dat", "100", 30, Plain(messages::kNoData)},
        {"18001 records", AnalysisFileBuilder().Frames(18000, 1, 4400).Trailer(30).Bytes(), "x.dat", "100", 30,
         Plain(messages::kTooMuchData)},
        {"trailer 30 at 1/60", SmallFile(30), "x.dat", "100", 60, Plain(Mismatch("30"))},
        {"trailer 25", SmallFile(25), "x.dat", "100", 30, Plain(Mismatch("25"))},
        {"trailer -5", SmallFile(-5), "x.dat", "100", 15, Plain(Mismatch("-5"))},
        {"trailer -1", SmallFile(-1), "x.dat", "100", 20, Plain(Mismatch("-1"))},
        {"a bad trailer hides nothing before it", SmallFile(25), "x.dat", "10", 30, Warning(messages::kVolumeOutOfRange)},
        {"success", SmallFile(), "x.dat", "100", 30, kFinished},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        const bool hasFile = std::string(c.what) != "no such file" && c.path != "nowhere/x.dat" && c.path != "" &&
                             c.path != "song.wav" && c.path != "missing.wav";
        if (hasFile) WriteFile(folder / c.path, c.file);
        EXPECT_EQ(Convert(Inputs(c.path.empty() ? "" : folder / c.path, c.volume, c.unit)), c.expected) << c.what;
        const bool succeeded = c.expected == kFinished;
        EXPECT_EQ(std::filesystem::exists(folder / "x.txt"), succeeded) << c.what;
        EXPECT_EQ(Leftovers(folder, {"x.dat", "x.txt", "x.wav"}), std::vector<std::string>()) << c.what;
    }
}

// The program reaches the caller once, as its file holds it and before the message; a
// conversion that writes nothing shows it nothing.
TEST(RunConversion, HandsOverTheWrittenProgramBeforeItsMessageAndOnlyThen) {
    const struct Case {
        const char* what;
        std::string name;
        std::string volume;
        int unit;
        bool outputIsAFolder;
    } cases[] = {
        {"success", "x.dat", "100", 30, false},
        {"volume out of range", "x.dat", "19", 30, false},
        {"not a .dat name", "x.wav", "100", 30, false},
        {"no such file", "missing.dat", "100", 30, false},
        {"frame rate mismatch", "x.dat", "100", 60, false},
        {"output cannot be created", "x.dat", "100", 30, true},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        WriteFile(folder / "x.dat", SmallFile());
        WriteFile(folder / "x.wav", SmallFile());
        if (c.outputIsAFolder) std::filesystem::create_directory(folder / "x.txt");
        std::vector<std::string> events;
        RunConversion(
            Inputs(folder / c.name, c.volume, c.unit),
            [&](const std::string& text, MessageKind) { events.push_back("message " + text); },
            [&](std::string_view program) { events.push_back("program " + std::string(program)); });
        ASSERT_FALSE(events.empty()) << c.what;
        if (std::string(c.what) == "success") {
            EXPECT_EQ(events, (std::vector<std::string>{"program " + ReadFile(folder / "x.txt"),
                                                         "message " + std::string(messages::kFinished)}));
        } else {
            EXPECT_EQ(events.size(), 1u) << c.what;
            EXPECT_EQ(events[0].rfind("message ", 0), 0u) << c.what;
        }
    }
}

TEST(RunConversion, VolumeTextIsReadAsTheDialogReadsIt) {
    const std::pair<std::string, bool> cases[] = {
        {"20", true},     {"200", true},   {"19", false},  {"201", false}, {" 150", true},  {"\t150", true},
        {"+20", true},    {"100abc", true}, {"-20", false}, {"abc", false}, {"", false},     {"１００", false},
        {"0100", true},   {"+-20", false}, {"99999999999", false},
        // Wraps to 100 if read into 32 bits without care.
        {"4294967396", false},
    };
    ScratchFolder folder;
    WriteFile(folder / "x.dat", SmallFile());
    for (const auto& [volume, accepted] : cases) {
        EXPECT_EQ(Convert(Inputs(folder / "x.dat", volume)),
                  accepted ? kFinished : Warning(messages::kVolumeOutOfRange))
            << "volume '" << volume << "'";
    }
}

TEST(RunConversion, VolumeChangesTheProgram) {
    ScratchFolder folder;
    WriteFile(folder / "x.dat", SmallFile());
    ASSERT_EQ(Convert(Inputs(folder / "x.dat", "20")), kFinished);
    const std::string quiet = ReadFile(folder / "x.txt");
    ASSERT_EQ(Convert(Inputs(folder / "x.dat", "200")), kFinished);
    EXPECT_NE(ReadFile(folder / "x.txt"), quiet);
}

TEST(RunConversion, PathIsTrimmedAndTheOutputNamedBesideTheInput) {
    struct Case {
        std::string input;     // the file on disk
        std::string pathText;  // what the user typed, relative to the folder
        std::string output;
    } cases[] = {
        {"voice.dat", "voice.dat  ", "voice.txt"},
        {"voice.dat", "voice.dat\t\r\n", "voice.txt"},
        {"VOICE.DAT", "VOICE.DAT", "VOICE.txt"},
        {"Voice.Dat", "Voice.Dat", "Voice.txt"},
        {"mydat", "mydat", "mydat.txt"},
        {"dat", "dat", "dat.txt"},
        {"sub/dat", "sub/dat", "sub/dat.txt"},
        {"声.dat", "声.dat ", "声.txt"},
    };
    for (const Case& c : cases) {
        ScratchFolder folder;
        std::filesystem::create_directories((folder.Path() / c.input).parent_path());
        WriteFile(folder / c.input, SmallFile());
        EXPECT_EQ(Convert(Inputs(folder / c.pathText)), kFinished) << c.pathText;
        EXPECT_TRUE(std::filesystem::exists(folder / c.output)) << c.pathText;
    }
    // A relative path is taken from the current folder.
    ScratchFolder folder;
    WriteFile(folder / "dat", SmallFile());
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(folder.Path());
    EXPECT_EQ(Convert(Inputs("dat")), kFinished);
    std::filesystem::current_path(previous);
    EXPECT_TRUE(std::filesystem::exists(folder / "dat.txt"));
    EXPECT_FALSE(std::filesystem::exists(folder / ".txt"));
}

TEST(RunConversion, RecordCountsAtTheLimits) {
    ScratchFolder folder;
    const std::string path = folder / "x.dat";
    // A trailer alone: no frame, only the three set-up lines.
    WriteFile(path, AnalysisFileBuilder().Trailer(30).Bytes());
    ASSERT_EQ(Convert(Inputs(path)), kFinished);
    EXPECT_EQ(ReadFile(folder / "x.txt").size(), 115u);

    const std::string largest = AnalysisFileBuilder().Frames(17999, 1000, 4400).Trailer(30).Bytes();
    ASSERT_EQ(largest.size(), 1152000u);
    WriteFile(path, largest);
    ASSERT_EQ(Convert(Inputs(path, "100", 30, 5)), kFinished);
    const std::string program = ReadFile(folder / "x.txt");
    EXPECT_NE(program.find("\r\n30990 PLAY#2,"), std::string::npos);

    // 63 bytes after the last record are ignored; the trailer is the last whole record.
    WriteFile(path, AnalysisFileBuilder().Frames(17999, 1000, 4400).Trailer(30).ExtraBytes(63).Bytes());
    ASSERT_EQ(Convert(Inputs(path, "100", 30, 5)), kFinished);
    EXPECT_EQ(ReadFile(folder / "x.txt"), program);
}

TEST(RunConversion, FrameRateCodeZeroPassesEverySelection) {
    ScratchFolder folder;
    WriteFile(folder / "x.dat", SmallFile(0));
    const std::pair<int, std::string> units[] = {{15, "T60"}, {20, "T80"}, {30, "T120"}, {60, "T240"}};
    for (const auto& [unit, tempo] : units) {
        EXPECT_EQ(Convert(Inputs(folder / "x.dat", "100", unit)), kFinished);
        EXPECT_NE(ReadFile(folder / "x.txt").find("\"@63" + tempo + "L60"), std::string::npos) << unit;
    }
    // Called without any unit selected: 1/30 s, as the dialog starts.
    WriteFile(folder / "x.dat", SmallFile(30));
    EXPECT_EQ(Convert(Inputs(folder / "x.dat", "100", 0)), kFinished);
    EXPECT_NE(ReadFile(folder / "x.txt").find("\"@63T120L60"), std::string::npos);
}

TEST(RunConversion, ChannelButtonsGiveTheChannelCount) {
    ScratchFolder folder;
    WriteFile(folder / "x.dat", SmallFile());
    struct Case {
        bool ch4, ch5;
        int strings;
    } cases[] = {{false, false, 3}, {true, false, 4}, {false, true, 5}, {true, true, 5}};
    for (const Case& c : cases) {
        ConversionInputs inputs = Inputs(folder / "x.dat");
        inputs.ch4Selected = c.ch4;
        inputs.ch5Selected = c.ch5;
        ASSERT_EQ(Convert(inputs), kFinished);
        const std::string program = ReadFile(folder / "x.txt");
        const std::string firstLine = program.substr(115, program.find("\r\n", 115) - 115);
        EXPECT_EQ(std::count(firstLine.begin(), firstLine.end(), '"'), 2 * c.strings);
    }
}

TEST(RunConversion, SameInputsGiveTheSameFileAndReplaceALongerOne) {
    ScratchFolder folder;
    WriteFile(folder / "x.dat", SmallFile());
    WriteFile(folder / "x.txt", std::string(100000, 'z'));
    ASSERT_EQ(Convert(Inputs(folder / "x.dat")), kFinished);
    const std::string first = ReadFile(folder / "x.txt");
    // A larger conversion in between must leave nothing behind in the shared tables.
    WriteFile(folder / "big.dat", AnalysisFileBuilder().Frames(3000, 500, 9000).Trailer(30).Bytes());
    ASSERT_EQ(Convert(Inputs(folder / "big.dat", "150", 60, 5)), Plain(Mismatch("30")));
    ASSERT_EQ(Convert(Inputs(folder / "big.dat", "150", 30, 5)), kFinished);
    ASSERT_EQ(Convert(Inputs(folder / "x.dat")), kFinished);
    EXPECT_EQ(ReadFile(folder / "x.txt"), first);
    EXPECT_EQ(first.find('z'), std::string::npos);
    EXPECT_LT(first.size(), 1000u);
}

TEST(RunConversion, NegativeLevelsAreSilence) {
    ScratchFolder folder;
    std::string withNegative = SmallFile();
    std::string withZero = withNegative;
    // Level of partial 1 of frame 3.
    StoreInt32(reinterpret_cast<std::uint8_t*>(withNegative.data()) + 3 * 64 + 8, -2147483647 - 1);
    StoreInt32(reinterpret_cast<std::uint8_t*>(withZero.data()) + 3 * 64 + 8, 0);
    WriteFile(folder / "n.dat", withNegative);
    WriteFile(folder / "z.dat", withZero);
    ASSERT_EQ(Convert(Inputs(folder / "n.dat", "100", 30, 5)), kFinished);
    ASSERT_EQ(Convert(Inputs(folder / "z.dat", "100", 30, 5)), kFinished);
    EXPECT_EQ(ReadFile(folder / "n.txt"), ReadFile(folder / "z.txt"));
}

TEST(RunConversion, InputsThatAreNotPlainReadableFiles) {
    ScratchFolder folder;
    std::filesystem::create_directory(folder / "folder.dat");
    ASSERT_EQ(::mkfifo((folder / "fifo.dat").c_str(), 0600), 0);
    std::filesystem::create_symlink(folder / "loop.dat", folder / "loop.dat");
    // A sparse 3 GiB file is refused from its size, without being read.
    {
        const int fd = ::open((folder / "huge.dat").c_str(), O_CREAT | O_WRONLY, 0600);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, 3LL << 30), 0);
        ::close(fd);
    }
    // 18000 records and 64 bytes: too large before any record is counted.
    WriteFile(folder / "justover.dat", std::string(1152064, '\0'));
    const std::pair<std::string, std::string_view> cases[] = {
        {"folder.dat", messages::kCannotOpen},
        {"fifo.dat", messages::kCannotOpen},
        {"loop.dat", messages::kCannotOpen},
        {"huge.dat", messages::kTooMuchData},
        {"justover.dat", messages::kTooMuchData},
    };
    for (const auto& [name, message] : cases) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(Convert(Inputs(folder / name)), Plain(message)) << name;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2)) << name;
    }
    EXPECT_EQ(Leftovers(folder, {"folder.dat", "fifo.dat", "loop.dat", "huge.dat", "justover.dat"}),
              std::vector<std::string>());
}

TEST(RunConversion, AFileThatReadsShortIsAReadError) {
    // A sysfs attribute claims 4096 bytes and gives a handful: a real short read.
    const std::string shortFile = "/sys/devices/system/cpu/online";
    struct stat status {};
    if (::stat(shortFile.c_str(), &status) != 0 || status.st_size <= 64) GTEST_SKIP() << "no " << shortFile;
    ScratchFolder folder;
    std::filesystem::create_symlink(shortFile, folder / "x.dat");
    EXPECT_EQ(Convert(Inputs(folder / "x.dat")), Plain(messages::kReadError));
    EXPECT_FALSE(std::filesystem::exists(folder / "x.txt"));
}

TEST(RunConversion, AFileLockedByAnotherOpenIsRefused) {
    ScratchFolder folder;
    WriteFile(folder / "x.dat", SmallFile());
    const int holder = ::open((folder / "x.dat").c_str(), O_RDONLY);
    ASSERT_GE(holder, 0);
    ASSERT_EQ(::flock(holder, LOCK_EX), 0);
    EXPECT_EQ(Convert(Inputs(folder / "x.dat")), Plain(messages::kCannotOpen));
    EXPECT_FALSE(std::filesystem::exists(folder / "x.txt"));
    ::close(holder);
    EXPECT_EQ(Convert(Inputs(folder / "x.dat")), kFinished);
}

TEST(RunConversion, AnOutputThatCannotBeCreatedLeavesEverythingAsItWas) {
    ScratchFolder folder;
    WriteFile(folder / "x.dat", SmallFile());
    std::filesystem::create_directory(folder / "x.txt");
    WriteFile(folder / "x.txt/keep", "mine");
    EXPECT_EQ(Convert(Inputs(folder / "x.dat")), Plain(messages::kCannotCreate));
    EXPECT_EQ(ReadFile(folder / "x.txt/keep"), "mine");
    EXPECT_EQ(Leftovers(folder, {"x.dat", "x.txt"}), std::vector<std::string>());
}

TEST(RunConversion, OutputKeepsThePermissionsOfTheFileItReplaces) {
    ScratchFolder folder;
    WriteFile(folder / "x.dat", SmallFile());
    WriteFile(folder / "x.txt", "old");
    ::chmod((folder / "x.txt").c_str(), 0640);
    ASSERT_EQ(Convert(Inputs(folder / "x.dat")), kFinished);
    struct stat status {};
    ASSERT_EQ(::stat((folder / "x.txt").c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    // A link is written through, as opening it would.
    std::filesystem::rename(folder / "x.txt", folder / "real.txt");
    std::filesystem::create_symlink("real.txt", folder / "x.txt");
    WriteFile(folder / "real.txt", "old");
    ASSERT_EQ(Convert(Inputs(folder / "x.dat")), kFinished);
    EXPECT_TRUE(std::filesystem::is_symlink(folder / "x.txt"));
    EXPECT_NE(ReadFile(folder / "real.txt"), "old");
}

}  // namespace
}  // namespace varnolt

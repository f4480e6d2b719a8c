// Whole conversions of arbitrary analysis files. Byte 0 picks the volume text, byte 1
// the unit buttons (bits 0-3: 1/15, 1/20, 1/30, 1/60) and the channel buttons (bit 4:
// ch4, bit 5: ch5); the rest is the file. The outcome is predicted from the bytes and
// the written program is checked line by line and by `varnolt check`, which must read all
// of it, then made again after a conversion that fills every work table, and must come
// out the same.
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "driver.h"
#include "fuzzsupport.h"
#include "messages.h"
#include "programcheck.h"

namespace {

using fuzzsupport::Require;
namespace messages = varnolt::messages;

struct VolumeCase {
    std::string_view text;
    bool accepted;
};

// Sixteen entries, so byte 0 picks one without bias.
constexpr std::array<VolumeCase, 16> kVolumes = {{
    {"100", true},        {"20", true},         {"200", true},    {"19", false},
    {"201", false},       {"+20", true},        {" 150", true},   {"abc", false},
    {"", false},          {"100abc", true},     {"-20", false},   {"\t60", true},
    {"4294967396", false}, {"2147483648", false}, {"0", false},    {"050", true},
}};

constexpr std::string_view kHeader =
    "10 _MUSIC(1,0,1,1,1,1,1)\r\n"
    "20 DEFINTT:DIMT(15):T(8)=&H3F22:T(9)=&HF0:T(12)=&H22:T(13)=&HFF0\r\n"
    "30 _VOICE COPY(T,@63)\r\n";
constexpr std::size_t kLargestProgram = 806240;
constexpr std::size_t kRecordBytes = 64;
constexpr std::size_t kMaxRecords = 18000;

std::string folder;
std::string inputPath;
std::string outputPath;
std::string busyPath;

void RemoveScratchFolder() {
    for (const std::string& name : fuzzsupport::FolderEntries(folder)) ::unlink((folder + "/" + name).c_str());
    ::rmdir(folder.c_str());
}

// 200 frames, more than any input here reaches, with all eight partials loud and moving,
// so that it leaves something in every row a later conversion could read.
void WriteBusyFile() {
    constexpr std::size_t kFrames = 200;
    std::vector<std::uint8_t> bytes((kFrames + 1) * kRecordBytes, 0);
    auto store = [&](std::size_t offset, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    for (std::size_t f = 0; f < kFrames; ++f) {
        for (std::size_t p = 0; p < 8; ++p) {
            store(f * kRecordBytes + p * 8, 1000 + (f * 37 + p * 101) % 60000);
            store(f * kRecordBytes + p * 8 + 4, 500 + (f * 53 + p * 211) % 20000);
        }
    }
    fuzzsupport::WriteWholeFile(busyPath, bytes.data(), bytes.size());
}


std::int32_t ReadInt32Le(const std::uint8_t* p) {
    return static_cast<std::int32_t>(std::uint32_t{p[0]} | std::uint32_t{p[1]} << 8 | std::uint32_t{p[2]} << 16 |
                                     std::uint32_t{p[3]} << 24);
}

// The last button set wins; none means 1/30.
int ChosenFramesPerSecond(const varnolt::ConversionInputs& in) {
    if (in.unit60Selected) return 60;
    if (in.unit30Selected) return 30;
    if (in.unit20Selected) return 20;
    if (in.unit15Selected) return 15;
    return 30;
}

int ChosenChannelCount(const varnolt::ConversionInputs& in) {
    if (in.ch5Selected) return 5;
    if (in.ch4Selected) return 4;
    return 3;
}

void CheckProgram(const std::string& program, int frameCount, int channelCount, int framesPerSecond) {
    Require(program.size() <= kLargestProgram, "program larger than the largest possible");
    Require(program.compare(0, kHeader.size(), kHeader) == 0, "program does not start with the set-up lines");
    Require(program.size() >= 2 && program.compare(program.size() - 2, 2, "\r\n") == 0,
            "program does not end with CR LF");
    for (std::size_t i = 0; i < program.size(); ++i) {
        const char c = program[i];
        if (c == '\r') {
            Require(i + 1 < program.size() && program[i + 1] == '\n', "CR without LF");
        } else if (c == '\n') {
            Require(i > 0 && program[i - 1] == '\r', "LF without CR");
        } else {
            Require(c >= 0x20 && c <= 0x7e, "byte outside printable ASCII");
        }
    }

    // One statement per six frames, numbered from 1000 in tens, one string per channel.
    const std::string tempo = "@63T" + std::to_string(4 * framesPerSecond) + "L60";
    std::size_t position = kHeader.size();
    int lineCount = 0;
    while (position < program.size()) {
        const std::size_t end = program.find("\r\n", position);
        const std::string_view line(program.data() + position, end - position);
        const std::string lead = std::to_string(1000 + 10 * lineCount) + " PLAY#2,";
        Require(line.substr(0, lead.size()) == lead, "statement number or keyword wrong", line);
        std::string_view rest = line.substr(lead.size());
        for (int k = 0; k < channelCount; ++k) {
            if (k > 0) {
                Require(!rest.empty() && rest[0] == ',', "channel strings not separated by a comma", line);
                rest.remove_prefix(1);
            }
            Require(rest.size() >= 2 && rest[0] == '"', "channel string does not open with a quote", line);
            const std::size_t close = rest.find('"', 1);
            Require(close != std::string_view::npos, "channel string not closed", line);
            const std::string_view body = rest.substr(1, close - 1);
            if (lineCount == 0) Require(body.substr(0, tempo.size()) == tempo, "first statement lacks the tempo", line);
            Require(!body.empty(), "empty channel string", line);
            rest.remove_prefix(close + 1);
        }
        Require(rest.empty(), "more channel strings than channels", line);
        ++lineCount;
        position = end + 2;
    }
    Require(lineCount == (frameCount + 5) / 6, "statement count does not match the frame count");

    // What the check may find in a converted program: a line too long for LOAD and an
    // octave out of PLAY's range, nothing it cannot read.
    for (const varnolt::cli::ProgramFinding& finding : varnolt::cli::CheckProgramText(program)) {
        const std::string& message = finding.message;
        const bool expected = message.rfind("the line is ", 0) == 0 || message.find(": octave O") != std::string::npos ||
                              message.find(" the octave to ") != std::string::npos;
        Require(expected, "the check does not read the program as written", varnolt::cli::FindingText(finding));
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    folder = fuzzsupport::MakeScratchFolder("varnolt-fuzz-conversion");
    inputPath = folder + "/in.dat";
    outputPath = folder + "/in.txt";
    busyPath = folder + "/busy.dat";
    std::atexit(RemoveScratchFolder);
    WriteBusyFile();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return -1;
    const VolumeCase& volume = kVolumes[data[0] % kVolumes.size()];
    varnolt::ConversionInputs inputs;
    inputs.pathText = inputPath;
    inputs.volumeText = std::string(volume.text);
    inputs.unit15Selected = (data[1] & 0x01) != 0;
    inputs.unit20Selected = (data[1] & 0x02) != 0;
    inputs.unit30Selected = (data[1] & 0x04) != 0;
    inputs.unit60Selected = (data[1] & 0x08) != 0;
    inputs.ch4Selected = (data[1] & 0x10) != 0;
    inputs.ch5Selected = (data[1] & 0x20) != 0;
    const std::uint8_t* file = data + 2;
    const std::size_t fileSize = size - 2;

    fuzzsupport::WriteWholeFile(inputPath, file, fileSize);
    ::unlink(outputPath.c_str());

    const auto shown = fuzzsupport::ConvertOnce(inputs);
    const std::string& message = shown.first;

    // The outcome the file's size and trailer call for.
    const std::size_t records = fileSize / kRecordBytes;
    const int framesPerSecond = ChosenFramesPerSecond(inputs);
    std::string expected;
    if (!volume.accepted) {
        expected = messages::kVolumeOutOfRange;
    } else if (records == 0) {
        expected = messages::kNoData;
    } else if (records > kMaxRecords) {
        expected = messages::kTooMuchData;
    } else {
        const std::int32_t code = ReadInt32Le(file + (records - 1) * kRecordBytes + 60);
        if (code != 0 && code != framesPerSecond) {
            expected = std::string(messages::kFrameRateMismatchPrefix) + std::to_string(code) +
                       std::string(messages::kFrameRateMismatchSuffix);
        } else {
            expected = messages::kFinished;
        }
    }
    Require(message == expected, "unexpected message", message);
    const bool warning = shown.second == varnolt::MessageKind::Warning;
    Require(warning == !volume.accepted, "wrong message kind");

    const auto program = fuzzsupport::ReadWholeFile(outputPath);
    Require(program.has_value() == (message == messages::kFinished), "program written without success, or success without a program");
    if (program) {
        CheckProgram(*program, static_cast<int>(records) - 1, ChosenChannelCount(inputs), framesPerSecond);

        // Nothing an earlier conversion left in the work tables may show in the program.
        varnolt::ConversionInputs busy;
        busy.pathText = busyPath;
        busy.volumeText = "200";
        busy.ch5Selected = true;
        Require(fuzzsupport::ConvertOnce(busy).first == messages::kFinished, "the busy file did not convert");
        Require(fuzzsupport::ConvertOnce(inputs).first == messages::kFinished, "second conversion of the same file failed");
        Require(fuzzsupport::ReadWholeFile(outputPath) == program, "program depends on the conversion before it");
    }
    for (const std::string& name : fuzzsupport::FolderEntries(folder)) {
        Require(name == "in.dat" || name == "in.txt" || name == "busy.dat" || name == "busy.txt",
                "stray file in the scratch folder", name);
    }
    return 0;
}

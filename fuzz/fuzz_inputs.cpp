// The dialog's raw texts. The input up to its first NUL is the volume text, the rest the
// path text with every '/' made '_', so that all file activity stays in the scratch
// folder, which holds a few files whose names the fuzzer can reach.
#include <unistd.h>

#include <array>
#include <cerrno>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "driver.h"
#include "fuzzsupport.h"
#include "messages.h"

namespace {

using fuzzsupport::Require;
namespace messages = varnolt::messages;

std::string folder;

// Four of them hold the same small valid file (frame-rate code 30), e.dat is empty.
constexpr std::array<std::string_view, 4> kValidFiles = {"x.dat", "X.DAT", "dat", "mydat"};
constexpr std::string_view kEmptyFile = "e.dat";
constexpr std::array<std::string_view, 5> kOutputs = {"x.txt", "X.txt", "dat.txt", "mydat.txt", "e.txt"};

std::set<std::string> SeededNames() {
    std::set<std::string> names(kValidFiles.begin(), kValidFiles.end());
    names.emplace(kEmptyFile);
    return names;
}

void RemoveScratchFolder() {
    for (const std::string& name : fuzzsupport::FolderEntries(folder)) ::unlink((folder + "/" + name).c_str());
    ::rmdir(folder.c_str());
}

// Three frames of two partials and the trailer.
std::vector<std::uint8_t> SmallAnalysisFile() {
    std::vector<std::uint8_t> bytes(4 * 64, 0);
    auto store = [&](std::size_t offset, std::uint32_t value) {
        for (int i = 0; i < 4; ++i) bytes[offset + i] = static_cast<std::uint8_t>(value >> (8 * i));
    };
    for (std::size_t f = 0; f < 3; ++f) {
        store(f * 64 + 0, 20000 + 5000 * f);
        store(f * 64 + 4, 4400);
        store(f * 64 + 8, 9000);
        store(f * 64 + 12, 6600 + 100 * f);
    }
    store(3 * 64 + 60, 30);
    return bytes;
}

// The C library's reading of a decimal number, kept only when it fits in 32 bits.
std::optional<std::int32_t> ReferenceVolume(const std::string& text) {
    errno = 0;
    const long long value = std::strtoll(text.c_str(), nullptr, 10);
    if (errno == ERANGE || value < INT_MIN || value > INT_MAX) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

void CheckOutputPath(const std::string& path) {
    const std::string output = varnolt::OutputPathFor(path);
    const std::string stem = fuzzsupport::EndsWithAsciiCaseless(path, ".dat") ? path.substr(0, path.size() - 4) : path;
    Require(output == stem + ".txt", "output path is not the input's stem with .txt", output);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    folder = fuzzsupport::MakeScratchFolder("varnolt-fuzz-inputs");
    if (::chdir(folder.c_str()) != 0) fuzzsupport::Fail("cannot enter the scratch folder", folder);
    const std::vector<std::uint8_t> valid = SmallAnalysisFile();
    for (std::string_view name : kValidFiles) fuzzsupport::WriteWholeFile(std::string(name), valid.data(), valid.size());
    fuzzsupport::WriteWholeFile(std::string(kEmptyFile), nullptr, 0);
    std::atexit(RemoveScratchFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::size_t nul = input.find('\0');
    varnolt::ConversionInputs inputs;
    inputs.volumeText = std::string(input.substr(0, nul));
    if (nul != std::string_view::npos) inputs.pathText = std::string(input.substr(nul + 1));
    for (char& c : inputs.pathText) {
        if (c == '/') c = '_';
    }
    inputs.unit30Selected = true;
    inputs.ch4Selected = true;

    const std::optional<std::int32_t> volume = varnolt::ReadVolumeText(inputs.volumeText);
    Require(volume == ReferenceVolume(inputs.volumeText), "volume read differently from strtoll", inputs.volumeText);
    const bool volumeAccepted = volume && *volume >= 20 && *volume <= 200;

    const std::string path = varnolt::TrimPathText(inputs.pathText);
    Require(inputs.pathText.compare(0, path.size(), path) == 0, "trimmed path is not a prefix of the path text");
    Require(path.empty() || !fuzzsupport::IsAsciiWhiteSpace(path.back()), "trimmed path ends in white space");
    for (std::size_t i = path.size(); i < inputs.pathText.size(); ++i) {
        Require(fuzzsupport::IsAsciiWhiteSpace(inputs.pathText[i]), "trimming removed more than white space");
    }
    const bool nameAccepted = fuzzsupport::EndsWithAsciiCaseless(path, "dat");
    CheckOutputPath(inputs.pathText);
    CheckOutputPath(path);

    // Only a conversion that gets past both checks touches the folder: start it clean.
    const bool reachesFiles = volumeAccepted && nameAccepted;
    if (reachesFiles) {
        for (std::string_view name : kOutputs) ::unlink(std::string(name).c_str());
    }

    const auto shown = fuzzsupport::ConvertOnce(inputs);
    const std::string& message = shown.first;
    const bool warning = shown.second == varnolt::MessageKind::Warning;

    if (!volumeAccepted) {
        Require(message == messages::kVolumeOutOfRange && warning, "volume warning expected", message);
        return 0;
    }
    if (!nameAccepted) {
        Require(message == messages::kNotADatFile && warning, "name warning expected", message);
        return 0;
    }
    Require(!warning, "a warning after both checks passed", message);

    std::set<std::string> expectedEntries = SeededNames();
    const bool seededValid = path == kValidFiles[0] || path == kValidFiles[1] || path == kValidFiles[2] ||
                             path == kValidFiles[3];
    if (path.find('\0') != std::string::npos) {
        Require(message == messages::kCannotOpen, "a path with a NUL must not open", message);
    } else if (seededValid) {
        Require(message == messages::kFinished, "seeded file did not convert", message);
        expectedEntries.insert(varnolt::OutputPathFor(path));
    } else if (path == kEmptyFile) {
        Require(message == messages::kNoData, "empty file not reported as without data", message);
    } else if (path.size() > NAME_MAX) {
        Require(message == messages::kCannotOpen || message == messages::kFileNotFound,
                "over-long name neither unopenable nor missing", message);
    } else {
        Require(message == messages::kFileNotFound, "absent file not reported missing", message);
    }
    const std::set<std::string> entries = fuzzsupport::FolderEntries(folder);
    for (const std::string& name : entries) {
        Require(expectedEntries.count(name) == 1, "unexpected file in the scratch folder", name);
    }
    Require(entries.size() == expectedEntries.size(), "a seeded file or the output is missing");
    return 0;
}

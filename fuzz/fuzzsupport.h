// What both fuzz targets share: a private scratch folder, whole-file reads and writes,
// and a check that ends the run (so libFuzzer keeps the input) when it fails.
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "driver.h"

namespace fuzzsupport {

[[noreturn]] inline void Fail(const char* what, std::string_view detail = {}) {
    std::fprintf(stderr, "invariant broken: %s", what);
    if (!detail.empty()) std::fprintf(stderr, " [%.*s]", static_cast<int>(detail.size()), detail.data());
    std::fprintf(stderr, "\n");
    std::abort();
}

inline void Require(bool condition, const char* what, std::string_view detail = {}) {
    if (!condition) Fail(what, detail);
}

// One conversion, which must show exactly one message and meet no system error.
inline std::pair<std::string, varnolt::MessageKind> ConvertOnce(const varnolt::ConversionInputs& inputs) {
    std::vector<std::pair<std::string, varnolt::MessageKind>> shown;
    try {
        varnolt::RunConversion(inputs, [&](const std::string& text, varnolt::MessageKind kind) {
            shown.emplace_back(text, kind);
        });
    } catch (const std::system_error& error) {
        Fail("system error on a healthy disk", error.what());
    }
    Require(shown.size() == 1, "not exactly one message");
    return shown[0];
}

// tmpfs where there is one: the targets write a file on every run.
inline std::string MakeScratchFolder(const char* prefix) {
    struct stat status {};
    const bool shm = ::stat("/dev/shm", &status) == 0 && S_ISDIR(status.st_mode) && ::access("/dev/shm", W_OK) == 0;
    std::string folder = std::string(shm ? "/dev/shm/" : "/tmp/") + prefix + "-XXXXXX";
    if (::mkdtemp(folder.data()) == nullptr) Fail("cannot create the scratch folder", folder);
    return folder;
}

inline void WriteWholeFile(const std::string& path, const void* bytes, std::size_t count) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(static_cast<const char*>(bytes), static_cast<std::streamsize>(count));
    out.close();
    if (!out) Fail("cannot write a fuzz input file", path);
}

inline std::optional<std::string> ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return std::nullopt;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::set<std::string> FolderEntries(const std::string& folder) {
    std::set<std::string> names;
    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) Fail("cannot list the scratch folder", folder);
    while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") names.insert(name);
    }
    ::closedir(dir);
    return names;
}

inline bool IsAsciiWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

inline bool EndsWithAsciiCaseless(std::string_view text, std::string_view lowerEnding) {
    if (text.size() < lowerEnding.size()) return false;
    text.remove_prefix(text.size() - lowerEnding.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        const char lower = c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
        if (lower != lowerEnding[i]) return false;
    }
    return true;
}

}  // namespace fuzzsupport

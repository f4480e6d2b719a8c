// Small analysis files built in memory, and scratch folders for the file tests.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "analysisfile.h"

namespace varnolt::testing {

// Analysis file bytes: frames of eight (level, frequency) partials, then a trailer.
class AnalysisFileBuilder {
public:
    AnalysisFileBuilder& Frame(const std::array<PartialEntry, 8>& partials) {
        for (const PartialEntry& partial : partials) {
            Int32(partial.level);
            Int32(partial.frequency);
        }
        return *this;
    }
    // Frames whose partial k has the given level and frequency field, k < count.
    AnalysisFileBuilder& Frames(int count, std::int32_t level, std::int32_t frequency) {
        for (int f = 0; f < count; ++f) Frame(Uniform(level, frequency));
        return *this;
    }
    AnalysisFileBuilder& Trailer(std::int32_t frameRateCode) {
        bytes_.append(60, '\x5a');  // never read: anything may stand there
        Int32(frameRateCode);
        return *this;
    }
    AnalysisFileBuilder& ExtraBytes(int count) {
        bytes_.append(static_cast<std::size_t>(count), '\x7f');
        return *this;
    }
    const std::string& Bytes() const { return bytes_; }

    static std::array<PartialEntry, 8> Uniform(std::int32_t level, std::int32_t frequency) {
        std::array<PartialEntry, 8> partials{};
        partials.fill(PartialEntry{level, frequency});
        return partials;
    }

private:
    void Int32(std::int32_t value) {
        std::uint8_t raw[4];
        StoreInt32(raw, value);
        bytes_.append(reinterpret_cast<const char*>(raw), 4);
    }
    std::string bytes_;
};

// A fresh folder under the system's temporary folder, removed with everything in it.
class ScratchFolder {
public:
    ScratchFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "varnolt-test-XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    std::string operator/(const std::string& name) const { return (path_ / name).string(); }
    const std::filesystem::path& Path() const { return path_; }

private:
    std::filesystem::path path_;
};

inline void WriteFile(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

inline std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace varnolt::testing

#include "driver.h"

#include <cctype>

#include "analysisfile.h"
#include "messages.h"
#include "mmlwriter.h"
#include "quantise.h"
#include "scales.h"
#include "tracking.h"
#include "worktables.h"

namespace varnolt {

namespace {

bool IsSingleByteWhiteSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool EndsWithIgnoringAsciiCase(std::string_view text, std::string_view ending) {
    if (text.size() < ending.size()) return false;
    const std::string_view tail = text.substr(text.size() - ending.size());
    for (std::size_t i = 0; i < ending.size(); ++i) {
        const char c = tail[i];
        const char lower = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
        if (lower != ending[i]) return false;
    }
    return true;
}

int ChannelCountOf(const ConversionInputs& inputs) {
    int channelCount = 3;
    if (inputs.ch4Selected) channelCount = 4;
    if (inputs.ch5Selected) channelCount = 5;
    return channelCount;
}

// The last selected button wins; none selected (only when called without the dialog)
// means the dialog's default, 1/30 s.
int FramesPerSecondOf(const ConversionInputs& inputs) {
    int framesPerSecond = 30;
    if (inputs.unit15Selected) framesPerSecond = 15;
    if (inputs.unit20Selected) framesPerSecond = 20;
    if (inputs.unit30Selected) framesPerSecond = 30;
    if (inputs.unit60Selected) framesPerSecond = 60;
    return framesPerSecond;
}

// Steps from loading to writing; the text to show, empty on success.
std::string ConvertAnalysisFile(const std::string& path, const ConversionOptions& options,
                                const ProgramWrittenFunction& programWritten) {
    int frameCount = 0;
    std::string message = PrepareNotes(path, options, frameCount);
    if (!message.empty()) return message;
    const int textLength = WriteMmlProgram(frameCount, options.channelCount, options.framesPerSecond);
    message = WriteTextFile(TextBuffer.data(), textLength, OutputPathFor(path));
    if (message.empty() && programWritten) {
        programWritten(std::string_view(TextBuffer.data(), static_cast<std::size_t>(textLength)));
    }
    return message;
}

}  // namespace

std::string PrepareNotes(const std::string& path, const ConversionOptions& options, int& frameCount) {
    frameCount = 0;
    std::uint8_t* image = nullptr;
    std::int32_t fileLength = 0;
    std::string message = LoadAnalysisFile(path, kZeroTailBytes, image, fileLength);
    if (!message.empty()) return message;

    // Bytes after the last whole record are ignored.
    const int recordCount = fileLength / kRecordBytes;
    if (recordCount == 0) return std::string(messages::kNoData);
    if (recordCount > kMaxRecords) return std::string(messages::kTooMuchData);

    const std::int32_t frameRateCode =
        LoadInt32(image + static_cast<std::ptrdiff_t>(recordCount - 1) * kRecordBytes + kFrameRateCodeOffset);
    if (frameRateCode != 0 && frameRateCode != options.framesPerSecond) {
        return std::string(messages::kFrameRateMismatchPrefix) + std::to_string(frameRateCode) +
               std::string(messages::kFrameRateMismatchSuffix);
    }

    const NormalisedLevels levels = NormaliseLevels(image, recordCount);
    BuildPitchTable(image, levels.frameCount, options.channelCount);
    BuildLogLevelTable();
    BuildPermutationTable(options.channelCount);
    TrackChannels(image, levels.frameCount, options.channelCount);
    BuildLevelAndFrequencyTables(image, levels.frameCount, levels.levelDivisor);
    QuantiseNotesAndVolumes(levels.frameCount, options.volumePercent);
    frameCount = levels.frameCount;
    return {};
}

std::optional<std::int32_t> ReadVolumeText(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && IsSingleByteWhiteSpace(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    std::int64_t value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 2147483648LL) return std::nullopt;
    }
    if (negative) value = -value;
    if (value > 2147483647LL) return std::nullopt;
    return static_cast<std::int32_t>(value);
}

std::string TrimPathText(std::string_view pathText) {
    // Trail bytes of double-byte characters are never white space, so this cannot cut one.
    std::size_t end = pathText.size();
    while (end > 0 && IsSingleByteWhiteSpace(pathText[end - 1])) --end;
    return std::string(pathText.substr(0, end));
}

bool NamesADatFile(std::string_view path) { return EndsWithIgnoringAsciiCase(path, "dat"); }

std::string OutputPathFor(const std::string& path, std::string_view extension) {
    const std::string_view kept =
        EndsWithIgnoringAsciiCase(path, ".dat") ? std::string_view(path).substr(0, path.size() - 4) : path;
    // Cutting four bytes off "mydat" would name another file, possibly in another folder.
    return std::string(kept) + std::string(extension);
}

void RunConversion(const ConversionInputs& inputs, const ShowMessageFunction& showMessage,
                   const ProgramWrittenFunction& programWritten) {
    ConversionOptions options;
    options.channelCount = ChannelCountOf(inputs);

    const std::optional<std::int32_t> volume = ReadVolumeText(inputs.volumeText);
    if (!volume || *volume < kLowestVolume || *volume > kHighestVolume) {
        showMessage(std::string(messages::kVolumeOutOfRange), MessageKind::Warning);
        return;
    }
    options.volumePercent = *volume;

    const std::string path = TrimPathText(inputs.pathText);
    if (!NamesADatFile(path)) {
        showMessage(std::string(messages::kNotADatFile), MessageKind::Warning);
        return;
    }
    options.framesPerSecond = FramesPerSecondOf(inputs);

    std::string message = ConvertAnalysisFile(path, options, programWritten);
    PoolAlloc(0);
    if (message.empty()) message = messages::kFinished;
    showMessage(message, MessageKind::Plain);
}

}  // namespace varnolt

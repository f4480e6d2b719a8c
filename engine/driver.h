// The Convert command: from the dialog's raw inputs to the written program and the one
// message that reports the outcome.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace varnolt {

// The dialog's inputs, all of them raw.
struct ConversionInputs {
    std::string pathText;    // path field, bytes as typed or browsed
    std::string volumeText;  // volume field, as typed
    bool unit15Selected = false;
    bool unit20Selected = false;
    bool unit30Selected = false;
    bool unit60Selected = false;
    bool ch4Selected = false;  // neither ch4 nor ch5: three channels
    bool ch5Selected = false;
};

inline constexpr std::int32_t kLowestVolume = 20;  // percent
inline constexpr std::int32_t kHighestVolume = 200;

struct ConversionOptions {
    std::int32_t volumePercent = 100;   // 20 .. 200
    std::int32_t framesPerSecond = 30;  // 15, 20, 30 or 60
    std::int32_t channelCount = 4;      // 3, 4 or 5
};

enum class MessageKind {
    Warning,  // exclamation icon: the two input checks
    Plain,    // no icon: every other outcome, success included
};

// Shows one modal message and returns when it is dismissed.
using ShowMessageFunction = std::function<void(const std::string& text, MessageKind kind)>;

// Sees the bytes of a program once its file holds them; they stay valid until the next
// conversion starts.
using ProgramWrittenFunction = std::function<void(std::string_view program)>;

// One press of the convert button: ends in exactly one call of showMessage, except when
// the operating system fails a read, write or close after a successful open; that
// std::system_error leaves this function and no message is shown. A conversion that
// succeeds calls programWritten, if given, before its message.
void RunConversion(const ConversionInputs& inputs, const ShowMessageFunction& showMessage,
                   const ProgramWrittenFunction& programWritten = nullptr);

// Loads the analysis file, checks it and runs every stage before the writer: on success
// NoteVolumeTable holds what the program plays and LevelTable and FrequencyTable the
// partials it comes from, for frameCount frames. Returns the text to show, empty on
// success; the loaded image stays in the block pool until the caller's PoolAlloc(0).
std::string PrepareNotes(const std::string& path, const ConversionOptions& options, int& frameCount);

// The volume field read as the C library's atoi would, but with no overflow: leading
// white space, one sign, digits up to the first non-digit, no digit giving 0. nullopt
// when the digits leave the 32-bit range.
std::optional<std::int32_t> ReadVolumeText(std::string_view text);

// The path without the single-byte white space at its end.
std::string TrimPathText(std::string_view pathText);

// The name check of the path field: it must end in "dat", in any case.
bool NamesADatFile(std::string_view path);

// The output beside the input: ".dat" (any case) replaced by the extension; a path that
// ends in "dat" without the dot keeps its whole name and gets the extension appended.
std::string OutputPathFor(const std::string& path, std::string_view extension = ".txt");

}  // namespace varnolt

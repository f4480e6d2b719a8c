#include "mmlwriter.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <string_view>

#include "worktables.h"

namespace varnolt {

namespace {

constexpr std::string_view kStatement = " PLAY#2,";

// Tempo 4 x frames per second with L60: one note without a length lasts one frame.
constexpr std::string_view TempoHeader(int framesPerSecond) {
    switch (framesPerSecond) {
        case 15: return "@63T60L60";
        case 20: return "@63T80L60";
        case 30: return "@63T120L60";
        default: return "@63T240L60";
    }
}

// Rn lasts 60/n frames: the token for a run of 1 .. 6 rest frames.
constexpr std::array<std::string_view, 7> kRestTokens = {"", "R60", "R30", "R20", "R15", "R12", "R10"};

constexpr int kFramesPerLine = 6;
constexpr int kFirstLineNumber = 1000;
constexpr int kLineNumberStep = 10;

void Append(char*& position, std::string_view text) {
    // std::copy, not memcpy: the empty tempo header has no data pointer at all.
    position = std::copy(text.begin(), text.end(), position);
}

// What carries over the whole text, per channel: the last volume and octave written.
struct ChannelState {
    int lastVolume = 0;
    int lastOctave = -10;
};

void WriteNote(char*& position, ChannelState& channel, int note, int volume) {
    if (volume != channel.lastVolume) {
        *position++ = 'V';
        AppendDecimal(position, volume);
    }
    channel.lastVolume = volume;
    const int octave = note / 12;
    if (octave == channel.lastOctave + 1) {
        *position++ = '>';
    } else if (octave == channel.lastOctave - 1) {
        *position++ = '<';
    } else if (octave != channel.lastOctave) {
        *position++ = 'O';
        // Octaves 10 and up run on past '9' in ASCII (':' for 10).
        *position++ = static_cast<char>('0' + octave);
    }
    channel.lastOctave = octave;
    // One or two bytes, stored as two without a call: after a one-byte name the second
    // store is overwritten by the tie.
    const std::string_view name = kNoteNames[note % 12];
    position[0] = name.front();
    position[1] = name.back();
    position += name.size();
    *position++ = '&';
}

void WriteChannelString(char*& position, ChannelState& channel, int channelIndex, int firstFrame,
                        std::string_view tempoHeader) {
    int restRun = 0;
    char* restStart = position;
    *position++ = '"';
    Append(position, tempoHeader);
    for (int f = firstFrame; f < firstFrame + kFramesPerLine; ++f) {
        const std::uint8_t* pair = &NoteVolumeTable[static_cast<std::size_t>(f) * kNoteVolumeFrameBytes + channelIndex * 2];
        if (pair[1] > 0) {
            WriteNote(position, channel, pair[0], pair[1]);
            restRun = 0;
        } else {
            // A run of rests leaves one token: the new one overwrites the previous.
            if (restRun > 0) position = restStart;
            ++restRun;
            restStart = position;
            Append(position, kRestTokens[restRun]);
        }
    }
    *position++ = '"';
}

}  // namespace

void AppendDecimal(char*& position, std::int32_t value) {
    char digits[16] = {};
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    const auto length = std::min<std::ptrdiff_t>(result.ptr - digits, 10);
    // A copy of fixed size needs no call; what lies past the digits is overwritten next.
    std::memcpy(position, digits, 10);
    position += length;
}

int WriteMmlProgram(int frameCount, int channelCount, int framesPerSecond) {
    char* const start = TextBuffer.data();
    // A statement line takes at most 5 + 8 + 5 x 51 bytes, and its tempo headers 50 more.
    const int lineCount = (frameCount + kFramesPerLine - 1) / kFramesPerLine;
    PrefaultForWriting(start, kProgramSetUpLines.size() + static_cast<std::size_t>(lineCount) * 268 + 50);
    char* position = start;
    Append(position, kProgramSetUpLines);
    std::array<ChannelState, kNoteVolumeChannels> channels{};
    int lineNumber = kFirstLineNumber;
    for (int firstFrame = 0; firstFrame < frameCount; firstFrame += kFramesPerLine) {
        AppendDecimal(position, lineNumber);
        Append(position, kStatement);
        const std::string_view tempoHeader = firstFrame == 0 ? TempoHeader(framesPerSecond) : std::string_view();
        for (int j = 0; j < channelCount; ++j) {
            WriteChannelString(position, channels[j], j, firstFrame, tempoHeader);
            *position++ = ',';
        }
        --position;  // CR takes the place of the last comma
        *position++ = '\r';
        *position++ = '\n';
        lineNumber += kLineNumberStep;
    }
    return static_cast<int>(position - start);
}

}  // namespace varnolt

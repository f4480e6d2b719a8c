#include "programscore.h"

#include <array>

#include "mmlreader.h"
#include "mmlwriter.h"

namespace varnolt::cli {

namespace {

constexpr int kVoiceModelled = 63;
constexpr double kTicksPerWholeNoteAtT1 = 14400;  // 60 ticks a second, 4 quarters a minute at T1
constexpr std::array<int, 7> kSemitoneOfLetter = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G

struct ChannelState {
    int octave = 4;
    int length = 4;
    int lengthDots = 0;  // "L4." dots every note that takes the default length
    double ticks = 0;    // played so far
    int tempo = 120;
    int volume = 8;
    int voice = 0;
    bool toldAboutVoice = false;
    audio::ChannelScore score;
};

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
    return text;
}

bool StartsWithIgnoringCase(std::string_view text, std::string_view prefix) {
    if (text.size() < prefix.size()) return false;
    for (std::size_t i = 0; i < prefix.size(); ++i) {
        const char c = text[i] >= 'a' && text[i] <= 'z' ? static_cast<char>(text[i] - 'a' + 'A') : text[i];
        if (c != prefix[i]) return false;
    }
    return true;
}

// The quoted strings of "PLAY#2,"a",,"b"" after the keyword (an empty argument leaves its
// channel idle); false when it is not that.
bool ReadPlayStrings(std::string_view statement, std::vector<std::string_view>& strings) {
    if (!StartsWithIgnoringCase(statement, "PLAY")) return false;
    statement = TrimSpaces(statement.substr(4));
    if (!statement.starts_with("#")) return false;
    statement = TrimSpaces(statement.substr(1));
    if (!statement.starts_with("2")) return false;
    statement = TrimSpaces(statement.substr(1));
    while (!statement.empty()) {
        if (!statement.starts_with(",")) return false;
        statement = TrimSpaces(statement.substr(1));
        if (statement.empty() || statement.starts_with(",")) {
            strings.emplace_back();
            continue;
        }
        if (!statement.starts_with("\"")) return false;
        const std::size_t close = statement.find('"', 1);
        if (close == std::string_view::npos) return false;
        strings.push_back(statement.substr(1, close - 1));
        statement = TrimSpaces(statement.substr(close + 1));
    }
    return !strings.empty();
}

class ScoreReader {
public:
    explicit ScoreReader(std::int64_t maxTicks) : maxTicks_(static_cast<double>(maxTicks)) {}

    ProgramScore Read(std::string_view text) {
        bool playing = false;
        std::size_t start = 0;
        while (start < text.size()) {
            std::size_t end = text.find('\n', start);
            if (end == std::string_view::npos) end = text.size();
            std::string_view line = text.substr(start, end - start);
            start = end + 1;
            if (line.ends_with('\r')) line.remove_suffix(1);
            if (const std::size_t mark = line.find('\x1a'); mark != std::string_view::npos) {
                line = line.substr(0, mark);  // the end mark of a DOS text
                start = text.size();
            }
            if (TrimSpaces(line).empty()) continue;
            ReadLine(TrimSpaces(line), playing);
            if (tooLong_) break;
        }
        for (ChannelState& state : states_) result_.channels.push_back(std::move(state.score));
        return std::move(result_);
    }

private:
    void ReadLine(std::string_view line, bool& playing) {
        std::size_t digits = 0;
        while (digits < line.size() && line[digits] >= '0' && line[digits] <= '9') ++digits;
        line_ = std::string(line.substr(0, digits));
        if (digits == 0) return Problem("a line without a line number cannot be played");
        const std::string_view statement = TrimSpaces(line.substr(digits));

        std::vector<std::string_view> strings;
        if (ReadPlayStrings(statement, strings)) {
            if (!playing && setUpLines_ != 3) {
                Problem("the set-up lines before the first PLAY are not the converter's, which define voice 63, "
                        "the one voice the preview models");
            }
            playing = true;
            for (std::size_t k = 0; k < strings.size(); ++k) ReadString(k, strings[k]);
            return;
        }
        if (!playing && setUpLines_ < 3 && line == SetUpLine(setUpLines_)) {
            ++setUpLines_;
            return;
        }
        if (StartsWithIgnoringCase(statement, "PLAY")) {
            return Problem("only a line of one PLAY #2 statement with quoted strings can be played");
        }
        Problem(playing ? "only PLAY #2 statements can be played after the set-up lines"
                        : "only the converter's set-up lines can come before the first PLAY");
    }

    static std::string_view SetUpLine(int index) {
        std::string_view lines = kProgramSetUpLines;
        for (int i = 0; i < index; ++i) lines = lines.substr(lines.find('\n') + 1);
        return lines.substr(0, lines.find('\r'));
    }

    void ReadString(std::size_t k, std::string_view text) {
        if (states_.size() <= k) states_.resize(k + 1);
        ChannelState& channel = states_[k];
        const std::string where = "PLAY string " + std::to_string(k + 1) + ": ";
        const MmlReading reading = ReadMml(text);
        if (reading.unreadableAt) {
            Problem(where + "cannot read what starts at character " + std::to_string(*reading.unreadableAt + 1));
        }
        for (const MmlCommand& command : reading.commands) {
            switch (command.letter) {
                case 'O': channel.octave = command.number; break;
                case '>': ++channel.octave; break;
                case '<': --channel.octave; break;
                case 'L':
                    channel.length = command.number;
                    channel.lengthDots = command.dots;
                    break;
                case 'T': channel.tempo = command.number; break;
                case 'V': channel.volume = command.number; break;
                case '@':
                    channel.voice = command.number;
                    if (channel.voice != kVoiceModelled) {
                        Problem(where + "voice @" + std::to_string(channel.voice) +
                                " is not modelled, only @63 as the set-up lines define it");
                    }
                    break;
                case '&':
                    if (!channel.score.empty() && channel.score.back().note >= 0) channel.score.back().tied = true;
                    break;
                default: AddNoteOrRest(channel, command, where); break;
            }
            if (tooLong_) return;
        }
    }

    void AddNoteOrRest(ChannelState& channel, const MmlCommand& command, const std::string& where) {
        const int length = command.number >= 0 ? command.number : channel.length;
        const int dots = command.number >= 0 || command.dots > 0 ? command.dots : channel.lengthDots;
        if (length <= 0 || channel.tempo <= 0) {
            return Problem(where + "a length of 0 or a tempo of 0 cannot be played");
        }
        audio::ChannelEvent event;
        event.ticks = kTicksPerWholeNoteAtT1 / (static_cast<double>(length) * channel.tempo);
        // Each dot adds half of what the previous part added.
        double part = event.ticks;
        for (int d = 0; d < dots; ++d) event.ticks += part /= 2;
        event.volume = channel.volume;
        if (command.letter != 'R') {
            if (channel.voice != kVoiceModelled && !channel.toldAboutVoice) {
                channel.toldAboutVoice = true;
                Problem(where + "a note before @63 would play voice @" + std::to_string(channel.voice) +
                        ", which is not modelled");
            }
            event.note = channel.octave * 12 + kSemitoneOfLetter[command.letter - 'A'] + command.accidental;
        }
        channel.score.push_back(event);
        channel.ticks += event.ticks;
        if (channel.ticks > maxTicks_) {
            tooLong_ = true;
            Problem(where + "the program plays for more than the " + std::to_string(static_cast<long>(maxTicks_ / 3600)) +
                    " minutes a preview renders");
        }
    }

    void Problem(const std::string& message) { result_.problems.push_back("line " + line_ + ": " + message); }

    double maxTicks_;
    bool tooLong_ = false;
    ProgramScore result_;
    std::vector<ChannelState> states_;
    int setUpLines_ = 0;
    std::string line_;
};

}  // namespace

ProgramScore ScoreOfProgram(std::string_view text, std::int64_t maxTicks) { return ScoreReader(maxTicks).Read(text); }

}  // namespace varnolt::cli

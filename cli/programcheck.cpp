#include "programcheck.h"

#include <algorithm>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace varnolt::cli {

namespace {

constexpr int kHighestLineNumber = 65529;  // MSX-BASIC takes no higher line number
constexpr char kEndOfText = '\x1a';        // the end mark of an MSX-DOS text
constexpr int kStartingOctave = 4;         // PLAY's octave before any O
constexpr std::size_t kLongestShownStatement = 40;

// The PLAY #2 ranges, each under the name a message gives the command.
struct Range {
    std::string_view name;
    int low;
    int high;
};
constexpr Range kOctave{"octave", 1, 8};
constexpr Range kLength{"length", 1, 64};
constexpr Range kRest{"rest", 1, 64};
constexpr Range kNoteLength{"note length", 1, 64};
constexpr Range kTempo{"tempo", 32, 255};
constexpr Range kVolume{"volume", 0, 15};
constexpr Range kVoice{"voice", 0, 63};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == '\x7f'; }
char ToUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Nearly every line has none: blocks of a fixed size, without an early exit and in plain
// arithmetic, which the compiler turns into a few vector steps even at -O2.
bool HasControlByte(std::string_view text) {
    constexpr std::size_t kBlock = 32;
    const auto isControl = [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return static_cast<unsigned>(byte < 0x20) | static_cast<unsigned>(byte == 0x7f);
    };
    unsigned found = 0;
    std::size_t i = 0;
    for (; i + kBlock <= text.size(); i += kBlock) {
        for (std::size_t j = 0; j < kBlock; ++j) found |= isControl(text[i + j]);
    }
    for (; i < text.size(); ++i) found |= isControl(text[i]);
    return found != 0;
}

// Bytes as a message shows them: printable ASCII as it is, any other byte as \xNN, so
// that what a file holds never reaches a terminal raw.
std::string Shown(std::string_view bytes) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string shown;
    for (const char c : bytes) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte >= 0x20 && byte < 0x7f) {
            shown += c;
        } else {
            shown += "\\x";
            shown += kHex[byte >> 4];
            shown += kHex[byte & 0xF];
        }
    }
    return shown;
}

std::string ShownShortened(std::string_view bytes) {
    if (bytes.size() <= kLongestShownStatement) return Shown(bytes);
    return Shown(bytes.substr(0, kLongestShownStatement)) + "...";
}

std::string At(std::size_t index) { return " at character " + std::to_string(index + 1); }

void SkipSpaces(std::string_view text, std::size_t& position) {
    while (position < text.size() && text[position] == ' ') ++position;
}

std::string_view TrimSpaces(std::string_view text) {
    std::size_t start = 0;
    SkipSpaces(text, start);
    std::size_t end = text.size();
    while (end > start && text[end - 1] == ' ') --end;
    return text.substr(start, end - start);
}

// A run of digits from position on. The value stops growing at a million, far above
// every range, so that no run of digits overflows.
struct Number {
    bool present = false;
    int value = 0;
};

Number ReadNumber(std::string_view text, std::size_t& position) {
    Number number;
    while (position < text.size() && IsDigit(text[position])) {
        number.present = true;
        number.value = std::min(number.value * 10 + (text[position] - '0'), 1'000'000);
        ++position;
    }
    return number;
}

bool IsAllDigits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), IsDigit);
}

// BASIC keywords are read in any case, as MSX-BASIC reads them when it LOADs a text.
bool StartsWithKeyword(std::string_view text, std::string_view keyword, std::string_view& rest) {
    if (text.size() < keyword.size()) return false;
    for (std::size_t i = 0; i < keyword.size(); ++i) {
        if (ToUpper(text[i]) != keyword[i]) return false;
    }
    rest = text.substr(keyword.size());
    return true;
}

// A variable with an optional subscript: "T", "A1$", "T(8)", "T(I+1, 2)".
bool ReadVariable(std::string_view text, std::size_t& position) {
    SkipSpaces(text, position);
    if (position >= text.size() || !IsLetter(text[position])) return false;
    while (position < text.size() && (IsLetter(text[position]) || IsDigit(text[position]))) ++position;
    if (position < text.size() && (text[position] == '$' || text[position] == '%' || text[position] == '!' ||
                                   text[position] == '#')) {
        ++position;
    }
    SkipSpaces(text, position);
    if (position >= text.size() || text[position] != '(') return true;
    int depth = 0;
    for (; position < text.size(); ++position) {
        const char c = text[position];
        if (c == '"') return false;
        if (c == '(') ++depth;
        if (c == ')' && --depth == 0) {
            ++position;
            return true;
        }
    }
    return false;
}

// "T", "A-Z", "A,I-N": what DEFINT and its kin take.
bool IsLetterList(std::string_view text) {
    std::size_t position = 0;
    while (true) {
        SkipSpaces(text, position);
        if (position >= text.size() || !IsLetter(text[position++])) return false;
        SkipSpaces(text, position);
        if (position < text.size() && text[position] == '-') {
            ++position;
            SkipSpaces(text, position);
            if (position >= text.size() || !IsLetter(text[position++])) return false;
            SkipSpaces(text, position);
        }
        if (position >= text.size()) return true;
        if (text[position++] != ',') return false;
    }
}

bool IsVariableList(std::string_view text) {
    std::size_t position = 0;
    while (true) {
        if (!ReadVariable(text, position)) return false;
        SkipSpaces(text, position);
        if (position >= text.size()) return true;
        if (text[position++] != ',') return false;
    }
}

// "T(8)=&H3F22": the value is not read further than that it is there.
bool IsAssignment(std::string_view text) {
    std::size_t position = 0;
    if (!ReadVariable(text, position)) return false;
    SkipSpaces(text, position);
    if (position >= text.size() || text[position++] != '=') return false;
    return !TrimSpaces(text.substr(position)).empty();
}

// The statements besides PLAY and BEEP that this check knows; their values are not read.
bool IsReadableStatement(std::string_view text) {
    std::string_view rest;
    if (text[0] == '_') return text.size() > 1 && IsLetter(text[1]);
    if (StartsWithKeyword(text, "CALL", rest)) return !TrimSpaces(rest).empty() && IsLetter(TrimSpaces(rest)[0]);
    for (const std::string_view keyword : {"DEFINT", "DEFSNG", "DEFDBL", "DEFSTR"}) {
        if (StartsWithKeyword(text, keyword, rest)) return IsLetterList(rest);
    }
    if (StartsWithKeyword(text, "DIM", rest)) return IsVariableList(rest);
    if (StartsWithKeyword(text, "LET", rest)) return IsAssignment(rest);
    if (StartsWithKeyword(text, "GOTO", rest) || StartsWithKeyword(text, "GOSUB", rest)) {
        return IsAllDigits(TrimSpaces(rest));
    }
    if (StartsWithKeyword(text, "RETURN", rest)) return TrimSpaces(rest).empty() || IsAllDigits(TrimSpaces(rest));
    for (const std::string_view keyword : {"END", "STOP", "CLS"}) {
        if (StartsWithKeyword(text, keyword, rest)) return TrimSpaces(rest).empty();
    }
    return IsLetter(text[0]) && IsAssignment(text);
}

// The statements of a line after its number: split at colons outside strings, up to a
// comment (REM, or ' outside a string). A string runs to its closing quote or to the end
// of the line, as in BASIC.
void SplitStatements(std::string_view text, std::vector<std::string_view>& statements) {
    statements.clear();
    std::size_t start = 0;
    while (true) {
        std::size_t first = start;
        SkipSpaces(text, first);
        std::string_view ignored;
        if (first < text.size() && (text[first] == '\'' || StartsWithKeyword(text.substr(first), "REM", ignored))) {
            return;
        }
        std::size_t end = start;
        while (end < text.size() && text[end] != ':' && text[end] != '\'') {
            if (text[end] == '"') {
                end = text.find('"', end + 1);  // a string is passed over whole
                if (end == std::string_view::npos) end = text.size();
            }
            ++end;
        }
        end = std::min(end, text.size());
        statements.push_back(text.substr(start, end - start));
        if (end >= text.size() || text[end] == '\'') return;
        start = end + 1;
    }
}

}  // namespace

// The check of one line after another; what carries over from line to line is the octave
// of each PLAY string.
class ProgramTextChecker::Lines {
public:
    // One line without its LF.
    void Check(std::string_view line) {
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++physicalLine_;
        lineNumber_ = -1;
        CheckLine(line);
    }
    std::vector<ProgramFinding> TakeFindings() { return std::move(findings_); }

private:
    // The statement is named only in a line of several; the texts are made only for a finding.
    void Report(std::string message) {
        if (statementCount_ > 1) message.insert(0, "statement " + std::to_string(statement_) + ": ");
        findings_.push_back({physicalLine_, lineNumber_, std::move(message)});
    }
    void ReportInString(const std::string& message) { Report(StringName() + ": " + message); }
    std::string StringName() const { return "PLAY string " + std::to_string(playString_); }

    void CheckLine(std::string_view line) {
        std::size_t position = 0;
        SkipSpaces(line, position);
        const std::size_t numberStart = position;
        const Number number = ReadNumber(line, position);
        if (number.present && number.value <= kHighestLineNumber) lineNumber_ = number.value;

        if (line.size() > kLongestLoadedLine) {
            Report("the line is " + std::to_string(line.size()) +
                   " characters long (CR LF not counted); LOAD keeps only the first " +
                   std::to_string(kLongestLoadedLine));
            findings_.back().lineTooLong = true;
        }
        if (TrimSpaces(line).empty()) return;  // an empty line adds nothing to the program
        if (HasControlByte(line)) {
            const auto control = std::find_if(line.begin(), line.end(), IsControl);
            Report("control byte " + Shown(std::string_view(&*control, 1)) +
                   At(static_cast<std::size_t>(control - line.begin())) + ": LOAD may not read the line as it stands");
            return;
        }
        if (!number.present) {
            Report("no line number at the start of the line");
            return;
        }
        if (lineNumber_ < 0) {
            Report("line number " + std::string(line.substr(numberStart, position - numberStart)) +
                   " is out of range 0-" + std::to_string(kHighestLineNumber));
            return;
        }
        SplitStatements(line.substr(position), statements_);
        statementCount_ = statements_.size();
        for (statement_ = 1; statement_ <= statementCount_; ++statement_) {
            CheckStatement(statements_[statement_ - 1]);
        }
        statementCount_ = 0;
    }

    void CheckStatement(std::string_view statement) {
        const std::string_view text = TrimSpaces(statement);
        if (text.empty()) return;
        std::string_view rest;
        if (StartsWithKeyword(text, "PLAY", rest)) {
            CheckPlay(rest);
            return;
        }
        if (StartsWithKeyword(text, "BEEP", rest) && TrimSpaces(rest).empty()) {
            octaves_.clear();  // BEEP sets every MML value back to its default
            return;
        }
        if (!IsReadableStatement(text)) Report("cannot read the statement '" + ShownShortened(text) + "'");
    }

    // PLAY [#device,] [string] [, [string]]...: every argument empty or a quoted string.
    void CheckPlay(std::string_view arguments) {
        std::size_t position = 0;
        SkipSpaces(arguments, position);
        int device = 0;
        if (position < arguments.size() && arguments[position] == '#') {
            ++position;
            SkipSpaces(arguments, position);
            const Number number = ReadNumber(arguments, position);
            SkipSpaces(arguments, position);
            if (!number.present || position >= arguments.size() || arguments[position] != ',') {
                Report("cannot read the PLAY statement: '#' is not followed by a device number and a comma");
                return;
            }
            ++position;
            device = number.value == 3 ? 2 : number.value;  // #2 and #3 are the same device
        } else if (position >= arguments.size()) {
            Report("PLAY has no string");
            return;
        }
        std::vector<std::optional<int>>& octaves = octaves_[device];
        for (playString_ = 1;; ++playString_) {
            SkipSpaces(arguments, position);
            if (position < arguments.size() && arguments[position] == '"') {
                const std::size_t close = arguments.find('"', position + 1);
                const std::size_t end = close == std::string_view::npos ? arguments.size() : close;
                const std::string_view mml = arguments.substr(position + 1, end - position - 1);
                if (close == std::string_view::npos) Report(StringName() + " has no closing quote");
                if (mml.size() > kLongestPlayString) {
                    Report(StringName() + " is " + std::to_string(mml.size()) +
                           " characters long; PLAY takes at most " + std::to_string(kLongestPlayString));
                }
                if (octaves.size() < static_cast<std::size_t>(playString_)) {
                    octaves.resize(playString_, kStartingOctave);
                }
                CheckMml(mml, octaves[playString_ - 1]);
                position = close == std::string_view::npos ? end : end + 1;
                SkipSpaces(arguments, position);
            } else if (position < arguments.size() && arguments[position] != ',') {
                Report(StringName() + " is not a quoted string: '" + ShownShortened(arguments.substr(position)) +
                       "' cannot be checked");
                return;
            }
            if (position >= arguments.size()) return;
            if (arguments[position] != ',') {
                Report(StringName() + " is followed by '" + ShownShortened(arguments.substr(position)) +
                       "' where a comma or the end of the statement belongs");
                return;
            }
            ++position;
            SkipSpaces(arguments, position);
            if (position >= arguments.size()) {
                Report("a comma ends the PLAY statement, with no string after it");
                return;
            }
        }
    }

    // One string of MML. The octave is the string's channel's, carried over statements.
    void CheckMml(std::string_view mml, std::optional<int>& octave) {
        const auto checkRange = [&](const Range& range, std::size_t start, std::size_t end, int value) {
            if (value >= range.low && value <= range.high) return;
            ReportInString(std::string(range.name) + " " + Shown(mml.substr(start, end - start)) + At(start) +
                           " is out of range " + std::to_string(range.low) + "-" + std::to_string(range.high));
        };
        const auto skipDots = [&](std::size_t& position) {
            while (position < mml.size() && mml[position] == '.') ++position;
        };
        bool afterNote = false;  // where a tie may stand
        std::size_t position = 0;
        while (position < mml.size()) {
            const std::size_t start = position;
            const char command = mml[position++];
            if (command >= 'A' && command <= 'G') {
                // Nearly every byte the converter writes is in a note like "C&" or "C+&":
                // its next two bytes are read at once, not each after the last.
                if (position + 2 <= mml.size()) {
                    const char first = mml[position];
                    const char second = mml[position + 1];
                    const bool sign = (first == '+') | (first == '#') | (first == '-');
                    const char next = sign ? second : first;
                    if (!IsDigit(next) && next != '.') {
                        const bool tie = next == '&';
                        position += static_cast<std::size_t>(sign) + static_cast<std::size_t>(tie);
                        afterNote = !tie;
                        continue;
                    }
                }
                if (position < mml.size() && (mml[position] == '+' || mml[position] == '#' || mml[position] == '-')) {
                    ++position;
                }
                if (position < mml.size() && IsDigit(mml[position])) {  // rare: the converter writes none
                    const int length = ReadNumber(mml, position).value;
                    checkRange(kNoteLength, start, position, length);
                }
                skipDots(position);
                afterNote = position >= mml.size() || mml[position] != '&';
                if (!afterNote) ++position;
                continue;
            }
            const bool tieAllowed = afterNote;
            afterNote = false;
            const Range* valueRange = nullptr;
            switch (command) {
                case '&':
                    if (!tieAllowed) ReportInString("'&'" + At(start) + " does not follow a note");
                    continue;
                case '>':
                case '<':
                    if (octave) {
                        *octave += command == '>' ? 1 : -1;
                        if (*octave < kOctave.low || *octave > kOctave.high) {
                            ReportInString("'" + std::string(1, command) + "'" + At(start) +
                                           (command == '>' ? " raises" : " lowers") + " the octave to " +
                                           std::to_string(*octave) + ", out of range 1-8");
                        }
                    }
                    continue;
                case 'O':
                    if (position < mml.size() && mml[position] >= ':' && mml[position] <= 'E') {
                        // The converter writes octave 10 as "O:", up to 21 as "OE": the bytes
                        // after the digit 9.
                        octave = mml[position++] - '0';
                        ReportInString("octave " + Shown(mml.substr(start, 2)) + " (octave " +
                                       std::to_string(*octave) + ")" + At(start) + " is out of range 1-8");
                        continue;
                    }
                    if (position >= mml.size() || !IsDigit(mml[position])) {
                        ReportInString("'O'" + At(start) + " has no octave number");
                        octave.reset();
                        continue;
                    }
                    octave = ReadNumber(mml, position).value;
                    checkRange(kOctave, start, position, *octave);
                    continue;
                case 'R': {
                    const Number length = ReadNumber(mml, position);
                    if (length.present) checkRange(kRest, start, position, length.value);
                    skipDots(position);
                    continue;
                }
                case 'L': valueRange = &kLength; break;
                case 'T': valueRange = &kTempo; break;
                case 'V': valueRange = &kVolume; break;
                case '@': valueRange = &kVoice; break;
                default:
                    ReportInString("'" + Shown(mml.substr(start, 1)) + "'" + At(start) +
                                   " is not an MML command this check reads; the rest of the string is not checked");
                    octave.reset();
                    return;
            }
            const Number value = ReadNumber(mml, position);
            if (!value.present) {
                ReportInString("'" + std::string(1, command) + "'" + At(start) + " has no number");
                continue;
            }
            checkRange(*valueRange, start, position, value.value);
            if (command == 'L') skipDots(position);
        }
    }

    std::vector<ProgramFinding> findings_;
    std::vector<std::string_view> statements_;  // of the line being checked, kept for its memory
    int physicalLine_ = 0;
    int lineNumber_ = -1;
    std::size_t statement_ = 0;  // 1 for the first statement of the line
    std::size_t statementCount_ = 0;
    int playString_ = 0;  // 1 for the first string of the PLAY statement
    // The octave of each string of each PLAY device, by device and then string, carried
    // from one PLAY to the next as PLAY carries it; nullopt where this check lost track.
    std::map<int, std::vector<std::optional<int>>> octaves_;
};

ProgramTextChecker::ProgramTextChecker() : lines_(std::make_unique<Lines>()) {}

ProgramTextChecker::~ProgramTextChecker() = default;

void ProgramTextChecker::Add(std::string_view piece) {
    if (ended_) return;
    const std::size_t endMark = piece.find(kEndOfText);
    if (endMark != std::string_view::npos) piece = piece.substr(0, endMark);
    for (std::size_t start = 0;;) {
        const std::size_t end = piece.find('\n', start);
        if (end == std::string_view::npos) {
            partialLine_.append(piece.substr(start));
            break;
        }
        if (partialLine_.empty()) {
            lines_->Check(piece.substr(start, end - start));
        } else {
            partialLine_.append(piece.substr(start, end - start));
            lines_->Check(partialLine_);
            partialLine_.clear();
        }
        start = end + 1;
    }
    ended_ = endMark != std::string_view::npos;
}

std::vector<ProgramFinding> ProgramTextChecker::Finish() {
    if (!partialLine_.empty()) lines_->Check(partialLine_);
    partialLine_.clear();
    ended_ = true;
    return lines_->TakeFindings();
}

std::string FindingText(const ProgramFinding& finding) {
    if (finding.lineNumber < 0) return "physical line " + std::to_string(finding.physicalLine) + ": " + finding.message;
    return "line " + std::to_string(finding.lineNumber) + ": " + finding.message;
}

std::vector<ProgramFinding> CheckProgramText(std::string_view text) {
    ProgramTextChecker checker;
    checker.Add(text);
    return checker.Finish();
}

}  // namespace varnolt::cli

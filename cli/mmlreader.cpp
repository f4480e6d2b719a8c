#include "mmlreader.h"

namespace varnolt::cli {

namespace {

constexpr int kNumberCap = 1'000'000;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool IsNoteOrRest(char letter) { return (letter >= 'A' && letter <= 'G') || letter == 'R'; }

bool TakesNumber(char letter) {
    return IsNoteOrRest(letter) || letter == 'O' || letter == 'L' || letter == 'T' || letter == 'V' || letter == '@';
}

}  // namespace

MmlReading ReadMml(std::string_view text) {
    MmlReading reading;
    std::size_t i = 0;
    while (i < text.size()) {
        MmlCommand command;
        command.letter = text[i];
        command.position = i;
        const bool known = TakesNumber(command.letter) || command.letter == '>' || command.letter == '<' ||
                           command.letter == '&';
        if (!known) {
            reading.unreadableAt = i;
            return reading;
        }
        ++i;
        if (command.letter >= 'A' && command.letter <= 'G' && i < text.size()) {
            if (text[i] == '+' || text[i] == '#') command.accidental = 1, ++i;
            else if (text[i] == '-') command.accidental = -1, ++i;
        }
        if (TakesNumber(command.letter) && i < text.size() && IsDigit(text[i])) {
            command.number = 0;
            for (; i < text.size() && IsDigit(text[i]); ++i) {
                if (command.number < kNumberCap) command.number = command.number * 10 + (text[i] - '0');
            }
        }
        if (IsNoteOrRest(command.letter) || command.letter == 'L') {
            for (; i < text.size() && text[i] == '.'; ++i) ++command.dots;
        }
        reading.commands.push_back(command);
    }
    return reading;
}

}  // namespace varnolt::cli

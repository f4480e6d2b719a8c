// The commands of one PLAY string, as read, before anything is made of them.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>
#include <vector>

namespace varnolt::cli {

struct MmlCommand {
    char letter = 0;        // A-G a note; R O L T V @ > < &
    int accidental = 0;     // a note's + or # (+1), - (-1)
    int number = -1;        // the digits after it; -1 when none; stops growing at a million
    int dots = 0;           // after a note's, rest's or L's length
    std::size_t position = 0;  // of the letter in the string
};

struct MmlReading {
    std::vector<MmlCommand> commands;
    // The first byte that is no command, where the reading stopped.
    std::optional<std::size_t> unreadableAt;
};

// Upper-case letters only, no blanks: what PLAY #2 strings that pass the program check hold.
MmlReading ReadMml(std::string_view text);

}  // namespace varnolt::cli

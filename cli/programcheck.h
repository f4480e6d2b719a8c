// Will the program load and play? A reading of an MSX-BASIC program text that reports
// what LOAD would cut and what PLAY #2 would refuse, without running anything.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace varnolt::cli {

// LOAD of an ASCII program keeps the first 255 bytes of a line; PLAY takes strings of
// up to 255 characters.
inline constexpr std::size_t kLongestLoadedLine = 255;
inline constexpr std::size_t kLongestPlayString = 255;

struct ProgramFinding {
    int physicalLine = 0;  // 1 for the first line of the text
    int lineNumber = -1;   // the BASIC line number; -1 when the line has no readable one
    std::string message;   // what is wrong and where in the line, e.g.
                           // "PLAY string 2: octave O9 at character 17 is out of range 1-8"
    bool lineTooLong = false;  // LOAD would cut the line; PLAY as written would still play it
};

// "line 1010: MESSAGE", or "physical line 7: MESSAGE" where there is no line number.
std::string FindingText(const ProgramFinding& finding);

// Every finding of the text, in the order of the text. A line is the bytes up to LF or
// the end of the text, a CR at its end not counted; a 0x1A byte (the end mark of an
// MSX-DOS text) ends the text. A line of spaces alone is passed over.
// Reported:
// - a line longer than kLongestLoadedLine bytes without its CR LF;
// - a PLAY string longer than kLongestPlayString characters between its quotes;
// - an MML command out of the PLAY #2 ranges: O 1-8 (also where > or < leads out of
//   them; every string of a PLAY starts at octave 4 and keeps its octave from one PLAY
//   statement to the next, in the order of the lines), L and R 1-64, a note's length
//   1-64, T 32-255, V 0-15, @ 0-63;
// - what cannot be read: a line without a line number or with one above 65529, a
//   control byte in a line, a statement other than PLAY, comments, CALL or _ statements,
//   DEFINT/DEFSNG/DEFDBL/DEFSTR, DIM, assignments, GOTO, GOSUB, RETURN, END, STOP, CLS
//   and BEEP, a PLAY argument that is not a quoted string, a string without its closing
//   quote, and in a PLAY string any byte that is none of A-G (with + # - after them),
//   R O L T V @ > < & . and digits after them.
std::vector<ProgramFinding> CheckProgramText(std::string_view text);

// The same check over a text that comes in pieces, as it is read from a file, so that no
// copy of a whole file need be made: only a line split between two pieces is copied.
class ProgramTextChecker {
public:
    ProgramTextChecker();
    ~ProgramTextChecker();
    ProgramTextChecker(const ProgramTextChecker&) = delete;
    ProgramTextChecker& operator=(const ProgramTextChecker&) = delete;

    // The next bytes of the text.
    void Add(std::string_view piece);
    // After the last piece: every finding of the text. Later pieces are not read.
    std::vector<ProgramFinding> Finish();

private:
    class Lines;
    std::unique_ptr<Lines> lines_;
    std::string partialLine_;  // the start of a line whose LF has not come yet
    bool ended_ = false;       // the end mark was read
};

}  // namespace varnolt::cli

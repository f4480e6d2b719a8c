#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "programcheck.h"

namespace varnolt::cli {

inline constexpr std::string_view kCheckUsage = "usage: varnolt check FILE...\n";

inline constexpr std::string_view kCheckHelp =
    "check reads each FILE as an MSX-BASIC program text and reports what LOAD would cut\n"
    "and what PLAY #2 would refuse: a line longer than 255 characters (CR LF not counted),\n"
    "a PLAY string longer than 255, an MML value out of range (O 1-8, L, R and note\n"
    "lengths 1-64, T 32-255, V 0-15, @ 0-63) and whatever it cannot read.\n"
    "One finding per line on stdout, \"FILE:LINE: line NUMBER: what is wrong\", LINE counting\n"
    "the file's lines from 1, NUMBER the BASIC line number; nothing for a clean FILE.\n"
    "Exit status 0 when every FILE is clean, 1 for a finding or a FILE it cannot read.\n";

// No program text is anywhere near this: the largest the converter writes is 806,240
// bytes. A larger file is not read.
inline constexpr std::size_t kLargestCheckedProgram = 16 * 1024 * 1024;

struct ProgramFileCheck {
    std::vector<ProgramFinding> findings;
    std::string problem;  // why the file could not be read; empty when it was read whole
};

// CheckProgramText over a file, read a piece at a time. A problem is what the system
// said, "not a regular file" (a FIFO is not waited on), or that the file is larger than
// kLargestCheckedProgram.
ProgramFileCheck CheckProgramFile(const std::string& path);

// varnolt check FILE...: argv[1] is "check". Returns the exit status.
int RunCheckCommand(int argc, char** argv);

}  // namespace varnolt::cli

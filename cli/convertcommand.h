#pragma once

#include <string_view>

namespace varnolt::cli {

inline constexpr std::string_view kConvertUsage =
    "usage: varnolt convert [--volume TEXT] [--unit 15|20|30|60] [--channels 3|4|5] FILE...\n";

inline constexpr std::string_view kConvertHelp =
    "convert writes FILE's program beside it: name.dat gives name.txt.\n"
    "  --volume TEXT      volume in percent, 20 to 200, read as the dialog reads it (default 100)\n"
    "  --unit N           frame duration 1/N second: 15, 20, 30 or 60 (default 30)\n"
    "  --channels N       FM channels to fill: 3, 4 or 5 (default 4)\n"
    "One line per FILE: the outcome alone for one FILE, \"FILE: outcome\" for several.\n"
    "Successes go to stdout, failures to stderr. Before the outcome, what check finds in the\n"
    "written program goes to stderr as \"warning: ...\" lines; it leaves the exit status alone.\n";

// varnolt convert ...: argv[1] is "convert". Returns the exit status.
int RunConvertCommand(int argc, char** argv);

}  // namespace varnolt::cli

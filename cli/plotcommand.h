#pragma once

#include <string>
#include <string_view>

#include "driver.h"

namespace varnolt::cli {

inline constexpr std::string_view kPlotUsage =
    "usage: varnolt plot [--unit 15|20|30|60] [--channels 3|4|5] [-o OUT.svg] FILE\n";

inline constexpr std::string_view kPlotHelp =
    "plot draws what convert would make of FILE as an SVG picture: time across, notes up,\n"
    "the analysis' partials as grey dots and over them the notes of each channel.\n"
    "  --unit N           frame duration 1/N second: 15, 20, 30 or 60 (default 30)\n"
    "  --channels N       FM channels to fill: 3, 4 or 5 (default 4)\n"
    "  -o, --output OUT   the picture's name (default: beside FILE, name.dat gives name.svg)\n"
    "The outcome is printed as convert prints it, success to stdout, failures to stderr.\n";

// The stages run as in a conversion, and the picture written to output where the
// converter writes its program. The text to show, empty on success; the pool is emptied
// on every way out.
std::string PlotAnalysisFile(const std::string& path, const ConversionOptions& options, const std::string& output);

// varnolt plot ...: argv[1] is "plot". Returns the exit status.
int RunPlotCommand(int argc, char** argv);

}  // namespace varnolt::cli

#pragma once

#include <string_view>

namespace varnolt::cli {

inline constexpr std::string_view kAnalyseUsage =
    "usage: varnolt analyse [--unit 15|20|30|60] [-o OUTPUT.dat] [--min-freq HZ] [--max-freq HZ]\n"
    "                       [--start S] [--duration S] INPUT\n";

inline constexpr std::string_view kAnalyseHelp =
    "analyse turns a recording (WAV, FLAC, OGG/Vorbis, AIFF, ...) into an analysis file:\n"
    "one frame per 1/unit second, its eight loudest sine waves, loudest first.\n"
    "  --unit N           frame duration 1/N second: 15, 20, 30 or 60 (default 30)\n"
    "  -o, --output FILE  the analysis file (default: INPUT with .dat for its extension)\n"
    "  --min-freq HZ      lowest frequency kept (default 32.7, C of octave 1)\n"
    "  --max-freq HZ      highest frequency kept (default 8133.6, still B of octave 8)\n"
    "  --start S          analyse from S seconds into the recording (default 0)\n"
    "  --duration S       analyse S seconds at most (default: to the end)\n";

// varnolt analyse ...: argv[1] is "analyse". Returns the exit status.
int RunAnalyseCommand(int argc, char** argv);

}  // namespace varnolt::cli

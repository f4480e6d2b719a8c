#pragma once

#include <string_view>

namespace varnolt::cli {

inline constexpr std::string_view kPreviewUsage = "usage: varnolt preview [-o OUT.wav] [--rate HZ] PROGRAM.txt\n";

inline constexpr std::string_view kPreviewHelp =
    "preview plays a program text as the MSX-MUSIC FM channels would, into a WAV file.\n"
    "  -o, --output FILE  the WAV file (default: PROGRAM with .preview.wav for its extension)\n"
    "  --rate HZ          samples per second, 8000 to 192000 (default 44100)\n";

// varnolt preview ...: argv[1] is "preview". Returns the exit status.
int RunPreviewCommand(int argc, char** argv);

}  // namespace varnolt::cli

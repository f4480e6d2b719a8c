// What each FM channel of a program text plays, for the preview.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "fmvoice.h"

namespace varnolt::cli {

struct ProgramScore {
    std::vector<audio::ChannelScore> channels;  // string k of every PLAY #2 plays channel k
    std::vector<std::string> problems;          // "line N: ..." for what cannot be played
};

// Reads the set-up lines (they must define voice 63 as the converter does: no other
// voice is modelled) and the PLAY #2 statements after them. The strings are taken to
// be within the PLAY #2 ranges (check them first); what the model cannot play beyond
// that is a problem. Each channel keeps its octave, length, tempo, volume and voice
// from one statement to the next; it starts at O4 L4 T120 V8 with the built-in voice 0.
// A channel that would play longer than maxTicks is a problem, and reading stops there.
ProgramScore ScoreOfProgram(std::string_view text, std::int64_t maxTicks);

}  // namespace varnolt::cli

// The analysis files the benchmarks run on, generated so that they can be remade.
#pragma once

#include <string>

namespace varnolt::bench {

// 18000 records (17999 frames and the trailer), 1/30 s: eight partials that glide,
// cross each other and change places in the frame, as an analyser lists them.
std::string LargestInput();

// About ten seconds at 1/30 s (300 frames), the same kind of sound.
std::string TypicalInput();

}  // namespace varnolt::bench

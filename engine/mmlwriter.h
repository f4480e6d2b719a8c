// The MSX-BASIC program text: three set-up lines defining FM voice 63, then one PLAY#2
// statement per six frames, one MML string per channel.
#pragma once

#include <cstdint>

namespace varnolt {

// Writes the program for NoteVolumeTable into TextBuffer from its first byte and
// returns its length in bytes (115 for no frame, at most 806,240).
int WriteMmlProgram(int frameCount, int channelCount, int framesPerSecond);

// The decimal text of value (at most its first 10 characters) at position, which advances.
void AppendDecimal(char*& position, std::int32_t value);

}  // namespace varnolt

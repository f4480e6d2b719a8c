// The MSX-BASIC program text: three set-up lines defining FM voice 63, then one PLAY#2
// statement per six frames, one MML string per channel.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace varnolt {

// Note names by semitone within the octave, as MML writes them: sharps with "+".
inline constexpr std::array<std::string_view, 12> kNoteNames = {"C", "C+", "D", "D+", "E", "F",
                                                                "F+", "G", "G+", "A", "A+", "B"};

// Writes the program for NoteVolumeTable into TextBuffer from its first byte and
// returns its length in bytes (115 for no frame, at most 806,240).
int WriteMmlProgram(int frameCount, int channelCount, int framesPerSecond);

// The decimal text of value (at most its first 10 characters) at position, which advances.
void AppendDecimal(char*& position, std::int32_t value);

}  // namespace varnolt

// The MSX-BASIC program text: three set-up lines defining FM voice 63, then one PLAY#2
// statement per six frames, one MML string per channel.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace varnolt {

// Line 10 switches MSX-MUSIC on; lines 20 and 30 put an instrument into voice 63, whose
// modulator is fully attenuated: the carrier's sine alone sounds.
inline constexpr std::string_view kProgramSetUpLines =
    "10 _MUSIC(1,0,1,1,1,1,1)\r\n"
    "20 DEFINTT:DIMT(15):T(8)=&H3F22:T(9)=&HF0:T(12)=&H22:T(13)=&HFF0\r\n"
    "30 _VOICE COPY(T,@63)\r\n";

// Note names by semitone within the octave, as MML writes them: sharps with "+".
inline constexpr std::array<std::string_view, 12> kNoteNames = {"C", "C+", "D", "D+", "E", "F",
                                                                "F+", "G", "G+", "A", "A+", "B"};

// Writes the program for NoteVolumeTable into TextBuffer from its first byte and
// returns its length in bytes (115 for no frame, at most 806,240).
int WriteMmlProgram(int frameCount, int channelCount, int framesPerSecond);

// The decimal text of value (at most its first 10 characters) at position, which advances
// past it. Ten bytes are stored whatever the length: those past the digits are for what
// the caller writes next.
void AppendDecimal(char*& position, std::int32_t value);

}  // namespace varnolt

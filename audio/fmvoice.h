// What an MSX-MUSIC channel playing the converter's voice 63 sounds like. That voice's
// modulator is fully attenuated, so the carrier is heard alone: a sine that starts at
// once and holds its level for as long as the key is down.
#pragma once

#include <cstdint>
#include <vector>

namespace varnolt::audio {

inline constexpr int kTicksPerSecond = 60;

// One note or rest of a channel, in the order played.
struct ChannelEvent {
    double ticks = 0;    // length in 1/60 s, before rounding to whole ticks
    int note = -1;       // semitone number, octave x 12 + semitone (57: A of octave 4); -1 rests
    int volume = 8;      // 0 .. 15
    bool tied = false;   // '&': the next note continues this tone instead of striking anew
};
using ChannelScore = std::vector<ChannelEvent>;

// Frequency of a semitone number in equal temperament, A of octave 4 at 440 Hz.
double NoteFrequency(int note);
// Amplitude of a volume: the chip has eight steps of 3 dB, (15 - V) / 2 of them down.
double VolumeAmplitude(int volume);

// Whole ticks until the last channel has played its last event.
std::int64_t ScoreTicks(const std::vector<ChannelScore>& channels);

// All channels mixed: each at most 1 / channels.size() of full scale, so the sum never
// clips. Each event lasts until the whole tick its end falls in, rounding errors carried
// over per channel. Every change of level ramps over a millisecond, so nothing clicks.
std::vector<double> RenderScore(const std::vector<ChannelScore>& channels, int sampleRate);

}  // namespace varnolt::audio

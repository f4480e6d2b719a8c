// Writes glide.dat: four seconds at 30 frames per second of four voices, listed the way
// an analyser lists its peaks, so the converter has to follow each voice from frame to
// frame. Integer arithmetic only, so every machine writes the same bytes.
//
//   rise     holds 220 Hz, glides a quarter tone a frame up to 880 Hz (frames 36-84),
//            holds, fades at the end; the loudest voice
//   fall     the mirror image, 880 -> 220 Hz: the two meet at 440 Hz on frame 60;
//            a breath at frames 100-103
//   steady   330 Hz, swells in from silence and out again
//   vibrato  660 Hz, 5 Hz vibrato of 4 %; enters late, pauses, stops early
//
// Slots 0-3 hold the four fundamentals in ascending frequency, slots 4-7 their octave
// overtones (1/8 of the level), also ascending. A silent voice has no peak: level 0 and
// frequency 0, so it sorts first. The slot of a voice therefore changes whenever two
// voices cross or one falls silent. Each voice keeps its level while its pitch moves,
// and the glides move more than a third of a semitone a frame and meet on a frame rather
// than between two: the converter weighs pitch and level distance together, and glides
// that swapped pitches exactly between two frames would look like two voices bouncing.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <vector>

#include "analysisfile.h"

namespace {

using varnolt::kFrameRateCodeOffset;
using varnolt::kFrequencyOffset;
using varnolt::kLevelOffset;
using varnolt::kPartialBytes;
using varnolt::kRecordBytes;
using varnolt::StoreInt32;

constexpr int kFrameCount = 120;
constexpr int kFramesPerSecond = 30;
constexpr int kVoices = 4;

struct Peak {
    std::int32_t level;
    std::int32_t frequency;  // tenths of a hertz
};

// 220 Hz until frame 36, then up a quarter tone (2^(1/24), in 20-bit fixed point) each
// frame to 880 Hz at frame 84, then 880 Hz; one entry more so that the mirror image
// (frame 120 - f) is defined for every frame.
std::array<std::int32_t, kFrameCount + 1> RisingGlide() {
    constexpr std::int64_t kQuarterTone = 1079302;  // round(2^(1/24) * 2^20)
    std::array<std::int32_t, kFrameCount + 1> tenths{};
    std::int64_t x = std::int64_t{2200} << 20;
    for (int f = 0; f <= kFrameCount; ++f) {
        tenths[f] = static_cast<std::int32_t>((x + (1 << 19)) >> 20);
        if (f >= 36 && f < 84) x = x * kQuarterTone >> 20;
    }
    return tenths;
}

// Silent outside [start, end) and inside [gapStart, gapEnd).
bool Sounds(int f, int start, int end, int gapStart = 0, int gapEnd = 0) {
    return f >= start && f < end && !(f >= gapStart && f < gapEnd);
}

std::array<Peak, kVoices> VoicesAt(int f, const std::array<std::int32_t, kFrameCount + 1>& rise) {
    // A sine sampled at 30 degrees + k x 60: six frames a period is 5 Hz at 30 fps.
    constexpr std::array<std::int32_t, 6> kVibratoTenths = {132, 264, 132, -132, -264, -132};
    // Triangle from frame 6 to frame 114, peak 20000 at frame 60.
    const std::int32_t swell = f < 6 || f >= 114 ? 0 : 20000 - 20000 * std::abs(f - 60) / 54;

    std::array<Peak, kVoices> voices{};
    voices[0] = {f < 96 ? 30000 : 30000 - 500 * (f - 95), rise[f]};
    if (Sounds(f, 0, kFrameCount, 100, 104)) voices[1] = {18000, rise[kFrameCount - f]};
    if (swell > 0) voices[2] = {swell, 3300};
    if (Sounds(f, 12, 105, 48, 54)) voices[3] = {12000, 6600 + kVibratoTenths[f % 6]};
    return voices;
}

void SortByFrequency(std::array<Peak, kVoices>& peaks) {
    std::sort(peaks.begin(), peaks.end(), [](const Peak& a, const Peak& b) {
        return a.frequency != b.frequency ? a.frequency < b.frequency : a.level < b.level;
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_example OUTPUT.dat\n");
        return 2;
    }
    const auto rise = RisingGlide();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(kFrameCount + 1) * kRecordBytes, 0);
    for (int f = 0; f < kFrameCount; ++f) {
        std::array<Peak, kVoices> fundamentals = VoicesAt(f, rise);
        std::array<Peak, kVoices> overtones{};
        for (int v = 0; v < kVoices; ++v) {
            if (fundamentals[v].level > 0) overtones[v] = {fundamentals[v].level / 8, fundamentals[v].frequency * 2};
        }
        SortByFrequency(fundamentals);
        SortByFrequency(overtones);
        std::uint8_t* record = bytes.data() + static_cast<std::size_t>(f) * kRecordBytes;
        for (int v = 0; v < kVoices; ++v) {
            std::uint8_t* fundamental = record + kPartialBytes * v;
            std::uint8_t* overtone = record + kPartialBytes * (kVoices + v);
            StoreInt32(fundamental + kLevelOffset, fundamentals[v].level);
            StoreInt32(fundamental + kFrequencyOffset, fundamentals[v].frequency);
            StoreInt32(overtone + kLevelOffset, overtones[v].level);
            StoreInt32(overtone + kFrequencyOffset, overtones[v].frequency);
        }
    }
    StoreInt32(bytes.data() + static_cast<std::size_t>(kFrameCount) * kRecordBytes + kFrameRateCodeOffset,
               kFramesPerSecond);

    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_example: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}

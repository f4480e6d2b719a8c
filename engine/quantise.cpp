#include "quantise.h"

#include <algorithm>
#include <bit>
#include <cmath>

#include "analysisfile.h"
#include "frequencysteps.h"
#include "truncate.h"
#include "worktables.h"

namespace varnolt {

namespace {

constexpr double kLevelFullScale = 65535.0;
constexpr double kFrequencyUnit = 10.0;
constexpr double kSemitoneRatio = 1.0594630943592953;  // nearest double to 2^(1/12)
constexpr double kNoteOffset = 48.376316;  // 12 log2(440) - 57, cut to six decimals: note 0 at 16.3516 Hz
constexpr double kLowNoteLimit = 12.0;     // below C of octave 1 (32.70 Hz) nothing sounds
constexpr double kPercent = 100.0;
constexpr std::int32_t kStepOffset = 16;
constexpr std::int32_t kLoudestStep = 15;

// Everything from these rows on is zero, as at program start: a conversion clears only
// what an earlier, longer one left, and leaves the tables as a full clear would.
int levelRowsInUse = 0;
int noteVolumeFramesInUse = 0;

// Two steps per doubling of the amount, one step being 3 dB: floor(log2(u^2)) - 16,
// clamped. In integers this is exactly what ln u / ln 2, doubled and truncated, gives
// for every amount from 1 to 131070 (a test compares the two over all of them).
std::int32_t VolumeStep(std::int32_t amount) {
    if (amount <= 0) return 0;  // a negative amount has no logarithm
    const auto square = static_cast<std::uint64_t>(amount) * static_cast<std::uint64_t>(amount);
    return std::clamp(static_cast<std::int32_t>(std::bit_width(square)) - 1 - kStepOffset, 0, kLoudestStep);
}

}  // namespace

void BuildLevelAndFrequencyTables(const std::uint8_t* image, int frameCount, std::int32_t levelDivisor) {
    const std::size_t rowBytes = kTablePartials * sizeof(double);
    PrefaultForWriting(LevelTable.data(), frameCount * rowBytes);
    PrefaultForWriting(FrequencyTable.data(), frameCount * rowBytes);
    // With the divisor at full scale (as the normaliser always leaves it) the level comes
    // out as it went in: level x 65535 is exact in a double, and so is its quotient.
    const bool levelsStay = levelDivisor == kLevelFullScale;
    for (int f = 0; f < frameCount; ++f) {
        for (int p = 0; p < kPartialsPerFrame; ++p) {
            const std::size_t index = static_cast<std::size_t>(f) * kTablePartials + p;
            const auto level = static_cast<double>(PartialLevel(image, f, p));
            LevelTable[index] = levelsStay ? level : level * kLevelFullScale / static_cast<double>(levelDivisor);
            FrequencyTable[index] = static_cast<double>(PartialFrequency(image, f, p)) / kFrequencyUnit;
        }
    }
    if (levelRowsInUse > frameCount) {
        const auto first = static_cast<std::ptrdiff_t>(frameCount) * kTablePartials;
        const auto last = static_cast<std::ptrdiff_t>(levelRowsInUse) * kTablePartials;
        std::fill(LevelTable.begin() + first, LevelTable.begin() + last, 0.0);
        std::fill(FrequencyTable.begin() + first, FrequencyTable.begin() + last, 0.0);
    }
    levelRowsInUse = frameCount;
}

double SemitonesOf(double frequency) { return std::log(frequency) / std::log(kSemitoneRatio) - kNoteOffset; }

namespace {

// + 0.5 then truncation: the nearest note, halves upward (for r >= -0.5).
std::int32_t NoteNumberOf(double frequency) { return TruncateToInt32(SemitonesOf(frequency) + 0.5); }

double FirstHertzOfNote(std::int32_t note) { return std::pow(kSemitoneRatio, note - 0.5 + kNoteOffset); }

std::int32_t Sounds(double frequency) { return SemitonesOf(frequency) >= kLowNoteLimit ? 1 : 0; }

// The pair for a note, from the level and whether the frequency is too low to sound.
NoteVolume PairOf(std::int32_t noteNumber, bool tooLow, double level, int volumePercent) {
    std::int32_t amount = TruncateToInt32(static_cast<double>(volumePercent) * level / kPercent);
    if (tooLow) amount = 0;
    if (amount == 0) amount = 1;
    return {static_cast<std::uint8_t>(static_cast<std::uint32_t>(noteNumber) & 0xFF),
            static_cast<std::uint8_t>(VolumeStep(amount))};
}

}  // namespace

NoteVolume QuantiseChannel(double frequency, double level, int volumePercent) {
    // The mute compares the unrounded value: 31.8 .. 32.7 Hz is note 12 yet silent.
    // 0 Hz (r = -inf) is muted; a negative frequency (r = NaN) is not.
    return PairOf(NoteNumberOf(frequency), SemitonesOf(frequency) < kLowNoteLimit, level, volumePercent);
}

namespace {

// Always five channels, whatever the channel count; the writer reads the first m.
template <typename Quantise>
std::uint8_t* WriteNoteVolumes(int frameCount, const Quantise& quantise) {
    std::uint8_t* out = NoteVolumeTable.data();
    for (int f = 0; f < frameCount; ++f) {
        for (int k = 0; k < kNoteVolumeChannels; ++k) {
            const std::size_t index = static_cast<std::size_t>(f) * kTablePartials + k;
            const NoteVolume pair = quantise(FrequencyTable[index], LevelTable[index]);
            *out++ = pair.note;
            *out++ = pair.volume;
        }
    }
    return out;
}

}  // namespace

void QuantiseNotesAndVolumes(int frameCount, int volumePercent) {
    PrefaultForWriting(NoteVolumeTable.data(), static_cast<std::size_t>(frameCount) * kNoteVolumeFrameBytes);
    std::uint8_t* out = nullptr;
    if (frameCount * kNoteVolumeChannels < kValuesWorthSteps) {
        out = WriteNoteVolumes(frameCount, [&](double frequency, double level) {
            return QuantiseChannel(frequency, level, volumePercent);
        });
    } else {
        // Every frequency in FrequencyTable is a field of the file over ten: from 0.1 Hz
        // up they read their note from the steps; only 0 Hz and below take the logarithm.
        static const FrequencySteps noteSteps(NoteNumberOf, FirstHertzOfNote);
        static const double lowestSounding =
            FirstHertzReaching(Sounds, 1, 1, std::pow(kSemitoneRatio, kLowNoteLimit + kNoteOffset));
        out = WriteNoteVolumes(frameCount, [&](double frequency, double level) {
            return frequency > 0.0 ? PairOf(noteSteps(frequency), frequency < lowestSounding, level, volumePercent)
                                   : QuantiseChannel(frequency, level, volumePercent);
        });
    }
    // The writer reads up to five frames past the last one: they must read as zero.
    if (noteVolumeFramesInUse > frameCount) std::fill(out, NoteVolumeTable.data() + noteVolumeFramesInUse * kNoteVolumeFrameBytes, 0);
    noteVolumeFramesInUse = frameCount;
}

}  // namespace varnolt

#include "fmvoice.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <numbers>

namespace varnolt::audio {

namespace {

constexpr double kRampSeconds = 0.001;
constexpr double kDecibelsPerStep = 3.0;

// Whole ticks from the start at which each event begins, and the end of the last.
std::vector<std::int64_t> TickBoundaries(const ChannelScore& score) {
    std::vector<std::int64_t> boundaries{0};
    double exact = 0;
    for (const ChannelEvent& event : score) {
        exact += event.ticks;
        // A hair of tolerance: 14400 / (L x T) in doubles may land a shade under a whole.
        boundaries.push_back(static_cast<std::int64_t>(std::floor(exact + 1e-9)));
    }
    return boundaries;
}

std::int64_t SampleOfTick(std::int64_t tick, int sampleRate) {
    return static_cast<std::int64_t>(std::llround(static_cast<double>(tick) * sampleRate / kTicksPerSecond));
}

void RenderChannel(const ChannelScore& score, int sampleRate, double scale, std::vector<double>& mix) {
    const std::vector<std::int64_t> boundaries = TickBoundaries(score);
    const double step = 1.0 / (kRampSeconds * sampleRate);  // level change allowed per sample, full scale
    const auto rampSamples = static_cast<std::int64_t>(std::ceil(kRampSeconds * sampleRate));
    double phase = 0;
    double level = 0;
    double frequency = 0;  // a rest keeps the last pitch while the tone dies away
    for (std::size_t e = 0; e < score.size(); ++e) {
        const ChannelEvent& event = score[e];
        const std::int64_t first = SampleOfTick(boundaries[e], sampleRate);
        const std::int64_t end = std::min<std::int64_t>(SampleOfTick(boundaries[e + 1], sampleRate),
                                                       static_cast<std::int64_t>(mix.size()));
        const bool sounding = event.note >= 0;
        const double target = sounding ? scale * VolumeAmplitude(event.volume) : 0.0;
        if (sounding) frequency = NoteFrequency(event.note);
        // A note the next one does not continue is let go just before its end, so the
        // next strikes anew.
        // So is the channel's last note: the sound must not stop dead where the channel ends.
        const bool lastEvent = e + 1 == score.size();
        const bool letGo = sounding && (lastEvent || (!event.tied && score[e + 1].note >= 0));
        const std::int64_t release = letGo ? std::max(first, end - rampSamples) : end;
        for (std::int64_t n = first; n < end; ++n) {
            const double wanted = n < release ? target : 0.0;
            level += std::clamp(wanted - level, -step * scale, step * scale);
            mix[static_cast<std::size_t>(n)] += level * std::sin(phase);
            phase += 2 * std::numbers::pi * frequency / sampleRate;
        }
        phase = std::fmod(phase, 2 * std::numbers::pi);
    }
}

}  // namespace

double NoteFrequency(int note) { return 440.0 * std::pow(2.0, (note - 57) / 12.0); }

double VolumeAmplitude(int volume) {
    const int steps = (15 - std::clamp(volume, 0, 15)) >> 1;
    return std::pow(10.0, -kDecibelsPerStep * steps / 20.0);
}

std::int64_t ScoreTicks(const std::vector<ChannelScore>& channels) {
    std::int64_t longest = 0;
    for (const ChannelScore& score : channels) longest = std::max(longest, TickBoundaries(score).back());
    return longest;
}

std::vector<double> RenderScore(const std::vector<ChannelScore>& channels, int sampleRate) {
    std::vector<double> mix(static_cast<std::size_t>(SampleOfTick(ScoreTicks(channels), sampleRate)));
    const double scale = channels.empty() ? 0.0 : 1.0 / static_cast<double>(channels.size());
    for (const ChannelScore& score : channels) RenderChannel(score, sampleRate, scale, mix);
    return mix;
}

}  // namespace varnolt::audio

#include "resynthesis.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varnolt::audio {

namespace {

// Partials further apart than this are different voices, not one that moved.
constexpr double kLargestGlide = 1.07;  // a semitone is 1.0595

struct Voice {
    double frequency = 0.0;
    double amplitude = 0.0;
    double phase = 0.0;  // at the frame's instant
};

std::vector<Voice> SoundingVoices(const std::vector<Partial>& frame, int partialLimit) {
    std::vector<Voice> voices;
    const int count = std::min<int>(partialLimit, static_cast<int>(frame.size()));
    for (int p = 0; p < count; ++p) {
        if (frame[p].amplitude > 0 && frame[p].frequency > 0) voices.push_back({frame[p].frequency, frame[p].amplitude, 0.0});
    }
    return voices;
}

// Adds one sine from sample first to end - 1, gliding linearly from (f0, a0) to (f1, a1);
// returns the phase it reaches at end.
double AddGlide(std::vector<double>& out, std::int64_t first, std::int64_t end, double sampleRate, double phase,
                double f0, double a0, double f1, double a1) {
    const double length = static_cast<double>(end - first);
    for (std::int64_t n = first; n < end; ++n) {
        const double t = (n - first) / length;
        const double frequency = f0 + (f1 - f0) * t;
        if (n >= 0 && n < static_cast<std::int64_t>(out.size())) out[n] += (a0 + (a1 - a0) * t) * std::sin(phase);
        phase += 2 * std::numbers::pi * frequency / sampleRate;
    }
    return std::fmod(phase, 2 * std::numbers::pi);
}

}  // namespace

std::vector<double> RenderPartialFrames(const PartialFrames& frames, int framesPerSecond, int sampleRate,
                                        int partialLimit) {
    const auto frameCount = static_cast<std::int64_t>(frames.size());
    std::vector<double> out(static_cast<std::size_t>(frameCount * sampleRate / framesPerSecond));
    const auto instant = [&](std::int64_t f) {
        return static_cast<std::int64_t>(std::llround((f + 0.5) * sampleRate / framesPerSecond));
    };

    std::vector<Voice> previous;
    std::int64_t previousInstant = 0;  // the first voices fade in from the start
    for (std::int64_t f = 0; f <= frameCount; ++f) {
        // One frame past the last, nothing sounds: every voice fades out to the end.
        std::vector<Voice> next = f < frameCount ? SoundingVoices(frames[f], partialLimit) : std::vector<Voice>{};
        const std::int64_t nextInstant = f < frameCount ? instant(f) : static_cast<std::int64_t>(out.size());

        // Nearest pairs first, each voice in at most one pair.
        struct Pair {
            double distance;
            std::size_t before, after;
        };
        std::vector<Pair> pairs;
        for (std::size_t a = 0; a < previous.size(); ++a) {
            for (std::size_t b = 0; b < next.size(); ++b) {
                const double distance = std::abs(std::log(next[b].frequency / previous[a].frequency));
                if (distance <= std::log(kLargestGlide)) pairs.push_back({distance, a, b});
            }
        }
        std::sort(pairs.begin(), pairs.end(), [](const Pair& x, const Pair& y) { return x.distance < y.distance; });
        std::vector<bool> continued(previous.size()), born(next.size(), true);
        for (const Pair& pair : pairs) {
            if (continued[pair.before] || !born[pair.after]) continue;
            continued[pair.before] = true;
            born[pair.after] = false;
            const Voice& from = previous[pair.before];
            Voice& to = next[pair.after];
            to.phase = AddGlide(out, previousInstant, nextInstant, sampleRate, from.phase, from.frequency, from.amplitude,
                                to.frequency, to.amplitude);
        }
        for (std::size_t a = 0; a < previous.size(); ++a) {
            if (continued[a]) continue;
            const Voice& from = previous[a];
            AddGlide(out, previousInstant, nextInstant, sampleRate, from.phase, from.frequency, from.amplitude,
                     from.frequency, 0.0);
        }
        for (std::size_t b = 0; b < next.size(); ++b) {
            if (!born[b]) continue;
            Voice& to = next[b];
            // Started so that it reaches phase 0 at its frame's instant.
            const double start = -2 * std::numbers::pi * to.frequency * (nextInstant - previousInstant) / sampleRate;
            AddGlide(out, previousInstant, nextInstant, sampleRate, start, to.frequency, 0.0, to.frequency, to.amplitude);
            to.phase = 0.0;
        }
        previous = std::move(next);
        previousInstant = nextInstant;
    }
    return out;
}

}  // namespace varnolt::audio

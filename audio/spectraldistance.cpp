#include "spectraldistance.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varnolt::audio {

namespace {

constexpr double kQuietWindow = 1e-6;  // -60 dB of the loudest window's energy
constexpr double kLevelFloor = 1e-6;  // -60 dB of the loudest bin's power

// Power spectra of Hann windows every hop samples.
std::vector<std::vector<double>> ShortSpectra(const std::vector<double>& sound, int length, int hop, int windows) {
    double* input = fftw_alloc_real(static_cast<std::size_t>(length));
    fftw_complex* output = fftw_alloc_complex(static_cast<std::size_t>(length / 2 + 1));
    const fftw_plan plan = fftw_plan_dft_r2c_1d(length, input, output, FFTW_ESTIMATE);
    std::vector<double> hann(static_cast<std::size_t>(length));
    for (int n = 0; n < length; ++n) hann[n] = 0.5 - 0.5 * std::cos(2 * std::numbers::pi * n / length);
    std::vector<std::vector<double>> spectra(static_cast<std::size_t>(windows));
    for (int w = 0; w < windows; ++w) {
        for (int n = 0; n < length; ++n) {
            const std::size_t index = static_cast<std::size_t>(w) * hop + n;
            input[n] = index < sound.size() ? sound[index] * hann[n] : 0.0;
        }
        fftw_execute(plan);
        auto& power = spectra[static_cast<std::size_t>(w)];
        power.resize(static_cast<std::size_t>(length / 2 + 1));
        for (int k = 0; k <= length / 2; ++k) power[k] = output[k][0] * output[k][0] + output[k][1] * output[k][1];
    }
    fftw_destroy_plan(plan);
    fftw_free(input);
    fftw_free(output);
    return spectra;
}

}  // namespace

double LogSpectralDistance(const std::vector<double>& reference, const std::vector<double>& other, int sampleRate,
                           double minHz, double maxHz) {
    int length = 1;
    while (length < 0.046 * sampleRate) length *= 2;
    const int hop = length / 4;
    const std::size_t longest = std::max(reference.size(), other.size());
    const int windows = static_cast<int>((longest + hop - 1) / hop);
    const auto a = ShortSpectra(reference, length, hop, windows);
    const auto b = ShortSpectra(other, length, hop, windows);

    const int firstBin = std::max(1, static_cast<int>(std::ceil(minHz * length / sampleRate)));
    const int lastBin = std::min(length / 2, static_cast<int>(std::floor(maxHz * length / sampleRate)));
    double loudestWindow = 0.0;
    double loudestBin = 0.0;
    std::vector<double> energy(static_cast<std::size_t>(windows));
    for (int w = 0; w < windows; ++w) {
        for (int k = firstBin; k <= lastBin; ++k) {
            energy[w] += a[w][k];
            loudestBin = std::max(loudestBin, a[w][k]);
        }
        loudestWindow = std::max(loudestWindow, energy[w]);
    }
    const double floor = std::max(loudestBin * kLevelFloor, 1e-300);
    double sum = 0.0;
    int counted = 0;
    for (int w = 0; w < windows; ++w) {
        if (energy[w] < loudestWindow * kQuietWindow || energy[w] == 0.0) continue;
        double squares = 0.0;
        for (int k = firstBin; k <= lastBin; ++k) {
            const double difference = 10 * std::log10((a[w][k] + floor) / (b[w][k] + floor));
            squares += difference * difference;
        }
        sum += std::sqrt(squares / (lastBin - firstBin + 1));
        ++counted;
    }
    return counted == 0 ? 0.0 : sum / counted;
}

}  // namespace varnolt::audio

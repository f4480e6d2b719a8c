#include "sinusoidal.h"

#include <fftw3.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace varnolt::audio {

namespace {

// Zero padding to four times the window: peaks then lie close enough to a bin for the
// parabola through three bins to find their frequency and height closely.
constexpr int kPadding = 4;
// Below these a peak is noise or the skirt of a louder one: the window's side lobes lie
// 92 dB down.
constexpr double kAbsoluteFloor = 3.1622776601683795e-5;  // -90 dB of full scale
constexpr double kRelativeFloor = 3.1622776601683795e-4;  // -70 dB under the frame's loudest

// The four-term Blackman-Harris window.
std::vector<double> BlackmanHarris(int length) {
    std::vector<double> window(static_cast<std::size_t>(length));
    const double step = 2.0 * std::numbers::pi / (length - 1);
    for (int n = 0; n < length; ++n) {
        window[n] = 0.35875 - 0.48829 * std::cos(step * n) + 0.14128 * std::cos(2 * step * n) -
                    0.01168 * std::cos(3 * step * n);
    }
    return window;
}

}  // namespace

struct SinusoidalAnalyser::Plan {
    double* input = nullptr;
    fftw_complex* output = nullptr;
    fftw_plan plan = nullptr;
};

SinusoidalAnalyser::SinusoidalAnalyser(int sampleRate, const AnalysisSettings& settings)
    : sampleRate_(sampleRate), settings_(settings) {
    const int length = std::max(3, 2 * static_cast<int>(std::lround(settings.windowSeconds * sampleRate / 2)) + 1);
    window_ = BlackmanHarris(length);
    for (double w : window_) windowSum_ += w;
    transformLength_ = 1;
    while (transformLength_ < kPadding * length) transformLength_ *= 2;

    plan_ = new Plan;
    plan_->input = fftw_alloc_real(static_cast<std::size_t>(transformLength_));
    plan_->output = fftw_alloc_complex(static_cast<std::size_t>(transformLength_ / 2 + 1));
    // Estimating costs nothing up front; measuring would cost more than it saves here.
    plan_->plan = fftw_plan_dft_r2c_1d(transformLength_, plan_->input, plan_->output, FFTW_ESTIMATE);
    std::fill(plan_->input, plan_->input + transformLength_, 0.0);
    power_.resize(static_cast<std::size_t>(transformLength_ / 2 + 1));
}

SinusoidalAnalyser::~SinusoidalAnalyser() {
    fftw_destroy_plan(plan_->plan);
    fftw_free(plan_->input);
    fftw_free(plan_->output);
    delete plan_;
}

std::vector<Partial> SinusoidalAnalyser::Analyse(const double* samples) {
    const int length = WindowLength();
    for (int n = 0; n < length; ++n) plan_->input[n] = samples[n] * window_[n];
    fftw_execute(plan_->plan);

    const int bins = transformLength_ / 2 + 1;
    // Powers, not magnitudes: maxima and the floor compare the same, and only the three
    // bins around each peak need a logarithm.
    for (int k = 0; k < bins; ++k) {
        const double re = plan_->output[k][0];
        const double im = plan_->output[k][1];
        power_[k] = re * re + im * im;
    }

    const double binHertz = sampleRate_ / transformLength_;
    const double floorMagnitude = kAbsoluteFloor * windowSum_ / 2;
    const double floorPower = floorMagnitude * floorMagnitude;
    // Half the logarithm of a power is the logarithm of its magnitude; the least positive
    // power keeps it finite next to digital silence.
    const auto logMagnitude = [](double power) { return 0.5 * std::log(std::max(power, 1e-300)); };
    std::vector<Partial> peaks;
    for (int k = 1; k + 1 < bins; ++k) {
        if (!(power_[k] > power_[k - 1] && power_[k] >= power_[k + 1]) || power_[k] < floorPower) continue;
        const double alpha = logMagnitude(power_[k - 1]);
        const double beta = logMagnitude(power_[k]);
        const double gamma = logMagnitude(power_[k + 1]);
        // The parabola through the three log magnitudes: its top is the peak.
        const double curvature = alpha - 2 * beta + gamma;
        const double offset = curvature < 0 ? 0.5 * (alpha - gamma) / curvature : 0.0;
        const double frequency = (k + offset) * binHertz;
        if (frequency < settings_.minFrequency || frequency > settings_.maxFrequency) continue;
        const double logPeak = beta - 0.25 * (alpha - gamma) * offset;
        // A sine of amplitude a gives a peak of a/2 times the sum of the window.
        peaks.push_back({frequency, 2 * std::exp(logPeak) / windowSum_});
    }

    std::sort(peaks.begin(), peaks.end(), [](const Partial& a, const Partial& b) {
        return a.amplitude != b.amplitude ? a.amplitude > b.amplitude : a.frequency < b.frequency;
    });
    if (!peaks.empty()) {
        const double floor = peaks.front().amplitude * kRelativeFloor;
        std::erase_if(peaks, [floor](const Partial& p) { return p.amplitude < floor; });
    }
    if (static_cast<int>(peaks.size()) > settings_.maxPartials) peaks.resize(static_cast<std::size_t>(settings_.maxPartials));
    return peaks;
}

}  // namespace varnolt::audio

// How far apart two sounds are to the ear, roughly: the log-spectral distance.
#pragma once

#include <vector>

namespace varnolt::audio {

// Short spectra of both sounds (Hann windows of about 46 ms, a quarter window apart);
// for each window the root mean square, over the bins from minHz to maxHz, of the
// difference of their levels in dB; the mean of that over the windows in which the
// reference is no more than 60 dB under its loudest window. Levels are floored 60 dB
// under the reference's loudest bin, so silence against silence counts as equal.
// The shorter sound is taken as silent where it has ended.
double LogSpectralDistance(const std::vector<double>& reference, const std::vector<double>& other, int sampleRate,
                           double minHz, double maxHz);

}  // namespace varnolt::audio

// Sound from frames of partials: what an analysis file says, made audible again.
#pragma once

#include <vector>

#include "partialframes.h"

namespace varnolt::audio {

// A sum of sines. Frame f holds for the instant (f + 0.5) / framesPerSecond; between
// two frames a partial glides in frequency and amplitude to its nearest match in the
// next frame (within a semitone and a bit), and one without a match fades out or in over
// that stretch. Only the first partialLimit partials of each frame sound; silent ones
// never do. frames.size() / framesPerSecond seconds of sound.
std::vector<double> RenderPartialFrames(const PartialFrames& frames, int framesPerSecond, int sampleRate,
                                        int partialLimit);

}  // namespace varnolt::audio

// Reading recordings through libsndfile, mixed down to one channel.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

struct sf_private_tag;

namespace varnolt::audio {

// A recording that cannot be read, with a message fit for the user.
class SoundFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr int kHighestSampleRate = 768000;

struct SoundInfo {
    int sampleRate = 0;
    int channels = 0;
    std::int64_t frames = 0;  // samples per channel
};

// A recording opened for reading: one sample per instant, the mean of its channels.
class MonoSoundReader {
public:
    explicit MonoSoundReader(const std::string& path);
    ~MonoSoundReader();
    MonoSoundReader(const MonoSoundReader&) = delete;
    MonoSoundReader& operator=(const MonoSoundReader&) = delete;

    const SoundInfo& Info() const { return info_; }
    // Moves to the instant given (in samples from the start).
    void SeekTo(std::int64_t frame);
    // Reads up to count samples; fewer only at the end.
    std::size_t Read(double* out, std::size_t count);

private:
    std::string path_;
    sf_private_tag* file_ = nullptr;
    SoundInfo info_;
    std::vector<double> interleaved_;
};

// A stretch of a recording seen through windows centred on ever later instants. Only
// the samples the next windows may still need are kept, so any length fits in memory.
// Instants outside the stretch read as silence.
class WindowedStretch {
public:
    WindowedStretch(MonoSoundReader& reader, std::int64_t firstSample, std::int64_t sampleCount);
    // Fills out[0 .. length-1] with the samples centre - length/2 .. centre + length/2
    // (length odd), relative to the stretch's first sample. Centres must not decrease.
    void Window(std::int64_t centre, int length, double* out);

private:
    MonoSoundReader& reader_;
    std::int64_t sampleCount_;
    std::int64_t bufferStart_ = 0;  // stretch index of buffer_[0]
    std::int64_t samplesRead_ = 0;
    std::vector<double> buffer_;
};

// The bytes of a WAV file holding the samples given (interleaved when channels > 1), as
// 16-bit integers (clipped to full scale) or as 32-bit floats.
enum class WavSamples { Pcm16, Float32 };
std::string EncodeWav(const std::vector<double>& samples, int channels, int sampleRate, WavSamples format);

}  // namespace varnolt::audio

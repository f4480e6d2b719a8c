#include "soundfile.h"

#include <sndfile.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace varnolt::audio {

MonoSoundReader::MonoSoundReader(const std::string& path) : path_(path) {
    // A FIFO or a device would block or never end: only regular files are recordings.
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0) {
        throw SoundFileError(path + ": cannot open: " + std::strerror(errno));
    }
    if (!S_ISREG(status.st_mode)) throw SoundFileError(path + ": not a regular file");
    if (status.st_size == 0) throw SoundFileError(path + ": the file is empty");

    SF_INFO info{};
    file_ = sf_open(path.c_str(), SFM_READ, &info);
    if (file_ == nullptr) {
        throw SoundFileError(path + ": not a recording libsndfile can read (" + sf_strerror(nullptr) + ")");
    }
    info_ = {info.samplerate, info.channels, info.frames};
    if (info_.sampleRate <= 0 || info_.channels <= 0) {
        sf_close(file_);
        throw SoundFileError(path + ": the recording states no usable sample rate or channel count");
    }
    // A header may state any rate; the windows of a far higher one would not fit in memory.
    if (info_.sampleRate > kHighestSampleRate) {
        sf_close(file_);
        throw SoundFileError(path + ": a sample rate of " + std::to_string(info_.sampleRate) +
                             " Hz is more than the " + std::to_string(kHighestSampleRate) + " analysed");
    }
    if (info_.frames <= 0) {
        sf_close(file_);
        throw SoundFileError(path + ": the recording holds no sound");
    }
}

MonoSoundReader::~MonoSoundReader() { sf_close(file_); }

void MonoSoundReader::SeekTo(std::int64_t frame) {
    if (sf_seek(file_, frame, SEEK_SET) >= 0) return;
    // Some formats cannot seek: read up to the instant instead.
    if (sf_seek(file_, 0, SEEK_SET) < 0) throw SoundFileError(path_ + ": cannot seek in the recording");
    std::vector<double> skipped(4096);
    for (std::int64_t left = frame; left > 0;) {
        const std::size_t got = Read(skipped.data(), static_cast<std::size_t>(std::min<std::int64_t>(left, 4096)));
        if (got == 0) break;
        left -= static_cast<std::int64_t>(got);
    }
}

std::size_t MonoSoundReader::Read(double* out, std::size_t count) {
    const auto channels = static_cast<std::size_t>(info_.channels);
    interleaved_.resize(count * channels);
    const sf_count_t got = sf_readf_double(file_, interleaved_.data(), static_cast<sf_count_t>(count));
    if (got < 0) throw SoundFileError(path_ + ": cannot read the recording");
    if (sf_error(file_) != SF_ERR_NO_ERROR) {
        throw SoundFileError(path_ + ": cannot read the recording (" + sf_strerror(file_) + ")");
    }
    for (std::size_t i = 0; i < static_cast<std::size_t>(got); ++i) {
        double sum = 0.0;
        for (std::size_t c = 0; c < channels; ++c) sum += interleaved_[i * channels + c];
        out[i] = sum / static_cast<double>(channels);
    }
    return static_cast<std::size_t>(got);
}

WindowedStretch::WindowedStretch(MonoSoundReader& reader, std::int64_t firstSample, std::int64_t sampleCount)
    : reader_(reader), sampleCount_(sampleCount) {
    reader_.SeekTo(firstSample);
}

void WindowedStretch::Window(std::int64_t centre, int length, double* out) {
    const std::int64_t first = centre - length / 2;
    const std::int64_t end = std::min(first + length, sampleCount_);
    // Forget what no later window can reach.
    if (first > bufferStart_) {
        const std::int64_t drop = std::min<std::int64_t>(first - bufferStart_, static_cast<std::int64_t>(buffer_.size()));
        buffer_.erase(buffer_.begin(), buffer_.begin() + drop);
        bufferStart_ += drop;
    }
    if (end > samplesRead_) {
        const auto wanted = static_cast<std::size_t>(end - samplesRead_);
        const std::size_t kept = buffer_.size();
        buffer_.resize(kept + wanted);
        const std::size_t got = reader_.Read(buffer_.data() + kept, wanted);
        buffer_.resize(kept + got);
        samplesRead_ += static_cast<std::int64_t>(got);
        // A recording shorter than its header said: the rest is silence.
        if (got < wanted) sampleCount_ = samplesRead_;
    }
    for (int j = 0; j < length; ++j) {
        const std::int64_t index = first + j;
        const bool inside = index >= bufferStart_ && index < bufferStart_ + static_cast<std::int64_t>(buffer_.size());
        out[j] = inside ? buffer_[static_cast<std::size_t>(index - bufferStart_)] : 0.0;
    }
}

namespace {

// libsndfile writing into a string instead of a file.
struct MemoryFile {
    std::string bytes;
    sf_count_t position = 0;
};

SF_VIRTUAL_IO MemoryIo() {
    SF_VIRTUAL_IO io{};
    io.get_filelen = [](void* user) -> sf_count_t { return static_cast<sf_count_t>(static_cast<MemoryFile*>(user)->bytes.size()); };
    io.seek = [](sf_count_t offset, int whence, void* user) -> sf_count_t {
        auto* file = static_cast<MemoryFile*>(user);
        const sf_count_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? file->position : static_cast<sf_count_t>(file->bytes.size());
        file->position = std::max<sf_count_t>(0, base + offset);
        return file->position;
    };
    io.read = [](void* out, sf_count_t count, void* user) -> sf_count_t {
        auto* file = static_cast<MemoryFile*>(user);
        const auto size = static_cast<sf_count_t>(file->bytes.size());
        const sf_count_t got = std::clamp<sf_count_t>(size - file->position, 0, count);
        std::memcpy(out, file->bytes.data() + file->position, static_cast<std::size_t>(got));
        file->position += got;
        return got;
    };
    io.write = [](const void* in, sf_count_t count, void* user) -> sf_count_t {
        auto* file = static_cast<MemoryFile*>(user);
        const auto end = static_cast<std::size_t>(file->position + count);
        if (end > file->bytes.size()) file->bytes.resize(end);
        std::memcpy(file->bytes.data() + file->position, in, static_cast<std::size_t>(count));
        file->position += count;
        return count;
    };
    io.tell = [](void* user) -> sf_count_t { return static_cast<MemoryFile*>(user)->position; };
    return io;
}

}  // namespace

std::string EncodeWav(const std::vector<double>& samples, int channels, int sampleRate, WavSamples format) {
    SF_INFO info{};
    info.samplerate = sampleRate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | (format == WavSamples::Pcm16 ? SF_FORMAT_PCM_16 : SF_FORMAT_FLOAT);
    MemoryFile file;
    SF_VIRTUAL_IO io = MemoryIo();
    SNDFILE* sound = sf_open_virtual(&io, SFM_WRITE, &info, &file);
    if (sound == nullptr) throw SoundFileError(std::string("cannot make a WAV file: ") + sf_strerror(nullptr));
    // Beyond full scale the integers wrap around unless told to clip.
    sf_command(sound, SFC_SET_CLIPPING, nullptr, SF_TRUE);
    const sf_count_t frames = static_cast<sf_count_t>(samples.size()) / channels;
    const sf_count_t written = sf_writef_double(sound, samples.data(), frames);
    sf_close(sound);
    if (written != frames) throw SoundFileError("cannot make a WAV file");
    return std::move(file.bytes);
}

}  // namespace varnolt::audio

#include "analysecommand.h"

#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <new>
#include <optional>
#include <string>
#include <system_error>

#include "analysisfile.h"
#include "commandline.h"
#include "outputname.h"
#include "partialframes.h"
#include "sinusoidal.h"
#include "soundfile.h"

namespace varnolt::cli {

namespace {

using audio::AnalysisSettings;

constexpr int kMaxFrames = kMaxRecords - 1;
constexpr double kProgressFromSeconds = 5.0;  // shorter recordings are done before one looks
constexpr double kLongestSeconds = 365.0 * 24 * 3600;

struct AnalyseRequest {
    std::string input;
    std::string output;
    int framesPerSecond = 30;
    AnalysisSettings settings;
    double startSeconds = 0.0;
    std::optional<double> durationSeconds;
};

std::optional<double> ReadNumber(const std::string& text) {
    double value = 0.0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc() || result.ptr != text.data() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

// Parses the arguments; an empty string on success, else the problem.
std::string ParseRequest(const ParsedArguments& arguments, AnalyseRequest& request) {
    if (arguments.operands.size() != 1) {
        return arguments.operands.empty() ? "no INPUT to analyse" : "analyse takes one INPUT";
    }
    request.input = arguments.operands.front();
    if (arguments.OutputNamedTwice()) return std::string(kOutputNamedTwice);
    request.output = arguments.OutputOr("");
    for (const auto& [name, value] : arguments.values) {
        if (name == "-o" || name == "--output") continue;
        if (name == "--unit") {
            if (value != "15" && value != "20" && value != "30" && value != "60") {
                return "--unit must be 15, 20, 30 or 60, not '" + value + "'";
            }
            request.framesPerSecond = std::stoi(value);
            continue;
        }
        const std::optional<double> number = ReadNumber(value);
        if (!number) return name + " needs a number, not '" + value + "'";
        if (name == "--min-freq") request.settings.minFrequency = *number;
        if (name == "--max-freq") request.settings.maxFrequency = *number;
        if (name == "--start") request.startSeconds = *number;
        if (name == "--duration") request.durationSeconds = *number;
    }
    if (request.settings.minFrequency < 0 || request.settings.maxFrequency <= request.settings.minFrequency) {
        return "--min-freq and --max-freq must satisfy 0 <= min < max";
    }
    // Beyond a year of sound the sample counts would no longer fit their integers.
    if (request.startSeconds < 0 || request.startSeconds > kLongestSeconds) {
        return "--start must be from 0 to " + std::to_string(static_cast<long>(kLongestSeconds)) + " seconds";
    }
    if (request.durationSeconds && (*request.durationSeconds <= 0 || *request.durationSeconds > kLongestSeconds)) {
        return "--duration must be more than 0 and at most " + std::to_string(static_cast<long>(kLongestSeconds)) +
               " seconds";
    }
    if (request.output.empty()) request.output = ReplacedExtension(request.input, ".dat");
    return {};
}

// Shows how far the analysis is: one line rewritten on a terminal, a line a quarter
// in a log.
class Progress {
public:
    Progress(const std::string& name, int total, bool shown)
        : name_(name), total_(total), shown_(shown), terminal_(::isatty(STDERR_FILENO) == 1) {}

    void Update(int done) {
        if (!shown_) return;
        const int percent = static_cast<int>(100LL * done / total_);
        const int step = terminal_ ? 1 : 25;
        if (percent / step == lastShown_ / step) return;
        lastShown_ = percent;
        std::fprintf(stderr, terminal_ ? "\ranalysing %s: %d%%" : "analysing %s: %d%%\n", name_.c_str(), percent);
        if (terminal_ && done == total_) std::fputc('\n', stderr);
        std::fflush(stderr);
    }

private:
    std::string name_;
    int total_;
    bool shown_;
    bool terminal_;
    int lastShown_ = -1;
};

int Analyse(const AnalyseRequest& request) {
    audio::MonoSoundReader reader(request.input);
    const audio::SoundInfo& info = reader.Info();
    const double rate = info.sampleRate;

    const auto firstSample = static_cast<std::int64_t>(std::llround(request.startSeconds * rate));
    if (firstSample >= info.frames) {
        std::fprintf(stderr, "%s: --start %s is at or past the end of the recording (%s)\n", request.input.c_str(),
                     Seconds(request.startSeconds).c_str(), Seconds(info.frames / rate).c_str());
        return kExitFailed;
    }
    std::int64_t sampleCount = info.frames - firstSample;
    if (request.durationSeconds) {
        sampleCount = std::min(sampleCount, static_cast<std::int64_t>(std::llround(*request.durationSeconds * rate)));
    }
    const int fps = request.framesPerSecond;
    const std::int64_t frameCount = (sampleCount * fps + info.sampleRate - 1) / info.sampleRate;
    if (frameCount == 0) {
        std::fprintf(stderr, "%s: the part chosen holds no sound\n", request.input.c_str());
        return kExitFailed;
    }
    if (frameCount > kMaxFrames) {
        std::string ways = "analyse a part of it with --start and --duration";
        if (fps > 15) ways += ", or use a longer unit (--unit 15 holds " + Seconds(kMaxFrames / 15.0) + ")";
        std::fprintf(stderr,
                     "%s: %s of sound make %lld frames of 1/%d s, more than the %d an analysis file holds (%s at "
                     "this unit); %s\n",
                     request.input.c_str(), Seconds(sampleCount / rate).c_str(), static_cast<long long>(frameCount),
                     fps, kMaxFrames, Seconds(static_cast<double>(kMaxFrames) / fps).c_str(), ways.c_str());
        return kExitFailed;
    }
    if (IsSameFile(request.input, request.output)) {
        std::fprintf(stderr, "%s: the analysis file would replace the recording; name another with -o\n",
                     request.output.c_str());
        return kExitFailed;
    }

    AnalysisSettings settings = request.settings;
    settings.maxFrequency = std::min(settings.maxFrequency, rate / 2);
    audio::SinusoidalAnalyser analyser(info.sampleRate, settings);
    audio::WindowedStretch stretch(reader, firstSample, sampleCount);
    std::vector<double> window(static_cast<std::size_t>(analyser.WindowLength()));
    audio::PartialFrames frames(static_cast<std::size_t>(frameCount));
    std::size_t partialCount = 0;
    Progress progress(request.input, static_cast<int>(frameCount), sampleCount / rate > kProgressFromSeconds);
    for (std::int64_t f = 0; f < frameCount; ++f) {
        // Each window is centred on the middle of its frame.
        const auto centre = static_cast<std::int64_t>(std::llround((f + 0.5) * rate / fps));
        stretch.Window(centre, analyser.WindowLength(), window.data());
        frames[f] = analyser.Analyse(window.data());
        partialCount += frames[f].size();
        progress.Update(static_cast<int>(f + 1));
    }

    const std::string bytes = audio::EncodePartialFrames(frames, fps);
    const std::string message =
        WriteTextFile(bytes.data(), static_cast<std::int32_t>(bytes.size()), request.output, "the analysis file");
    if (!message.empty()) {
        std::fprintf(stderr, "%s: %s\n", request.output.c_str(), message.c_str());
        return kExitFailed;
    }
    std::printf("%s: %lld frames of 1/%d s (%s), %zu partials\n", request.output.c_str(),
                static_cast<long long>(frameCount), fps, Seconds(static_cast<double>(frameCount) / fps).c_str(),
                partialCount);
    return kExitSuccess;
}

}  // namespace

int RunAnalyseCommand(int argc, char** argv) {
    const ParsedArguments arguments = ParseArguments(
        argc, argv, 2, {"--unit", "-o", "--output", "--min-freq", "--max-freq", "--start", "--duration"});
    if (!arguments.problem.empty()) return UsageError(arguments.problem, kAnalyseUsage);
    if (arguments.helpRequested) return ShowHelp(kAnalyseUsage, kAnalyseHelp);
    AnalyseRequest request;
    if (const std::string problem = ParseRequest(arguments, request); !problem.empty()) {
        return UsageError(problem, kAnalyseUsage);
    }
    int status = kExitFailed;
    try {
        status = Analyse(request);
    } catch (const audio::SoundFileError& error) {
        std::fprintf(stderr, "%s\n", error.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: not enough memory to analyse it\n", request.input.c_str());
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "%s: %s\n", request.output.c_str(), error.what());
    }
    return StdoutIsIntact() ? status : kExitFailed;
}

}  // namespace varnolt::cli

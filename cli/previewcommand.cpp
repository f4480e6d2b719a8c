#include "previewcommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>
#include <optional>
#include <string>
#include <system_error>

#include "analysisfile.h"
#include "commandline.h"
#include "fmvoice.h"
#include "outputname.h"
#include "programcheck.h"
#include "programscore.h"
#include "soundfile.h"

namespace varnolt::cli {

namespace {

constexpr int kDefaultRate = 44100;
constexpr int kLowestRate = 8000;
constexpr int kHighestRate = 192000;
// Far beyond the largest program the converter writes (under 1 MB).
constexpr off_t kLargestProgram = 64 << 20;
constexpr std::size_t kProblemsShown = 20;
// The longest program the converter writes plays 20 minutes (17999 frames of 1/15 s). A
// text that asks for days of sound is refused rather than filling the memory, and so is
// a rate that would make the samples too many (25 minutes at 48 kHz).
constexpr int kLongestPreviewMinutes = 25;
constexpr std::int64_t kMostSamples = std::int64_t{kLongestPreviewMinutes} * 60 * 48000;

// The whole text, or an empty optional with the reason in problem.
std::optional<std::string> ReadProgram(const std::string& path, std::string& problem) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        problem = std::string("cannot open: ") + std::strerror(errno);
        return std::nullopt;
    }
    struct stat status {};
    std::string text;
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        problem = "not a regular file";
    } else if (status.st_size > kLargestProgram) {
        problem = "too large for a program text";
    } else {
        text.resize(static_cast<std::size_t>(status.st_size));
        std::size_t got = 0;
        while (got < text.size()) {
            const ssize_t n = ::read(fd, text.data() + got, text.size() - got);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                problem = std::string("cannot read: ") + std::strerror(errno);
                break;
            }
            if (n == 0) {
                problem = "the file shrank while it was read";
                break;
            }
            got += static_cast<std::size_t>(n);
        }
    }
    ::close(fd);
    if (!problem.empty()) return std::nullopt;
    return text;
}

int Preview(const std::string& input, const std::string& output, int rate) {
    if (IsSameFile(input, output)) {
        std::fprintf(stderr, "%s: the preview would replace the program; name another with -o\n", output.c_str());
        return kExitFailed;
    }
    std::string problem;
    const std::optional<std::string> text = ReadProgram(input, problem);
    if (!text) {
        std::fprintf(stderr, "%s: %s\n", input.c_str(), problem.c_str());
        return kExitFailed;
    }
    // What PLAY would refuse is refused here too. A line LOAD would cut is played whole,
    // with a warning: the converter writes such lines now and then.
    ProgramScore program;
    for (const ProgramFinding& finding : CheckProgramText(*text)) {
        if (finding.lineTooLong) {
            std::fprintf(stderr, "%s: warning: %s\n", input.c_str(), FindingText(finding).c_str());
        } else {
            program.problems.push_back(FindingText(finding));
        }
    }
    if (program.problems.empty()) {
        program = ScoreOfProgram(*text, std::int64_t{kLongestPreviewMinutes} * 60 * audio::kTicksPerSecond);
    }
    if (!program.problems.empty()) {
        for (std::size_t i = 0; i < program.problems.size() && i < kProblemsShown; ++i) {
            std::fprintf(stderr, "%s: %s\n", input.c_str(), program.problems[i].c_str());
        }
        if (program.problems.size() > kProblemsShown) {
            std::fprintf(stderr, "%s: and %zu more\n", input.c_str(), program.problems.size() - kProblemsShown);
        }
        std::fprintf(stderr, "%s: cannot be played; nothing written\n", input.c_str());
        return kExitFailed;
    }
    if (audio::ScoreTicks(program.channels) * rate / audio::kTicksPerSecond > kMostSamples) {
        std::fprintf(stderr, "%s: at %d Hz a preview holds at most %.1f minutes; choose a lower --rate\n",
                     input.c_str(), rate, static_cast<double>(kMostSamples) / rate / 60);
        return kExitFailed;
    }
    const std::vector<double> sound = audio::RenderScore(program.channels, rate);
    const std::string wav = audio::EncodeWav(sound, 1, rate, audio::WavSamples::Pcm16);
    const std::string message = WriteTextFile(wav.data(), static_cast<std::int32_t>(wav.size()), output, "the preview");
    if (!message.empty()) {
        std::fprintf(stderr, "%s: %s\n", output.c_str(), message.c_str());
        return kExitFailed;
    }
    std::printf("%s: %.2f s from %zu channels\n", output.c_str(), static_cast<double>(sound.size()) / rate,
                program.channels.size());
    return kExitSuccess;
}

}  // namespace

int RunPreviewCommand(int argc, char** argv) {
    const ParsedArguments arguments = ParseArguments(argc, argv, 2, {"-o", "--output", "--rate"});
    if (!arguments.problem.empty()) return UsageError(arguments.problem, kPreviewUsage);
    if (arguments.helpRequested) return ShowHelp(kPreviewUsage, kPreviewHelp);
    if (arguments.operands.size() != 1) {
        return UsageError(arguments.operands.empty() ? "no PROGRAM to preview" : "preview takes one PROGRAM",
                          kPreviewUsage);
    }
    const std::string input = arguments.operands.front();
    int rate = kDefaultRate;
    if (const auto found = arguments.values.find("--rate"); found != arguments.values.end()) {
        const std::string& text = found->second;
        const auto digits = text.find_first_not_of("0123456789");
        rate = digits == std::string::npos && !text.empty() && text.size() <= 6 ? std::stoi(text) : 0;
        if (rate < kLowestRate || rate > kHighestRate) {
            return UsageError("--rate must be a whole number from 8000 to 192000, not '" + text + "'", kPreviewUsage);
        }
    }
    if (arguments.OutputNamedTwice()) return UsageError(std::string(kOutputNamedTwice), kPreviewUsage);
    // Not PROGRAM.wav: that is likely the recording the program was made from.
    const std::string output = arguments.OutputOr(ReplacedExtension(input, ".preview.wav"));

    int status = kExitFailed;
    try {
        status = Preview(input, output, rate);
    } catch (const audio::SoundFileError& error) {
        std::fprintf(stderr, "%s: %s\n", output.c_str(), error.what());
    } catch (const std::bad_alloc&) {
        std::fprintf(stderr, "%s: not enough memory for the preview\n", input.c_str());
    } catch (const std::system_error& error) {
        std::fprintf(stderr, "%s: %s\n", output.c_str(), error.what());
    }
    return StdoutIsIntact() ? status : kExitFailed;
}

}  // namespace varnolt::cli

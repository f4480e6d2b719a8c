#include "plotcommand.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "analysisfile.h"
#include "commandline.h"
#include "driver.h"
#include "messages.h"
#include "outputname.h"
#include "plotsvg.h"
#include "worktables.h"

namespace varnolt::cli {

std::string PlotAnalysisFile(const std::string& path, const ConversionOptions& options, const std::string& output) {
    // The loaded image goes back to the pool on every way out, an exception included.
    struct ReleasePool {
        ~ReleasePool() { PoolAlloc(0); }
    } releasePool;
    int frameCount = 0;
    const std::string message = PrepareNotes(path, options, frameCount);
    if (!message.empty()) return message;
    const std::string svg = BuildPlotSvg({std::filesystem::path(path).filename().string(), frameCount,
                                          options.framesPerSecond, options.channelCount});
    return WriteTextFile(svg.data(), static_cast<std::int32_t>(svg.size()), output, "the picture");
}

int RunPlotCommand(int argc, char** argv) {
    const ParsedArguments arguments = ParseArguments(argc, argv, 2, {"--unit", "--channels", "-o", "--output"});
    if (!arguments.problem.empty()) return UsageError(arguments.problem, kPlotUsage);
    if (arguments.helpRequested) return ShowHelp(kPlotUsage, kPlotHelp);
    const std::string unit = arguments.ValueOr("--unit", "30");
    const std::string channels = arguments.ValueOr("--channels", "4");
    if (const std::string problem = UnitAndChannelsProblem(unit, channels); !problem.empty()) {
        return UsageError(problem, kPlotUsage);
    }
    if (arguments.operands.empty()) return UsageError("no FILE to plot", kPlotUsage);
    if (arguments.operands.size() > 1) return UsageError("plot takes one FILE", kPlotUsage);
    if (arguments.OutputNamedTwice()) return UsageError(std::string(kOutputNamedTwice), kPlotUsage);

    // The file is read as convert reads it, so that the picture is of the same notes.
    const std::string path = TrimPathText(arguments.operands.front());
    const std::string output = arguments.OutputOr(OutputPathFor(path, ".svg"));
    // A picture written over the analysis would lose it.
    if (IsSameFile(path, output)) return UsageError("the picture would replace FILE", kPlotUsage);

    ConversionOptions options;
    options.framesPerSecond = std::stoi(unit);
    options.channelCount = std::stoi(channels);
    std::string message;
    if (!NamesADatFile(path)) {
        message = messages::kNotADatFile;
    } else {
        try {
            message = PlotAnalysisFile(path, options, output);
        } catch (const std::system_error& error) {
            std::fprintf(stderr, "%s: %s\n", path.c_str(), error.what());
            return kExitFailed;
        }
    }
    const bool succeeded = message.empty();
    std::FILE* stream = succeeded ? stdout : stderr;
    std::fprintf(stream, "%s\n", succeeded ? std::string(messages::kFinished).c_str() : message.c_str());
    if (!succeeded) return kExitFailed;
    return StdoutIsIntact() ? kExitSuccess : kExitFailed;
}

}  // namespace varnolt::cli

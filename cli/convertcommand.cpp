#include "convertcommand.h"

#include <cstdio>
#include <string>
#include <system_error>
#include <vector>

#include "commandline.h"
#include "driver.h"
#include "messages.h"
#include "programcheck.h"

namespace varnolt::cli {

namespace {

// The checks of `varnolt check` on the program just written, as warnings; they change
// neither the program nor the outcome.
void WarnAboutProgram(const std::vector<ProgramFinding>& findings, const std::string& prefix) {
    for (const ProgramFinding& finding : findings) {
        std::fprintf(stderr, "%swarning: %s\n", prefix.c_str(), FindingText(finding).c_str());
    }
    std::fflush(stderr);
}

int ConvertFiles(const ConversionInputs& common, const std::vector<std::string>& files) {
    const bool manyFiles = files.size() > 1;
    bool anyFailed = false;
    for (const std::string& file : files) {
        ConversionInputs inputs = common;
        inputs.pathText = file;
        const std::string prefix = manyFiles ? file + ": " : std::string();
        try {
            // The outcome waits until the program is checked, so that it stays the last
            // line printed for the file. The bytes just written are checked where they
            // still are, not read back.
            std::string outcome;
            std::vector<ProgramFinding> findings;
            RunConversion(
                inputs, [&](const std::string& text, MessageKind) { outcome = text; },
                [&](std::string_view program) { findings = CheckProgramText(program); });
            const bool succeeded = outcome == messages::kFinished;
            anyFailed = anyFailed || !succeeded;
            if (succeeded) WarnAboutProgram(findings, prefix);
            std::FILE* stream = succeeded ? stdout : stderr;
            std::fprintf(stream, "%s%s\n", prefix.c_str(), outcome.c_str());
            std::fflush(stream);
        } catch (const std::system_error& error) {
            // The OS failed us after the open: name the file and go on with the next.
            anyFailed = true;
            std::fprintf(stderr, "%s: %s\n", file.c_str(), error.what());
            std::fflush(stderr);
        }
    }
    return anyFailed ? kExitFailed : kExitSuccess;
}

}  // namespace

int RunConvertCommand(int argc, char** argv) {
    const ParsedArguments arguments = ParseArguments(argc, argv, 2, {"--volume", "--unit", "--channels"});
    if (!arguments.problem.empty()) return UsageError(arguments.problem, kConvertUsage);
    if (arguments.helpRequested) return ShowHelp(kConvertUsage, kConvertHelp);
    const std::string unit = arguments.ValueOr("--unit", "30");
    const std::string channels = arguments.ValueOr("--channels", "4");
    if (const std::string problem = UnitAndChannelsProblem(unit, channels); !problem.empty()) {
        return UsageError(problem, kConvertUsage);
    }
    if (arguments.operands.empty()) return UsageError("no FILE to convert", kConvertUsage);

    ConversionInputs inputs;
    inputs.volumeText = arguments.ValueOr("--volume", "100");
    inputs.unit15Selected = unit == "15";
    inputs.unit20Selected = unit == "20";
    inputs.unit30Selected = unit == "30";
    inputs.unit60Selected = unit == "60";
    inputs.ch4Selected = channels == "4";
    inputs.ch5Selected = channels == "5";
    const int status = ConvertFiles(inputs, arguments.operands);
    // Lines a script never got are a failure too.
    return StdoutIsIntact() ? status : kExitFailed;
}

}  // namespace varnolt::cli

// The varnolt command: converts analysis files exactly as the dialog does.
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "driver.h"
#include "messages.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr const char* kUsage =
    "usage: varnolt convert [--volume TEXT] [--unit 15|20|30|60] [--channels 3|4|5] FILE...\n"
    "       varnolt --help | --version\n";

constexpr const char* kHelp =
    "varnolt turns a sound analysis (.dat) into an MSX-BASIC program (.txt) whose PLAY#2\n"
    "statements replay it on the MSX-MUSIC FM chip.\n"
    "\n"
    "usage: varnolt convert [--volume TEXT] [--unit 15|20|30|60] [--channels 3|4|5] FILE...\n"
    "       varnolt --help | --version\n"
    "\n"
    "convert writes FILE's program beside it: name.dat gives name.txt.\n"
    "  --volume TEXT      volume in percent, 20 to 200, read as the dialog reads it (default 100)\n"
    "  --unit N           frame duration 1/N second: 15, 20, 30 or 60 (default 30)\n"
    "  --channels N       FM channels to fill: 3, 4 or 5 (default 4)\n"
    "\n"
    "One line per FILE: the outcome alone for one FILE, \"FILE: outcome\" for several.\n"
    "Successes go to stdout, failures to stderr.\n"
    "Exit status: 0 all converted, 1 any conversion failed, 2 usage error.\n";

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "varnolt: %s\n%s", problem.c_str(), kUsage);
    return kExitUsage;
}

struct ConvertCommand {
    varnolt::ConversionInputs inputs;
    std::vector<std::string> files;
    bool helpRequested = false;
};

// Parses the arguments after "convert"; an empty string on success, else the problem.
std::string ParseConvertArguments(int argc, char** argv, ConvertCommand& command) {
    command.inputs.volumeText = "100";
    std::string unit = "30";
    std::string channels = "4";
    bool optionsEnded = false;
    for (int i = 2; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            command.files.emplace_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            command.helpRequested = true;
            return {};
        }
        std::string name(argument);
        std::string value;
        bool hasValue = false;
        if (const auto equals = name.find('='); equals != std::string::npos) {
            value = name.substr(equals + 1);
            name.resize(equals);
            hasValue = true;
        }
        if (name != "--volume" && name != "--unit" && name != "--channels") {
            return "unknown option '" + std::string(argument) + "'";
        }
        if (!hasValue) {
            if (i + 1 >= argc) return "option '" + name + "' needs a value";
            value = argv[++i];
        }
        if (name == "--volume") command.inputs.volumeText = value;
        if (name == "--unit") unit = value;
        if (name == "--channels") channels = value;
    }
    if (unit != "15" && unit != "20" && unit != "30" && unit != "60") {
        return "--unit must be 15, 20, 30 or 60, not '" + unit + "'";
    }
    if (channels != "3" && channels != "4" && channels != "5") {
        return "--channels must be 3, 4 or 5, not '" + channels + "'";
    }
    if (command.files.empty()) return "no FILE to convert";
    command.inputs.unit15Selected = unit == "15";
    command.inputs.unit20Selected = unit == "20";
    command.inputs.unit30Selected = unit == "30";
    command.inputs.unit60Selected = unit == "60";
    command.inputs.ch4Selected = channels == "4";
    command.inputs.ch5Selected = channels == "5";
    return {};
}

int RunConvert(const ConvertCommand& command) {
    const bool manyFiles = command.files.size() > 1;
    bool anyFailed = false;
    for (const std::string& file : command.files) {
        varnolt::ConversionInputs inputs = command.inputs;
        inputs.pathText = file;
        const std::string prefix = manyFiles ? file + ": " : std::string();
        try {
            varnolt::RunConversion(inputs, [&](const std::string& text, varnolt::MessageKind) {
                const bool succeeded = text == varnolt::messages::kFinished;
                anyFailed = anyFailed || !succeeded;
                std::FILE* stream = succeeded ? stdout : stderr;
                std::fprintf(stream, "%s%s\n", prefix.c_str(), text.c_str());
                std::fflush(stream);
            });
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

int main(int argc, char** argv) {
    // A file-size limit must fail the write (and keep the old output), not kill us.
    std::signal(SIGXFSZ, SIG_IGN);

    if (argc < 2) return UsageError("no command given");
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h") {
        std::fputs(kHelp, stdout);
        return kExitSuccess;
    }
    if (command == "--version") {
        std::printf("varnolt %s\n", VARNOLT_VERSION);
        return kExitSuccess;
    }
    if (command != "convert") return UsageError("unknown command '" + std::string(command) + "'");

    ConvertCommand convert;
    if (const std::string problem = ParseConvertArguments(argc, argv, convert); !problem.empty()) {
        return UsageError(problem);
    }
    if (convert.helpRequested) {
        std::fputs(kHelp, stdout);
        return kExitSuccess;
    }
    const int status = RunConvert(convert);
    // Lines a script never got are a failure too (a full disk behind stdout).
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) return kExitFailed;
    return status;
}

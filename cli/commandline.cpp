#include "commandline.h"

#include <algorithm>
#include <cstdio>

namespace varnolt::cli {

ParsedArguments ParseArguments(int argc, char** argv, int first, const std::vector<std::string_view>& options) {
    ParsedArguments parsed;
    bool optionsEnded = false;
    for (int i = first; i < argc; ++i) {
        const std::string_view argument = argv[i];
        if (optionsEnded || argument.empty() || argument[0] != '-' || argument == "-") {
            parsed.operands.emplace_back(argument);
            continue;
        }
        if (argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (argument == "--help" || argument == "-h") {
            parsed.helpRequested = true;
            return parsed;
        }
        std::string name(argument);
        std::string value;
        bool hasValue = false;
        if (const auto equals = name.find('='); equals != std::string::npos && name.starts_with("--")) {
            value = name.substr(equals + 1);
            name.resize(equals);
            hasValue = true;
        }
        if (std::find(options.begin(), options.end(), name) == options.end()) {
            parsed.problem = "unknown option '" + std::string(argument) + "'";
            return parsed;
        }
        if (!hasValue) {
            if (i + 1 >= argc) {
                parsed.problem = "option '" + name + "' needs a value";
                return parsed;
            }
            value = argv[++i];
        }
        parsed.values[name] = value;
    }
    return parsed;
}

std::string UnitAndChannelsProblem(const std::string& unit, const std::string& channels) {
    if (unit != "15" && unit != "20" && unit != "30" && unit != "60") {
        return "--unit must be 15, 20, 30 or 60, not '" + unit + "'";
    }
    if (channels != "3" && channels != "4" && channels != "5") {
        return "--channels must be 3, 4 or 5, not '" + channels + "'";
    }
    return {};
}

int ShowHelp(std::string_view usage, std::string_view help) {
    std::fwrite(usage.data(), 1, usage.size(), stdout);
    std::fwrite(help.data(), 1, help.size(), stdout);
    return StdoutIsIntact() ? kExitSuccess : kExitFailed;
}

int UsageError(const std::string& problem, std::string_view usage) {
    std::fprintf(stderr, "varnolt: %s\n%.*s", problem.c_str(), static_cast<int>(usage.size()), usage.data());
    return kExitUsage;
}

bool StdoutIsIntact() { return std::fflush(stdout) == 0 && !std::ferror(stdout); }

}  // namespace varnolt::cli

// What every varnolt sub-command shares: exit codes and the way options are read.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace varnolt::cli {

inline constexpr int kExitSuccess = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

struct ParsedArguments {
    std::map<std::string, std::string> values;  // option name -> its last value
    std::vector<std::string> operands;
    bool helpRequested = false;
    std::string problem;  // empty when the arguments make sense

    std::string ValueOr(const std::string& name, const std::string& fallback) const {
        const auto found = values.find(name);
        return found == values.end() ? fallback : found->second;
    }

    // -o and --output name one thing; given both, which came last is no longer known.
    bool OutputNamedTwice() const { return values.contains("-o") && values.contains("--output"); }
    std::string OutputOr(const std::string& fallback) const { return ValueOr("-o", ValueOr("--output", fallback)); }
};

inline constexpr std::string_view kOutputNamedTwice = "give the output once, with -o or --output";

// Reads argv[first] on. Every option takes a value: "--name value", "--name=value", or
// "-x value" for a short name in the list. "--" ends the options; "-" and "" are
// operands; "-h" or "--help" asks for help (where it is not an option's value).
ParsedArguments ParseArguments(int argc, char** argv, int first, const std::vector<std::string_view>& options);

// What is wrong with a --unit or --channels value; empty when both are offered ones.
std::string UnitAndChannelsProblem(const std::string& unit, const std::string& channels);

// Prints the usage and the help to stdout; returns the exit status.
int ShowHelp(std::string_view usage, std::string_view help);

// Prints "varnolt: PROBLEM" and the usage to stderr; returns the usage exit code.
int UsageError(const std::string& problem, std::string_view usage);

// Flushes stdout: false when lines a script expects were lost (a full disk behind it).
bool StdoutIsIntact();

}  // namespace varnolt::cli

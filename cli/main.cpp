// The varnolt command: one sub-command per job, each in its own file pair.
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>

#include "checkcommand.h"
#include "commandline.h"
#include "convertcommand.h"

namespace {

using namespace varnolt::cli;

constexpr std::string_view kIntro =
    "varnolt turns a sound analysis (.dat) into an MSX-BASIC program (.txt) whose PLAY#2\n"
    "statements replay it on the MSX-MUSIC FM chip.\n"
    "\n";

constexpr std::string_view kMoreUsage = "       varnolt --help | --version\n";

// A sub-command's usage as a further line under the first: "usage:" becomes blanks.
std::string FurtherUsage(std::string_view usage) {
    return std::string(usage).replace(0, std::string_view("usage:").size(), "      ");
}

std::string AllUsage() { return std::string(kConvertUsage) + FurtherUsage(kCheckUsage) + std::string(kMoreUsage); }

void Print(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

void PrintHelp() {
    Print(kIntro);
    Print(AllUsage());
    Print("\n");
    Print(kConvertHelp);
    Print("\n");
    Print(kCheckHelp);
    Print("\nExit status: 0 success, 1 any failure (for check: any finding), 2 usage error.\n");
}

}  // namespace

int main(int argc, char** argv) {
    // A file-size limit must fail the write (and keep the old output), not kill us.
    std::signal(SIGXFSZ, SIG_IGN);

    if (argc < 2) return UsageError("no command given", AllUsage());
    const std::string_view command = argv[1];
    if (command == "--help" || command == "-h") {
        PrintHelp();
        return StdoutIsIntact() ? kExitSuccess : kExitFailed;
    }
    if (command == "--version") {
        std::printf("varnolt %s\n", VARNOLT_VERSION);
        return StdoutIsIntact() ? kExitSuccess : kExitFailed;
    }
    if (command == "convert") return RunConvertCommand(argc, argv);
    if (command == "check") return RunCheckCommand(argc, argv);
    return UsageError("unknown command '" + std::string(command) + "'", AllUsage());
}

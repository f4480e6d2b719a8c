// The varnolt command: one sub-command per job, each in its own file pair.
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "analysecommand.h"
#include "checkcommand.h"
#include "commandline.h"
#include "convertcommand.h"
#include "plotcommand.h"
#include "previewcommand.h"

namespace {

using namespace varnolt::cli;

constexpr std::string_view kIntro =
    "varnolt turns a sound analysis (.dat) into an MSX-BASIC program (.txt) whose PLAY#2\n"
    "statements replay it on the MSX-MUSIC FM chip.\n"
    "\n";

constexpr std::string_view kMoreUsage = "       varnolt --help | --version\n";

void Print(std::string_view text) { std::fwrite(text.data(), 1, text.size(), stdout); }

// Every sub-command's usage, "usage: " written once.
std::string AllUsage() {
    std::string all;
    for (const std::string_view usage : {kConvertUsage, kCheckUsage, kAnalyseUsage, kPreviewUsage, kPlotUsage, kMoreUsage}) {
        std::string text(usage);
        if (!all.empty() && text.starts_with("usage: ")) text.replace(0, 7, "       ");
        all += text;
    }
    return all;
}

void PrintHelp() {
    Print(kIntro);
    Print(AllUsage());
    for (const std::string_view help : {kConvertHelp, kCheckHelp, kAnalyseHelp, kPreviewHelp, kPlotHelp}) {
        Print("\n");
        Print(help);
    }
    Print("\nExit status: 0 success, 1 any failure (for check: any finding), 2 usage error.\n");
}

// Commands that read or write recordings run in varnolt-audio, beside this program: the
// audio libraries would slow down the start of every conversion.
int RunInCompanion(char** argv) {
    std::string companion = "varnolt-audio";
    char self[4096];
    const ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
    if (length > 0) {
        const std::string path(self, static_cast<std::size_t>(length));
        companion = path.substr(0, path.rfind('/') + 1) + companion;
    }
    argv[0] = companion.data();
    ::execv(companion.c_str(), argv);
    std::fprintf(stderr, "varnolt: %s needs %s: %s\n", argv[1], companion.c_str(), std::strerror(errno));
    return kExitFailed;
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
    if (command == "plot") return RunPlotCommand(argc, argv);
    if (command == "analyse" || command == "preview") return RunInCompanion(argv);
    return UsageError("unknown command '" + std::string(command) + "'", AllUsage());
}

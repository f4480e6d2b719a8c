// varnolt-audio: the sub-commands of varnolt that read or write recordings. varnolt
// hands them over to this companion, so that it need not load the audio libraries.
#include <csignal>
#include <cstdio>
#include <string>
#include <string_view>

#include "analysecommand.h"
#include "commandline.h"
#include "previewcommand.h"

int main(int argc, char** argv) {
    using namespace varnolt::cli;
    std::signal(SIGXFSZ, SIG_IGN);
    const std::string_view command = argc >= 2 ? argv[1] : "";
    if (command == "analyse") return RunAnalyseCommand(argc, argv);
    if (command == "preview") return RunPreviewCommand(argc, argv);
    return UsageError(command.empty() ? "no command given" : "unknown command '" + std::string(command) + "'",
                      std::string(kAnalyseUsage) + std::string(kPreviewUsage));
}

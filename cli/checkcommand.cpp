#include "checkcommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "commandline.h"

namespace varnolt::cli {

namespace {

std::string SystemReason(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Checks one file; true when it is clean.
bool CheckFile(const std::string& file) {
    const ProgramFileCheck check = CheckProgramFile(file);
    if (!check.problem.empty()) {
        std::fprintf(stderr, "%s: cannot check: %s\n", file.c_str(), check.problem.c_str());
        std::fflush(stderr);
        return false;
    }
    for (const ProgramFinding& finding : check.findings) {
        // The line of the file first, for editors and grep; the BASIC line number in the text.
        const std::string text = finding.lineNumber < 0 ? finding.message : FindingText(finding);
        std::printf("%s:%d: %s\n", file.c_str(), finding.physicalLine, text.c_str());
    }
    return check.findings.empty();
}

}  // namespace

ProgramFileCheck CheckProgramFile(const std::string& path) {
    ProgramFileCheck check;
    // Non-blocking, so that opening a FIFO does not wait for a writer; regular files
    // read the same either way.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        check.problem = SystemReason("cannot open it");
        return check;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        check.problem = SystemReason("cannot read it");
    } else if (!S_ISREG(status.st_mode)) {
        check.problem = "not a regular file";
    } else if (static_cast<std::size_t>(status.st_size) > kLargestCheckedProgram) {
        check.problem = "larger than " + std::to_string(kLargestCheckedProgram / (1024 * 1024)) +
                        " MiB, which no program text is";
    } else {
        // A small buffer used over and over: in a fresh process, fresh memory for a whole
        // file costs more at first touch than the check itself.
        ProgramTextChecker checker;
        char buffer[16384];
        auto remaining = static_cast<std::size_t>(status.st_size);  // what it held when opened
        while (remaining > 0) {
            const ssize_t count = ::read(descriptor, buffer, std::min(sizeof buffer, remaining));
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) {
                check.problem = SystemReason("cannot read it");
                break;
            }
            if (count == 0) break;  // it shrank while we read it: the rest is gone
            checker.Add(std::string_view(buffer, static_cast<std::size_t>(count)));
            remaining -= static_cast<std::size_t>(count);
        }
        if (check.problem.empty()) check.findings = checker.Finish();
    }
    ::close(descriptor);
    return check;
}

int RunCheckCommand(int argc, char** argv) {
    const ParsedArguments arguments = ParseArguments(argc, argv, 2, {});
    if (!arguments.problem.empty()) return UsageError(arguments.problem, kCheckUsage);
    if (arguments.helpRequested) return ShowHelp(kCheckUsage, kCheckHelp);
    if (arguments.operands.empty()) return UsageError("no FILE to check", kCheckUsage);

    bool allClean = true;
    for (const std::string& file : arguments.operands) allClean = CheckFile(file) && allClean;
    // Findings a script never got leave nothing clean.
    return StdoutIsIntact() && allClean ? kExitSuccess : kExitFailed;
}

}  // namespace varnolt::cli

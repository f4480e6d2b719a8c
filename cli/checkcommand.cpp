#include "checkcommand.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "commandline.h"
#include "programcheck.h"

namespace varnolt::cli {

namespace {

std::string SystemReason(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Checks one file; true when it is clean.
bool CheckFile(const std::string& file) {
    const ProgramFile program = ReadProgramFile(file);
    if (!program.problem.empty()) {
        std::fprintf(stderr, "%s: cannot check: %s\n", file.c_str(), program.problem.c_str());
        std::fflush(stderr);
        return false;
    }
    const std::vector<ProgramFinding> findings = CheckProgramText(program.text);
    for (const ProgramFinding& finding : findings) {
        // The line of the file first, for editors and grep; the BASIC line number in the text.
        const std::string text = finding.lineNumber < 0 ? finding.message : FindingText(finding);
        std::printf("%s:%d: %s\n", file.c_str(), finding.physicalLine, text.c_str());
    }
    return findings.empty();
}

}  // namespace

ProgramFile ReadProgramFile(const std::string& path) {
    ProgramFile program;
    // Non-blocking, so that opening a FIFO does not wait for a writer; regular files
    // read the same either way.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        program.problem = SystemReason("cannot open it");
        return program;
    }
    struct stat status {};
    if (::fstat(descriptor, &status) != 0) {
        program.problem = SystemReason("cannot read it");
    } else if (!S_ISREG(status.st_mode)) {
        program.problem = "not a regular file";
    } else if (static_cast<std::size_t>(status.st_size) > kLargestCheckedProgram) {
        program.problem = "larger than " + std::to_string(kLargestCheckedProgram / (1024 * 1024)) +
                          " MiB, which no program text is";
    } else {
        char buffer[65536];
        while (true) {
            const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
            if (count < 0 && errno == EINTR) continue;
            if (count < 0) {
                program.problem = SystemReason("cannot read it");
                break;
            }
            if (count == 0) break;
            program.text.append(buffer, static_cast<std::size_t>(count));
            if (program.text.size() > kLargestCheckedProgram) {  // it grew while we read it
                program.problem = "larger than " + std::to_string(kLargestCheckedProgram / (1024 * 1024)) +
                                  " MiB, which no program text is";
                break;
            }
        }
    }
    ::close(descriptor);
    if (!program.problem.empty()) program.text.clear();
    return program;
}

int RunCheckCommand(int argc, char** argv) {
    const ParsedArguments arguments = ParseArguments(argc, argv, 2, {});
    if (!arguments.problem.empty()) return UsageError(arguments.problem, kCheckUsage);
    if (arguments.helpRequested) {
        std::printf("%.*s%.*s", static_cast<int>(kCheckUsage.size()), kCheckUsage.data(),
                    static_cast<int>(kCheckHelp.size()), kCheckHelp.data());
        return StdoutIsIntact() ? kExitSuccess : kExitFailed;
    }
    if (arguments.operands.empty()) return UsageError("no FILE to check", kCheckUsage);

    bool allClean = true;
    for (const std::string& file : arguments.operands) allClean = CheckFile(file) && allClean;
    // Findings a script never got leave nothing clean.
    return StdoutIsIntact() && allClean ? kExitSuccess : kExitFailed;
}

}  // namespace varnolt::cli

// Runs a program as a child process: its exit status, its output and its peak memory.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "fixtures.h"

namespace varnolt::testing {

struct ProcessResult {
    int status = -1;    // exit status, or -1 when killed by a signal
    std::string out;
    std::string err;
    long maxRssKb = 0;  // peak resident memory of this child alone
    double seconds = 0;
};

struct ProcessOptions {
    ProcessOptions(std::string workingFolder = {}, rlim_t fileSizeBytes = RLIM_INFINITY, double timeout = 60)
        : folder(std::move(workingFolder)), fileSizeLimit(fileSizeBytes), timeoutSeconds(timeout) {}

    std::string folder;                   // working folder; empty: ours
    rlim_t fileSizeLimit = RLIM_INFINITY; // bytes
    double timeoutSeconds = 60;           // then it is killed: a hang fails, not stalls
    std::string stdoutPath;               // where its output goes instead of being kept
    bool stderrIntoStdout = false;        // both streams into out, in the order written
    uid_t userId = static_cast<uid_t>(-1);  // run as this user (we must be root)
};

class ChildProcess {
public:
    ChildProcess(const std::vector<std::string>& arguments, const ProcessOptions& options = {}) {
        outPath_ = TemporaryPath();
        errPath_ = TemporaryPath();
        start_ = std::chrono::steady_clock::now();
        timeout_ = options.timeoutSeconds;
        pid_ = ::fork();
        if (pid_ == 0) {
            // Only async-signal-safe calls from here to exec.
            if (!options.folder.empty() && ::chdir(options.folder.c_str()) != 0) ::_exit(126);
            if (options.fileSizeLimit != RLIM_INFINITY) {
                const rlimit limit{options.fileSizeLimit, options.fileSizeLimit};
                ::setrlimit(RLIMIT_FSIZE, &limit);
            }
            const int out = ::open(options.stdoutPath.empty() ? outPath_.c_str() : options.stdoutPath.c_str(), O_WRONLY | O_TRUNC);
            const int err = options.stderrIntoStdout ? out : ::open(errPath_.c_str(), O_WRONLY | O_TRUNC);
            ::dup2(out, 1);
            ::dup2(err, 2);
            // Another user only once our output files are open.
            if (options.userId != static_cast<uid_t>(-1)) {
                if (::setgroups(0, nullptr) != 0 || ::setgid(options.userId) != 0 || ::setuid(options.userId) != 0) {
                    ::_exit(125);
                }
            }
            std::vector<char*> argv;
            for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            ::execv(argv[0], argv.data());
            ::_exit(127);
        }
    }
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;
    ~ChildProcess() {
        if (pid_ > 0) Wait();
        ::unlink(outPath_.c_str());
        ::unlink(errPath_.c_str());
    }

    ProcessResult Wait() {
        ProcessResult result;
        int raw = 0;
        rusage usage{};
        while (::wait4(pid_, &raw, WNOHANG, &usage) == 0) {
            if (std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count() > timeout_) {
                ::kill(pid_, SIGKILL);
                ::wait4(pid_, &raw, 0, &usage);
                break;
            }
            ::usleep(1000);
        }
        pid_ = -1;
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
        result.maxRssKb = usage.ru_maxrss;
        result.out = ReadFile(outPath_);
        result.err = ReadFile(errPath_);
        return result;
    }

private:
    static std::string TemporaryPath() {
        std::string path = "/tmp/varnolt-child-XXXXXX";
        ::close(::mkstemp(path.data()));
        return path;
    }
    pid_t pid_ = -1;
    std::string outPath_;
    std::string errPath_;
    std::chrono::steady_clock::time_point start_;
    double timeout_ = 0;
};

inline ProcessResult RunProcess(const std::vector<std::string>& arguments, const ProcessOptions& options = {}) {
    return ChildProcess(arguments, options).Wait();
}

#ifdef VARNOLT_COMMAND
// The varnolt command under test with these arguments.
inline ProcessResult RunVarnolt(const std::vector<std::string>& arguments, const ProcessOptions& options = {}) {
    std::vector<std::string> command = {VARNOLT_COMMAND};
    command.insert(command.end(), arguments.begin(), arguments.end());
    return RunProcess(command, options);
}
#endif

}  // namespace varnolt::testing

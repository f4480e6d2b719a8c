#include "analysisfile.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <system_error>

#include "messages.h"
#include "worktables.h"

namespace varnolt {

namespace {

[[noreturn]] void ThrowOsError(const std::string& operation) {
    throw std::system_error(errno, std::system_category(), operation);
}

// Closes on every way out; Close() reports a failing close, the destructor cannot.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    void Close(const std::string& operation) {
        const int fd = fd_;
        fd_ = -1;
        if (::close(fd) != 0) ThrowOsError(operation);
    }

private:
    int fd_;
};

// The folder part of a path, with its final slash; empty for the current folder.
std::string FolderOf(const std::string& path) {
    const auto slash = path.rfind('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

bool IsFolder(const std::string& path) {
    struct stat status {};
    return ::stat(path.empty() ? "." : path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

mode_t CurrentUmask() {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

std::string LoadAnalysisFile(const std::string& path, std::int32_t tailBytes, std::uint8_t*& block,
                             std::int32_t& length) {
    // A NUL would silently cut the name short and open some other file.
    if (path.find('\0') != std::string::npos) return std::string(messages::kCannotOpen);

    // Not even opened when it is no regular file: opening a device can have effects.
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0 && !S_ISREG(status.st_mode)) return std::string(messages::kCannotOpen);

    // O_NONBLOCK: opening a FIFO must not wait for a writer (it may appear after the check).
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        // "Not found" only when the folder exists; a missing folder is an open failure.
        if (errno == ENOENT && IsFolder(FolderOf(path))) return std::string(messages::kFileNotFound);
        return std::string(messages::kCannotOpen);
    }
    FileDescriptor file(fd);

    if (::fstat(file.get(), &status) != 0) ThrowOsError("cannot query the size of the analysis file");
    if (!S_ISREG(status.st_mode)) return std::string(messages::kCannotOpen);
    // Stands in for opening without sharing: a file another process holds locked is
    // refused, and nobody who asks gets it while we read.
    if (::flock(file.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        return std::string(messages::kCannotOpen);
    }
    // Decided from the size alone, so a huge (or sparse) file is never read.
    if (status.st_size > kMaxFileBytes) return std::string(messages::kTooMuchData);

    const auto fileLength = static_cast<std::int32_t>(status.st_size);
    length = fileLength;
    block = static_cast<std::uint8_t*>(PoolAlloc(fileLength + tailBytes));
    if (block == nullptr) return std::string(messages::kOutOfMemory);
    PrefaultForWriting(block, static_cast<std::size_t>(fileLength) + static_cast<std::size_t>(tailBytes));

    std::int32_t bytesRead = 0;
    while (bytesRead < fileLength) {
        const ssize_t n = ::read(file.get(), block + bytesRead, static_cast<std::size_t>(fileLength - bytesRead));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowOsError("cannot read the analysis file");
        }
        if (n == 0) break;  // the file shrank since its size was taken
        bytesRead += static_cast<std::int32_t>(n);
    }
    std::string message = bytesRead == fileLength ? std::string() : std::string(messages::kReadError);
    file.Close("cannot close the analysis file");
    std::memset(block + fileLength, 0, static_cast<std::size_t>(tailBytes));
    return message;
}

std::string WriteTextFile(const char* bytes, std::int32_t count, const std::string& outputPath,
                          std::string_view contents) {
    if (outputPath.find('\0') != std::string::npos) return std::string(messages::kCannotCreate);

    // Through a symbolic link to the file it names, as an ordinary open would write.
    std::string target = outputPath;
    struct stat status {};
    if (::lstat(target.c_str(), &status) == 0 && S_ISLNK(status.st_mode)) {
        char* resolved = ::realpath(target.c_str(), nullptr);
        if (resolved == nullptr) return std::string(messages::kCannotCreate);
        target = resolved;
        std::free(resolved);
    }
    mode_t mode = 0666 & ~CurrentUmask();
    if (::stat(target.c_str(), &status) == 0) {
        // A file we may not write is not replaced either, though the folder would allow it.
        if (!S_ISREG(status.st_mode) || ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) {
            return std::string(messages::kCannotCreate);
        }
        mode = status.st_mode & 0777;  // replacing a file keeps its permissions, not set-id bits
    }

    // Written beside the target and renamed over it only when complete: the previous
    // output survives any failure, and no reader ever sees half a program.
    std::string temporaryPath = FolderOf(target) + ".varnolt-XXXXXX";
    const int fd = ::mkostemp(temporaryPath.data(), O_CLOEXEC);
    if (fd < 0) return std::string(messages::kCannotCreate);
    FileDescriptor file(fd);
    struct RemoveUnlessKept {
        const std::string& path;
        bool keep = false;
        ~RemoveUnlessKept() {
            if (!keep) ::unlink(path.c_str());
        }
    } temporary{temporaryPath};

    ::fchmod(file.get(), mode);
    std::int32_t written = 0;
    while (written < count) {
        const ssize_t n = ::write(file.get(), bytes + written, static_cast<std::size_t>(count - written));
        if (n < 0) {
            if (errno == EINTR) continue;
            ThrowOsError("cannot write " + std::string(contents));
        }
        written += static_cast<std::int32_t>(n);
    }
    file.Close("cannot close " + std::string(contents));
    // Refused only by the folder's rules (a sticky folder, another owner): the output
    // cannot be put in place, which is what the message says; the temporary file goes.
    if (::rename(temporaryPath.c_str(), target.c_str()) != 0) return std::string(messages::kCannotCreate);
    temporary.keep = true;
    return {};
}

}  // namespace varnolt

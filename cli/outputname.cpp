#include "outputname.h"

#include <sys/stat.h>

namespace varnolt::cli {

std::string ReplacedExtension(const std::string& path, const std::string& extension) {
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    // A leading dot starts a hidden name, not an extension.
    if (dot == std::string::npos || dot <= nameStart) return path + extension;
    return path.substr(0, dot) + extension;
}

bool IsSameFile(const std::string& a, const std::string& b) {
    struct stat first {}, second {};
    return ::stat(a.c_str(), &first) == 0 && ::stat(b.c_str(), &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

}  // namespace varnolt::cli

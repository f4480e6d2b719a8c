// Names for what a command writes beside its input.
#pragma once

#include <string>

namespace varnolt::cli {

// The path with the extension of its last name, if any, replaced by extension (".wav"):
// "a/voice.flac" gives "a/voice.wav", "a/voice" and "a/.hidden" get it appended.
std::string ReplacedExtension(const std::string& path, const std::string& extension);

// Both paths name one existing file (also through links).
bool IsSameFile(const std::string& a, const std::string& b);

}  // namespace varnolt::cli

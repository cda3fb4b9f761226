#pragma once

#include <string>
#include <string_view>

namespace velmora {

// Writes `data` to `path` whole or not at all: the bytes go to a temporary file in the
// same folder, which is then renamed over `path`. On failure nothing is left behind
// and Error is thrown, naming the file and the system's reason.
void WriteFileAtomically(const std::string &path, std::string_view data);

// Reads the whole file; throws Error naming the file when it cannot be read.
std::string ReadWholeFile(const std::string &path);

} // namespace velmora

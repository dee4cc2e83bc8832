// A whole file read on Linux, for the checker's folder and kiln-pack alike.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace kiln {

// Nothing when the path is no regular file that opens, or holds more than
// maxBytes; a FIFO is never waited on.
std::optional<std::string> ReadPosixFile(const std::string& path, uint64_t maxBytes);

}  // namespace kiln

// A zip archive of files, deflated by zlib, names in UTF-8, with the files'
// times, as Explorer's "Extract all" and every store's uploader read it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kiln {

struct ZipEntry {
  std::string name;  // "/" between folder names
  std::string bytes;
  int64_t modified = 0;  // seconds since 1970, UTC
};

// Empty when zlib fails or the archive would need the zip64 extensions
// (4 GiB or more, or 65535 files).
std::string ZipArchive(const std::vector<ZipEntry>& entries);

}  // namespace kiln

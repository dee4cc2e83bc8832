// A content file kept mapped for range requests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <tuple>

namespace kiln {

// Which file a handle has open, whatever name reached it: a name that
// differs in letter case, a short name and a link all lead to the same file.
struct FileIdentity {
  uint32_t volume = 0;
  uint64_t index = 0;

  bool operator<(const FileIdentity& other) const {
    return std::tie(volume, index) < std::tie(other.volume, other.index);
  }
  bool operator==(const FileIdentity& other) const {
    return volume == other.volume && index == other.index;
  }
};

inline FileIdentity IdentityOf(const BY_HANDLE_FILE_INFORMATION& information) {
  return {information.dwVolumeSerialNumber,
          (static_cast<uint64_t>(information.nFileIndexHigh) << 32) | information.nFileIndexLow};
}

// One read-only view of a whole file, with the handles that keep it alive.
// While it exists the file handle lets others read the file but not change,
// rename or delete it, so the view always matches the size below.
struct MappedFile {
  HANDLE file = INVALID_HANDLE_VALUE;
  HANDLE mapping = nullptr;
  const void* view = nullptr;
  uint64_t size = 0;  // bytes the view covers: the file's size when mapped
};

}  // namespace kiln

// A content file kept mapped for range requests.
#pragma once

#include <windows.h>

#include <cstdint>

namespace kiln {

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

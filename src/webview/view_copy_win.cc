#include "webview/view_copy_win.h"

#include <windows.h>

#include <algorithm>

namespace kiln {

// Read at explicit offsets, the file's own position never relied on, from
// the handle that keeps the mapping's file from changing: the bytes are
// those of the view, and the system serves them from the same cache.
bool CopyFromMappedFile(const MappedFile& mapped, uint64_t first, void* to, size_t count) {
  char* const into = static_cast<char*>(to);
  size_t done = 0;
  while (done < count) {
    const uint64_t at = first + done;
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
    DWORD read = 0;
    if (!ReadFile(mapped.file, into + done, wanted, &read, &where) || read == 0) return false;
    done += read;
  }
  return true;
}

}  // namespace kiln

#include "webview/content_bodies_win.h"

#include <algorithm>
#include <new>
#include <string>
#include <utility>

#include "webview/byte_streams_win.h"
#include "webview/content_answer.h"

namespace kiln {

ComRef<IStream> NotFoundBody() { return MemoryStream(std::string(kNotFoundText)); }

ComRef<IStream> RangeBody(HANDLE file, uint64_t first, uint64_t count) {
  if (file == INVALID_HANDLE_VALUE || count > kCopiedRangeBytes) return FileRangeStream(file, first, count);
  std::string bytes;
  try {
    bytes.resize(static_cast<size_t>(count));
  } catch (const std::bad_alloc&) {
    return FileRangeStream(file, first, count);
  }
  const bool copied = CopyFileRange(file, first, bytes.data(), bytes.size());
  CloseHandle(file);
  return copied ? MemoryStream(std::move(bytes)) : nullptr;
}

ComRef<IStream> CopiedRangeBody(HANDLE file, uint64_t first, uint64_t count) {
  if (file == INVALID_HANDLE_VALUE || count > kCopiedRangeBytes) return nullptr;
  std::string bytes;
  try {
    bytes.resize(static_cast<size_t>(count));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (!CopyFileRange(file, first, bytes.data(), bytes.size())) return nullptr;
  return MemoryStream(std::move(bytes));
}

bool CopyFileRange(HANDLE file, uint64_t first, void* to, size_t count) {
  char* const into = static_cast<char*>(to);
  size_t done = 0;
  while (done < count) {
    const uint64_t at = first + done;
    OVERLAPPED where = {};
    where.Offset = static_cast<DWORD>(at);
    where.OffsetHigh = static_cast<DWORD>(at >> 32);
    const DWORD wanted = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 30));
    DWORD read = 0;
    if (!ReadFile(file, into + done, wanted, &read, &where) || read == 0) return false;
    done += read;
  }
  return true;
}

}  // namespace kiln

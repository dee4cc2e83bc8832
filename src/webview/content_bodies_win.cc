#include "webview/content_bodies_win.h"

#include <new>
#include <string>

#include "webview/byte_streams_win.h"
#include "webview/content_answer.h"
#include "webview/view_copy_win.h"

namespace kiln {

ComRef<IStream> NotFoundBody() { return MemoryStream(std::string(kNotFoundText)); }

ComRef<IStream> RangeBody(const MappedFile* mapped, HANDLE file, uint64_t first, uint64_t count,
                          bool* viewFailed) {
  *viewFailed = false;
  // A view that no longer holds the range (the file grew since it was
  // mapped) is never read past its end.
  if (mapped && mapped->view && first <= mapped->size && count <= mapped->size - first) {
    std::string bytes;
    try {
      bytes.resize(static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
      return FileRangeStream(file, first, count);
    }
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!CopyFromMappedFile(*mapped, first, bytes.data(), bytes.size())) {
      *viewFailed = true;
      return nullptr;
    }
    return MemoryStream(std::move(bytes));
  }
  return FileRangeStream(file, first, count);
}

}  // namespace kiln

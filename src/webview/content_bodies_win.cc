#include "webview/content_bodies_win.h"

#include <shlwapi.h>

#include <climits>

#include "webview/content_answer.h"
#include "webview/file_range_stream_win.h"

namespace kiln {

ComRef<IStream> NotFoundBody() {
  return ComRef<IStream>::Adopt(SHCreateMemStream(
      reinterpret_cast<const BYTE*>(kNotFoundText.data()), static_cast<UINT>(kNotFoundText.size())));
}

ComRef<IStream> WholeFileBody(const std::wstring& path) {
  // Other readers, the content server's own mappings included, may open the
  // file meanwhile; writers may not, so the bytes sent are the bytes counted
  // in Content-Length.
  ComRef<IStream> stream;
  if (FAILED(SHCreateStreamOnFileEx(path.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0,
                                    FALSE, nullptr, stream.Put()))) {
    return nullptr;
  }
  return stream;
}

ComRef<IStream> RangeBody(const MappedFile* mapped, const std::wstring& path, uint64_t first,
                          uint64_t count) {
  // A view that no longer holds the range (the file shrank before it was
  // mapped) is never read past its end.
  if (mapped && mapped->view && first <= mapped->size && count <= mapped->size - first &&
      count <= UINT_MAX) {
    const BYTE* start = static_cast<const BYTE*>(mapped->view) + static_cast<size_t>(first);
    if (IStream* copy = SHCreateMemStream(start, static_cast<UINT>(count))) {
      return ComRef<IStream>::Adopt(copy);
    }
  }
  return OpenFileRangeStream(path, first, count);
}

}  // namespace kiln

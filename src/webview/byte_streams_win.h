// The read-only streams the content server hands to WebView2 as bodies. The
// runtime reads them on a thread of its own, so they are agile: they
// aggregate the free-threaded marshaler and share nothing with the UI thread.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <string>

#include "webview/webview2/com_ref.h"

namespace kiln {

// The count bytes of file that start at offset first, read on demand. The
// stream takes the handle over (and closes it when it is released, or at
// once when it cannot be made); null when file is invalid or holds fewer
// than first + count bytes.
ComRef<IStream> FileRangeStream(HANDLE file, uint64_t first, uint64_t count);

// The bytes given; null only when memory runs out.
ComRef<IStream> MemoryStream(std::string bytes);

}  // namespace kiln

// A read-only stream over one byte range of a file, read on demand. It is the
// body of a range that cannot be copied from a mapped view: a file too large
// to map in a 32-bit process, or a range too large to hold in memory.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <string>

#include "webview/webview2/com_ref.h"

namespace kiln {

// A stream of the count bytes of the file at path (an extended-length path)
// that start at offset first; null when the file cannot be opened for reading
// or holds fewer than first + count bytes. The file stays open until the
// stream is released, readable by others but not writable.
ComRef<IStream> OpenFileRangeStream(const std::wstring& path, uint64_t first, uint64_t count);

}  // namespace kiln

// The bodies of the content server's answers, as the streams WebView2 reads.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>
#include <string>

#include "webview/mapped_file_win.h"
#include "webview/webview2/com_ref.h"

namespace kiln {

// The 14 bytes "File not found"; null only when memory runs out.
ComRef<IStream> NotFoundBody();

// A stream on the whole file at path (extended-length), or null when it
// cannot be opened.
ComRef<IStream> WholeFileBody(const std::wstring& path);

// The count bytes at offset first: copied from the mapped view when there is
// one that holds them, else read from the file on demand; null when neither
// works.
ComRef<IStream> RangeBody(const MappedFile* mapped, const std::wstring& path, uint64_t first,
                          uint64_t count);

}  // namespace kiln

// The bodies of the content server's answers, as the streams WebView2 reads.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstdint>

#include "webview/mapped_file_win.h"
#include "webview/webview2/com_ref.h"

namespace kiln {

// The 14 bytes "File not found"; null only when memory runs out.
ComRef<IStream> NotFoundBody();

// The count bytes at offset first of file, which the body takes over: copied
// at once from the mapped file when it holds them, else read from the file on
// demand. Null when the bytes cannot be had; viewFailed then tells whether
// reading the mapped file failed, so that it can be given up.
ComRef<IStream> RangeBody(const MappedFile* mapped, HANDLE file, uint64_t first, uint64_t count,
                          bool* viewFailed);

}  // namespace kiln

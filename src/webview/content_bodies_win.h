// The bodies of the content server's answers, as the streams WebView2 reads.
#pragma once

#include <windows.h>
#include <objidl.h>

#include <cstddef>
#include <cstdint>

#include "webview/webview2/com_ref.h"

namespace kiln {

// Ranges up to this size are copied when they are asked for, larger ones
// read from the file as the browser reads the body.
inline constexpr uint64_t kCopiedRangeBytes = 4u << 20;

// The 14 bytes "File not found"; null only when memory runs out.
ComRef<IStream> NotFoundBody();

// The count bytes at offset first of file, which the body takes over. A
// range of up to kCopiedRangeBytes (a seek in audio or video) is copied at
// once and the file closed, so that nothing of Kiln's keeps it open; a
// larger one holds the file until the browser has read it. Null when the
// bytes cannot be had.
ComRef<IStream> RangeBody(HANDLE file, uint64_t first, uint64_t count);

// A copy of the count bytes at offset first of file, which stays the
// caller's; null when they cannot be read or memory runs out.
ComRef<IStream> CopiedRangeBody(HANDLE file, uint64_t first, uint64_t count);

// Copies count bytes at offset first of file by positioned reads, the file's
// own position never relied on. False when they cannot all be read (a drive
// removed, a share dropped, a bad sector, a file cut short meanwhile).
bool CopyFileRange(HANDLE file, uint64_t first, void* to, size_t count);

}  // namespace kiln

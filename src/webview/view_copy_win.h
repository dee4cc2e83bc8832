// Copying a mapped file's bytes without trusting the disk behind it.
#pragma once

#include <cstddef>
#include <cstdint>

#include "webview/mapped_file_win.h"

namespace kiln {

// Copies count bytes at offset first of a mapped file. Bytes that can no
// longer be read (a drive removed, a share dropped, a bad sector, a file cut
// short behind the mapping) would fault in a copy out of the view; read
// from the file they fail the call instead, and the copy returns false.
bool CopyFromMappedFile(const MappedFile& mapped, uint64_t first, void* to, size_t count);

}  // namespace kiln

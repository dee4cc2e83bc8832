// Copying out of a mapped view without trusting the disk behind it.
#pragma once

#include <cstddef>

namespace kiln {

// Copies count bytes from a mapped view. Reading a view whose bytes can no
// longer be read (a drive removed, a share dropped, a bad sector, a file cut
// short behind the mapping) faults instead of failing; such a fault inside
// the source bytes ends the copy, which then returns false, and the process
// goes on. Any other fault is left alone.
bool CopyFromView(void* to, const void* from, size_t count);

}  // namespace kiln

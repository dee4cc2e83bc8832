// Gives a fixed runtime's folder the access its sandboxed processes need.
#pragma once

#include <string>

namespace kiln {

// Adds to folder's access list the app-container grants that are missing
// (see app_container_access.h), inherited by everything below. Goes on
// silently when it may not: the runtime then reports its own failure.
void EnsureAppContainerAccess(const std::wstring& folder);

}  // namespace kiln

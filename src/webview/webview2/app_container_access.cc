#include "webview/webview2/app_container_access.h"

#include <algorithm>

namespace kiln {
namespace {

// FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, and the generic rights that
// stand for them in entries made to be inherited.
constexpr uint32_t kReadAndExecute = 0x001200A9;
constexpr uint32_t kGenericAll = 0x10000000;
constexpr uint32_t kGenericReadAndExecute = 0x80000000 | 0x20000000;

bool GrantsReadAndExecute(const AccessEntry& entry) {
  return entry.allows && !entry.inheritOnly && entry.inheritedByFiles &&
         entry.inheritedByFolders &&
         ((entry.mask & kReadAndExecute) == kReadAndExecute || (entry.mask & kGenericAll) != 0 ||
          (entry.mask & kGenericReadAndExecute) == kGenericReadAndExecute);
}

}  // namespace

std::vector<std::string> MissingAppContainerGrants(const std::vector<AccessEntry>& entries) {
  std::vector<std::string> missing;
  for (const char* sid : {kAllApplicationPackages, kAllRestrictedApplicationPackages}) {
    const bool granted = std::any_of(entries.begin(), entries.end(), [sid](const AccessEntry& entry) {
      return entry.sid == sid && GrantsReadAndExecute(entry);
    });
    if (!granted) missing.push_back(sid);
  }
  return missing;
}

}  // namespace kiln

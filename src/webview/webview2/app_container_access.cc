#include "webview/webview2/app_container_access.h"

namespace kiln {
namespace {

// FILE_GENERIC_READ | FILE_GENERIC_EXECUTE, and the generic rights that
// stand for them in entries made to be inherited.
constexpr uint32_t kReadAndExecute = 0x001200A9;
constexpr uint32_t kGenericAll = 0x10000000;
constexpr uint32_t kGenericReadAndExecute = 0x80000000 | 0x20000000;

bool AllowsReadAndExecute(const AccessEntry& entry) {
  return entry.allows &&
         ((entry.mask & kReadAndExecute) == kReadAndExecute || (entry.mask & kGenericAll) != 0 ||
          (entry.mask & kGenericReadAndExecute) == kGenericReadAndExecute);
}

bool CoversTheFolder(const AccessEntry& entry) {
  return AllowsReadAndExecute(entry) && !entry.inheritOnly;
}

bool CoversEverythingBelow(const AccessEntry& entry) {
  return AllowsReadAndExecute(entry) && entry.inheritedByFiles && entry.inheritedByFolders;
}

}  // namespace

std::vector<std::string> MissingAppContainerGrants(const FolderAccess& folder) {
  std::vector<std::string> missing;
  if (!folder.volumeKeepsAcls || !folder.hasAccessList) return missing;
  for (const char* sid : {kAllApplicationPackages, kAllRestrictedApplicationPackages}) {
    bool folderCovered = false;
    bool belowCovered = false;
    for (const AccessEntry& entry : folder.entries) {
      if (entry.sid != sid) continue;
      folderCovered = folderCovered || CoversTheFolder(entry);
      belowCovered = belowCovered || CoversEverythingBelow(entry);
    }
    if (!folderCovered || !belowCovered) missing.push_back(sid);
  }
  return missing;
}

}  // namespace kiln

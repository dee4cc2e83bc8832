// Whether a fixed WebView2 runtime's folder lets the runtime's sandboxed
// processes in. Since version 120 the renderer runs in an app container: on
// Windows 10 a runtime shipped as loose files then needs read and execute
// for ALL APPLICATION PACKAGES and ALL RESTRICTED APPLICATION PACKAGES on
// its folder and everything below, or it crashes on launch. An app folder
// unzipped into Downloads grants neither.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kiln {

inline constexpr char kAllApplicationPackages[] = "S-1-15-2-1";
inline constexpr char kAllRestrictedApplicationPackages[] = "S-1-15-2-2";

// One entry of a folder's access list, as far as the decision needs it.
struct AccessEntry {
  std::string sid;  // in string form, e.g. "S-1-15-2-1"
  bool allows = false;
  uint32_t mask = 0;
  bool inheritedByFiles = false;    // OBJECT_INHERIT_ACE
  bool inheritedByFolders = false;  // CONTAINER_INHERIT_ACE
  bool inheritOnly = false;         // INHERIT_ONLY_ACE: not for the folder itself
};

// What a folder's security says, as far as the decision needs it.
struct FolderAccess {
  // False on volumes that keep no access lists at all (FAT, exFAT): nothing
  // is refused there, and nothing can be granted.
  bool volumeKeepsAcls = true;
  // False for a null access list, which lets everyone in: adding entries to
  // it would shut everyone else out.
  bool hasAccessList = true;
  std::vector<AccessEntry> entries;
};

// The two groups' SIDs that the folder's entries do not grant read and
// execute, for the folder and everything below it. One entry may grant
// both, or two may share the work as Windows itself writes them: one for
// the folder, one inherit-only for what it holds.
std::vector<std::string> MissingAppContainerGrants(const FolderAccess& folder);

}  // namespace kiln

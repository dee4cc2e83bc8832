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

// The two groups' SIDs that no entry of the list grants read and execute,
// for the folder and everything below it.
std::vector<std::string> MissingAppContainerGrants(const std::vector<AccessEntry>& entries);

}  // namespace kiln

#include "webview/webview2/app_container_access_win.h"

#include <windows.h>
#include <aclapi.h>
#include <sddl.h>

#include <vector>

#include "common/text_win.h"
#include "webview/webview2/app_container_access.h"

namespace kiln {
namespace {

std::vector<AccessEntry> EntriesOf(const ACL* dacl) {
  std::vector<AccessEntry> entries;
  for (DWORD i = 0; dacl && i < dacl->AceCount; ++i) {
    void* ace = nullptr;
    if (!GetAce(const_cast<ACL*>(dacl), i, &ace)) continue;
    const auto* header = static_cast<const ACE_HEADER*>(ace);
    if (header->AceType != ACCESS_ALLOWED_ACE_TYPE && header->AceType != ACCESS_DENIED_ACE_TYPE) {
      continue;
    }
    // Both kinds share the allowed entry's layout.
    auto* entry = static_cast<ACCESS_ALLOWED_ACE*>(ace);
    wchar_t* sid = nullptr;
    if (!ConvertSidToStringSidW(&entry->SidStart, &sid)) continue;
    AccessEntry found;
    found.sid = WideToUtf8(sid);
    LocalFree(sid);
    found.allows = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
    found.mask = entry->Mask;
    found.inheritedByFiles = (header->AceFlags & OBJECT_INHERIT_ACE) != 0;
    found.inheritedByFolders = (header->AceFlags & CONTAINER_INHERIT_ACE) != 0;
    found.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
    entries.push_back(std::move(found));
  }
  return entries;
}

// Where the volume cannot tell, it is taken to keep lists, as NTFS does.
bool VolumeKeepsAcls(const std::wstring& folder) {
  HANDLE handle = CreateFileW(folder.c_str(), FILE_READ_ATTRIBUTES,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return true;
  DWORD flags = 0;
  const bool known =
      GetVolumeInformationByHandleW(handle, nullptr, 0, nullptr, nullptr, &flags, nullptr, 0);
  CloseHandle(handle);
  return !known || (flags & FILE_PERSISTENT_ACLS) != 0;
}

}  // namespace

void EnsureAppContainerAccess(const std::wstring& folder) {
  ACL* dacl = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetNamedSecurityInfoW(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                            nullptr, &dacl, nullptr, &descriptor) != ERROR_SUCCESS) {
    return;
  }
  FolderAccess access;
  access.volumeKeepsAcls = VolumeKeepsAcls(folder);
  // The call gives a null list for a descriptor whose list is null.
  access.hasAccessList = dacl != nullptr;
  access.entries = EntriesOf(dacl);
  std::vector<PSID> sids;
  std::vector<EXPLICIT_ACCESS_W> grants;
  for (const std::string& missing : MissingAppContainerGrants(access)) {
    PSID sid = nullptr;
    if (!ConvertStringSidToSidW(Utf8ToWide(missing).c_str(), &sid)) continue;
    sids.push_back(sid);
    EXPLICIT_ACCESS_W grant = {};
    grant.grfAccessPermissions = FILE_GENERIC_READ | FILE_GENERIC_EXECUTE;
    grant.grfAccessMode = GRANT_ACCESS;
    grant.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
    grant.Trustee.TrusteeForm = TRUSTEE_IS_SID;
    grant.Trustee.TrusteeType = TRUSTEE_IS_WELL_KNOWN_GROUP;
    grant.Trustee.ptstrName = static_cast<LPWSTR>(sid);
    grants.push_back(grant);
  }
  ACL* updated = nullptr;
  // Setting the list passes its inheritable entries on to what lies below.
  if (!grants.empty() &&
      SetEntriesInAclW(static_cast<ULONG>(grants.size()), grants.data(), dacl, &updated) ==
          ERROR_SUCCESS) {
    SetNamedSecurityInfoW(const_cast<wchar_t*>(folder.c_str()), SE_FILE_OBJECT,
                          DACL_SECURITY_INFORMATION, nullptr, nullptr, updated, nullptr);
    LocalFree(updated);
  }
  for (PSID sid : sids) LocalFree(sid);
  LocalFree(descriptor);
}

}  // namespace kiln

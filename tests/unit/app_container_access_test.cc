#include "webview/webview2/app_container_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kiln {
namespace {

using Sids = std::vector<std::string>;

// A folder on a volume that keeps access lists, with these entries.
FolderAccess Folder(std::vector<AccessEntry> entries) {
  FolderAccess folder;
  folder.entries = std::move(entries);
  return folder;
}

AccessEntry Entry(const char* sid, uint32_t mask, bool files = true, bool folders = true) {
  AccessEntry entry;
  entry.sid = sid;
  entry.allows = true;
  entry.mask = mask;
  entry.inheritedByFiles = files;
  entry.inheritedByFolders = folders;
  return entry;
}

TEST(AppContainerAccessTest, OnlyGrantsOfReadAndExecuteForEverythingBelowCount) {
  constexpr uint32_t kReadExecute = 0x001200A9, kFullControl = 0x001F01FF;
  constexpr uint32_t kGenericRead = 0x80000000, kGenericExecute = 0x20000000;
  const Sids both = {kAllApplicationPackages, kAllRestrictedApplicationPackages};
  EXPECT_EQ(MissingAppContainerGrants(Folder({})), both);
  EXPECT_EQ(MissingAppContainerGrants(Folder({Entry("S-1-5-32-545", kReadExecute)})), both) << "Users";
  EXPECT_EQ(MissingAppContainerGrants(Folder({Entry(kAllApplicationPackages, kReadExecute)})),
            Sids{kAllRestrictedApplicationPackages});
  EXPECT_EQ(MissingAppContainerGrants(Folder({Entry(kAllApplicationPackages, kFullControl),
                                              Entry(kAllRestrictedApplicationPackages,
                                                    kGenericRead | kGenericExecute)})),
            Sids{});

  // Grants that fall short: read only, this folder only, files only, not for
  // the folder itself, or a denial.
  AccessEntry inheritOnly = Entry(kAllApplicationPackages, kReadExecute);
  inheritOnly.inheritOnly = true;
  AccessEntry denied = Entry(kAllApplicationPackages, kReadExecute);
  denied.allows = false;
  for (const AccessEntry& entry :
       {Entry(kAllApplicationPackages, 0x00120089), Entry(kAllApplicationPackages, kReadExecute, false, false),
        Entry(kAllApplicationPackages, kReadExecute, true, false), inheritOnly, denied}) {
    EXPECT_EQ(MissingAppContainerGrants(
                  Folder({entry, Entry(kAllRestrictedApplicationPackages, kReadExecute)})),
              Sids{kAllApplicationPackages})
        << entry.mask;
  }
}

TEST(AppContainerAccessTest, WindowsOwnSplitGrantCountsAndFoldersThatNeedNoneAreLeftAlone) {
  constexpr uint32_t kReadExecute = 0x001200A9, kGenericReadExecute = 0xA0000000;
  // As under C:\Program Files: read and execute for the folder itself, and
  // an inherit-only entry with generic rights for what it holds.
  std::vector<AccessEntry> split;
  for (const char* sid : {kAllApplicationPackages, kAllRestrictedApplicationPackages}) {
    split.push_back(Entry(sid, kReadExecute, false, false));
    AccessEntry below = Entry(sid, kGenericReadExecute);
    below.inheritOnly = true;
    split.push_back(below);
  }
  EXPECT_EQ(MissingAppContainerGrants(Folder(split)), Sids{});
  // Without the part for what the folder holds, or for the folder itself.
  EXPECT_EQ(MissingAppContainerGrants(Folder({split[0], split[2], split[3]})),
            Sids{kAllApplicationPackages});
  EXPECT_EQ(MissingAppContainerGrants(Folder({split[1], split[2], split[3]})),
            Sids{kAllApplicationPackages});

  // A null access list lets everyone in; FAT and exFAT keep no lists.
  FolderAccess open;
  open.hasAccessList = false;
  EXPECT_EQ(MissingAppContainerGrants(open), Sids{});
  FolderAccess fat;
  fat.volumeKeepsAcls = false;
  EXPECT_EQ(MissingAppContainerGrants(fat), Sids{});
}

}  // namespace
}  // namespace kiln

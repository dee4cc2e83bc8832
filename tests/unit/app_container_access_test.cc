#include "webview/webview2/app_container_access.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kiln {
namespace {

using Sids = std::vector<std::string>;

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
  EXPECT_EQ(MissingAppContainerGrants({}), both);
  EXPECT_EQ(MissingAppContainerGrants({Entry("S-1-5-32-545", kReadExecute)}), both) << "Users";
  EXPECT_EQ(MissingAppContainerGrants({Entry(kAllApplicationPackages, kReadExecute)}),
            Sids{kAllRestrictedApplicationPackages});
  EXPECT_EQ(MissingAppContainerGrants({Entry(kAllApplicationPackages, kFullControl),
                                       Entry(kAllRestrictedApplicationPackages,
                                             kGenericRead | kGenericExecute)}),
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
    EXPECT_EQ(MissingAppContainerGrants({entry, Entry(kAllRestrictedApplicationPackages, kReadExecute)}),
              Sids{kAllApplicationPackages})
        << entry.mask;
  }
}

}  // namespace
}  // namespace kiln

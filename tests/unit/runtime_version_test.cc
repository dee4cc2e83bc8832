#include "webview/webview2/runtime_version.h"

#include <gtest/gtest.h>

namespace kiln {
namespace {

RuntimeVersion Version(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
  return RuntimeVersion{{a, b, c, d}};
}

TEST(RuntimeVersionTest, ParsesFourNumericParts) {
  std::optional<RuntimeVersion> version = ParseRuntimeVersion(u"131.0.2903.146");
  ASSERT_TRUE(version);
  EXPECT_EQ(*version, Version(131, 0, 2903, 146));
  version = ParseRuntimeVersion(u"4294967295.007.0.0");
  ASSERT_TRUE(version);
  EXPECT_EQ(*version, Version(4294967295u, 7, 0, 0));
}

TEST(RuntimeVersionTest, RejectsEverythingButFourNumericParts) {
  for (const char16_t* text :
       {u"", u"131", u"131.0.2903", u"131.0.2903.146.1", u"131.0.2903.146 beta",
        u"131..2903.146", u".0.2903.146", u"131.0.2903.", u"131.0.2903.14a", u"131.0.-1.0",
        u"+131.0.2903.146", u" 131.0.2903.146", u"131,0,2903,146", u"4294967296.0.0.0",
        u"99999999999999999999.0.0.0", u"\uFF11.0.0.0", u"Application"}) {
    EXPECT_FALSE(ParseRuntimeVersion(text)) << ::testing::PrintToString(std::u16string(text));
  }
}

TEST(RuntimeVersionTest, ComparesPartByPartNumerically) {
  // As text "86.0.1000.0" would sort before "86.0.616.0".
  EXPECT_LT(Version(86, 0, 616, 0), Version(86, 0, 1000, 0));
  EXPECT_LT(Version(99, 9, 9999, 9999), Version(100, 0, 0, 0));
  EXPECT_LT(Version(131, 0, 2903, 9), Version(131, 0, 2903, 10));
  EXPECT_FALSE(Version(131, 0, 2903, 146) < Version(131, 0, 2903, 146));
}

TEST(RuntimeVersionTest, AcceptsRuntimesFrom86_0_616_0) {
  EXPECT_TRUE(IsSupportedRuntimeVersion(Version(86, 0, 616, 0)));
  EXPECT_TRUE(IsSupportedRuntimeVersion(Version(86, 0, 616, 1)));
  EXPECT_TRUE(IsSupportedRuntimeVersion(Version(86, 1, 0, 0)));
  EXPECT_TRUE(IsSupportedRuntimeVersion(Version(131, 0, 0, 0)));
  EXPECT_FALSE(IsSupportedRuntimeVersion(Version(86, 0, 615, 9999)));
  EXPECT_FALSE(IsSupportedRuntimeVersion(Version(85, 999, 9999, 9999)));
  EXPECT_FALSE(IsSupportedRuntimeVersion(Version(0, 0, 0, 0)));
}

TEST(RuntimeVersionTest, ChannelsRunFromRuntimeToCanaryWithTheirSuffixes) {
  ASSERT_EQ(kRuntimeChannels.size(), 4u);
  EXPECT_EQ(InstalledVersionString(u"131.0.2903.146", kRuntimeChannels[0]), u"131.0.2903.146");
  EXPECT_EQ(InstalledVersionString(u"86.0.622.11", kRuntimeChannels[1]), u"86.0.622.11 beta");
  EXPECT_EQ(InstalledVersionString(u"87.0.654.0", kRuntimeChannels[2]), u"87.0.654.0 dev");
  EXPECT_EQ(InstalledVersionString(u"87.0.658.0", kRuntimeChannels[3]), u"87.0.658.0 canary");
  EXPECT_EQ(kRuntimeChannels[0].clientStateKey,
            u"Software\\Microsoft\\EdgeUpdate\\ClientState\\"
            u"{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}");
}

}  // namespace
}  // namespace kiln

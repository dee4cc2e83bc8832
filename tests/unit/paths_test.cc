#include "common/paths.h"

#include <gtest/gtest.h>

namespace kiln {
namespace {

using Text = std::u16string;

TEST(PathsTest, ExtendedPathGetsThePrefixAndBackslashes) {
  EXPECT_EQ(ToExtendedPath(Text(u"C:\\app/www/index.html")), u"\\\\?\\C:\\app\\www\\index.html");
  EXPECT_EQ(ToExtendedPath(Text(u"\\\\?\\C:\\app")), u"\\\\?\\C:\\app");
  EXPECT_EQ(ToExtendedPath(Text(u"\\\\?\\C:/a")), u"\\\\?\\C:\\a");
}

TEST(PathsTest, ShortPathsGetNoPrefix) {
  EXPECT_EQ(ToExtendedPath(Text(u"a/b")), u"a\\b");
  EXPECT_EQ(ToExtendedPath(Text(u"")), u"");
  EXPECT_EQ(ToExtendedPath(Text(u"C:\\a")), u"\\\\?\\C:\\a");
}

TEST(PathsTest, DotComponentsAreKeptLiterally) {
  EXPECT_EQ(ToExtendedPath(Text(u"C:\\app\\www\\..\\package.json")),
            u"\\\\?\\C:\\app\\www\\..\\package.json");
}

TEST(PathsTest, StripRemovesOnlyALeadingPrefix) {
  EXPECT_EQ(StripLongPathPrefix(Text(u"\\\\?\\C:\\app")), u"C:\\app");
  EXPECT_EQ(StripLongPathPrefix(Text(u"C:\\app")), u"C:\\app");
  EXPECT_EQ(StripLongPathPrefix(Text(u"\\\\?\\")), u"");
  EXPECT_EQ(StripLongPathPrefix(Text(u"\\\\?")), u"\\\\?");
  EXPECT_EQ(StripLongPathPrefix(Text(u"x\\\\?\\C:")), u"x\\\\?\\C:");
}

}  // namespace
}  // namespace kiln

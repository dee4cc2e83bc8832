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

TEST(PathsTest, NetworkPathsTakeTheExtendedUncForm) {
  EXPECT_EQ(ToExtendedPath(Text(u"\\\\server\\share\\app\\package.json")),
            u"\\\\?\\UNC\\server\\share\\app\\package.json");
  EXPECT_EQ(ToExtendedPath(Text(u"//server/share/x")), u"\\\\?\\UNC\\server\\share\\x");
  EXPECT_EQ(ToExtendedPath(Text(u"\\\\?\\UNC\\server\\share")), u"\\\\?\\UNC\\server\\share");
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

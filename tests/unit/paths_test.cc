#include "common/paths.h"

#include <gtest/gtest.h>

namespace kiln {
namespace {

using Text = std::wstring;

TEST(PathsTest, ExtendedPathGetsThePrefixAndBackslashes) {
  EXPECT_EQ(ToExtendedPath(Text(L"C:\\app/www/index.html")), L"\\\\?\\C:\\app\\www\\index.html");
  EXPECT_EQ(ToExtendedPath(Text(L"\\\\?\\C:\\app")), L"\\\\?\\C:\\app");
  EXPECT_EQ(ToExtendedPath(Text(L"\\\\?\\C:/a")), L"\\\\?\\C:\\a");
}

TEST(PathsTest, NetworkPathsTakeTheExtendedUncForm) {
  EXPECT_EQ(ToExtendedPath(Text(L"\\\\server\\share\\app\\package.json")),
            L"\\\\?\\UNC\\server\\share\\app\\package.json");
  EXPECT_EQ(ToExtendedPath(Text(L"//server/share/x")), L"\\\\?\\UNC\\server\\share\\x");
  EXPECT_EQ(ToExtendedPath(Text(L"\\\\?\\UNC\\server\\share")), L"\\\\?\\UNC\\server\\share");
}

TEST(PathsTest, ShortPathsGetNoPrefix) {
  EXPECT_EQ(ToExtendedPath(Text(L"a/b")), L"a\\b");
  EXPECT_EQ(ToExtendedPath(Text(L"")), L"");
  EXPECT_EQ(ToExtendedPath(Text(L"C:\\a")), L"\\\\?\\C:\\a");
}

TEST(PathsTest, DotComponentsAreKeptLiterally) {
  EXPECT_EQ(ToExtendedPath(Text(L"C:\\app\\www\\..\\package.json")),
            L"\\\\?\\C:\\app\\www\\..\\package.json");
}

TEST(PathsTest, StripRemovesOnlyALeadingPrefix) {
  EXPECT_EQ(StripLongPathPrefix(Text(L"\\\\?\\C:\\app")), L"C:\\app");
  EXPECT_EQ(StripLongPathPrefix(Text(L"C:\\app")), L"C:\\app");
  EXPECT_EQ(StripLongPathPrefix(Text(L"\\\\?\\")), L"");
  EXPECT_EQ(StripLongPathPrefix(Text(L"\\\\?")), L"\\\\?");
  EXPECT_EQ(StripLongPathPrefix(Text(L"x\\\\?\\C:")), L"x\\\\?\\C:");
}

}  // namespace
}  // namespace kiln

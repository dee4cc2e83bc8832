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

TEST(PathsTest, ModulesLoadByThePlainPathWhileItFits) {
  EXPECT_EQ(ModuleLoadPath(L"C:/Games/Hero/audio.ext.dll"), L"C:\\Games\\Hero\\audio.ext.dll");
  const std::wstring folder = L"C:\\" + std::wstring(240, L'g') + L"\\";
  const std::wstring fits = folder + std::wstring(259 - folder.size(), L'x');
  EXPECT_EQ(ModuleLoadPath(fits), fits);
  EXPECT_EQ(ModuleLoadPath(fits + L"x"), L"\\\\?\\" + fits + L"x");
  const std::wstring share = L"\\\\server\\share\\" + std::wstring(260, L's');
  EXPECT_EQ(ModuleLoadPath(share), L"\\\\?\\UNC\\server\\share\\" + std::wstring(260, L's'));
}

}  // namespace
}  // namespace kiln

#include "webview/webview2/runtime_folder.h"

#include <gtest/gtest.h>

namespace kiln {
namespace {

constexpr char16_t kExeFolder[] = u"C:\\Games\\Tiny App\\";

TEST(ResolveBrowserFolderTest, RelativeNamesJoinTheExecutableFolder) {
  EXPECT_EQ(ResolveBrowserFolder(u"webview2", kExeFolder), u"C:\\Games\\Tiny App\\webview2");
  EXPECT_EQ(ResolveBrowserFolder(u"webview2", u"C:\\Games\\Tiny App"),
            u"C:\\Games\\Tiny App\\webview2");
  EXPECT_EQ(ResolveBrowserFolder(u"rt\\x", u"C:\\"), u"C:\\rt\\x");
  // Forms that Windows would read against the current drive or directory
  // stay under the executable's folder.
  EXPECT_EQ(ResolveBrowserFolder(u"\\webview2", kExeFolder), u"C:\\Games\\Tiny App\\webview2");
  EXPECT_EQ(ResolveBrowserFolder(u"D:webview2", kExeFolder), u"C:\\Games\\Tiny App\\D:webview2");
  EXPECT_EQ(ResolveBrowserFolder(u".\\webview2", kExeFolder),
            u"C:\\Games\\Tiny App\\.\\webview2");
}

TEST(ResolveBrowserFolderTest, DrivePathsAndUncPathsStandAsTheyAre) {
  for (const char16_t* folder : {u"D:\\Runtimes\\120", u"d:/runtimes/120", u"D:\\",
                                 u"\\\\server\\share\\rt", u"//server/share/rt",
                                 u"\\\\?\\D:\\Runtimes\\120"}) {
    EXPECT_EQ(ResolveBrowserFolder(folder, kExeFolder), folder);
  }
}

TEST(RuntimeFolderNameTest, TakesTheLastComponent) {
  EXPECT_EQ(RuntimeFolderName(u"C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\"
                              u"131.0.2903.146"),
            u"131.0.2903.146");
  EXPECT_EQ(RuntimeFolderName(u"C:\\Edge\\131.0.2903.146\\\\"), u"131.0.2903.146");
  EXPECT_EQ(RuntimeFolderName(u"C:/Edge/131.0.2903.146/"), u"131.0.2903.146");
  EXPECT_EQ(RuntimeFolderName(u"131.0.2903.146"), u"131.0.2903.146");
  EXPECT_EQ(RuntimeFolderName(u"C:\\"), u"C:");
  EXPECT_EQ(RuntimeFolderName(u"\\\\"), u"");
  EXPECT_EQ(RuntimeFolderName(u""), u"");
}

TEST(ClientDllPathTest, PointsIntoTheArchitectureFolder) {
  EXPECT_EQ(ClientDllPath(u"C:\\Edge\\131.0.2903.146", u"x86"),
            u"C:\\Edge\\131.0.2903.146\\EBWebView\\x86\\EmbeddedBrowserWebView.dll");
  EXPECT_EQ(ClientDllPath(u"C:/Edge/131.0.2903.146//", u"x64"),
            u"C:\\Edge\\131.0.2903.146\\EBWebView\\x64\\EmbeddedBrowserWebView.dll");
}

}  // namespace
}  // namespace kiln

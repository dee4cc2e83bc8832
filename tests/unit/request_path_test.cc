#include "webview/request_path.h"

#include <gtest/gtest.h>

#include <string>

#include "webview/app_origin.h"
#include "webview/path_guard.h"

namespace kiln {
namespace {

// The path a request URI asks for, or "<404>" when it is refused outright.
std::string PathOf(const std::string& rest) {
  const auto target = RequestTargetFromUri(std::string(kAppOrigin) + rest, kAppOrigin);
  if (!target) return "<404>";
  return target->path + (target->namesFolder ? " (folder)" : "");
}

TEST(PercentDecodingTest, DecodesEscapesAsBytes) {
  EXPECT_EQ(PathOf("a%20b"), "a b");
  EXPECT_EQ(PathOf("caf%C3%A9.png"), "caf\xC3\xA9.png");
  EXPECT_EQ(PathOf("caf%c3%a9.png"), "caf\xC3\xA9.png");
  EXPECT_EQ(PathOf("%41%42%43"), "ABC");
  // "%2e%2E%2f" is "../", which the guard refuses; inside names the same
  // escapes come out as the bytes.
  EXPECT_EQ(PathOf("%2e%2E%2f"), "<404>");
  EXPECT_EQ(PathOf("a%2eb%2Ec%2fd"), "a.b.c/d");
  // Left literal, "%00" would be an ordinary name; as a NUL byte it is refused.
  EXPECT_EQ(PathOf("%00"), "<404>");
}

TEST(PercentDecodingTest, LeavesMalformedEscapesAndPlusLiteral) {
  EXPECT_EQ(PathOf("%"), "%");
  EXPECT_EQ(PathOf("a%"), "a%");
  EXPECT_EQ(PathOf("a%4"), "a%4");
  EXPECT_EQ(PathOf("%zz"), "%zz");
  EXPECT_EQ(PathOf("%4g%41"), "%4gA");
  EXPECT_EQ(PathOf("%%41"), "%A");
  EXPECT_EQ(PathOf("a+b"), "a+b");
  // One pass only: a double-encoded escape comes out as an escape.
  EXPECT_EQ(PathOf("%252e"), "%2e");
}

TEST(RequestPathTest, PathEndsBeforeQueryOrFragment) {
  EXPECT_EQ(PathOf("script.js?v=3"), "script.js");
  EXPECT_EQ(PathOf("script.js#top"), "script.js");
  EXPECT_EQ(PathOf("a/b.png?x=1#y?z"), "a/b.png");
  EXPECT_EQ(PathOf("?v=3"), " (folder)");
  // An escaped "?" is part of a name, and no Windows name may hold one.
  EXPECT_EQ(PathOf("what%3F.txt"), "<404>");
}

TEST(RequestPathTest, DecodesNamesWithSpacesAndUtf8) {
  EXPECT_EQ(PathOf("my%20file.txt"), "my file.txt");
  EXPECT_EQ(PathOf("caf%C3%A9.png"), "caf\xC3\xA9.png");
  EXPECT_EQ(PathOf("%E2%82%AC/%F0%9F%8E%AE.png"), "\xE2\x82\xAC/\xF0\x9F\x8E\xAE.png");
  EXPECT_EQ(PathOf("a+b.png"), "a+b.png");
  EXPECT_EQ(PathOf("100%.png"), "100%.png");
}

TEST(RequestPathTest, FoldersEndInASlash) {
  EXPECT_EQ(PathOf(""), " (folder)");
  EXPECT_EQ(PathOf("levels/"), "levels (folder)");
  EXPECT_EQ(PathOf("levels"), "levels");
  EXPECT_EQ(PathOf("a/b/"), "a/b (folder)");
  EXPECT_EQ(PathOf("/"), "<404>");
  EXPECT_EQ(PathOf("levels//"), "<404>");
}

TEST(RequestPathTest, OriginPrefixMustMatch) {
  EXPECT_TRUE(RequestTargetFromUri("HTTPS://App.Kiln.Localhost/a.js", kAppOrigin));
  EXPECT_FALSE(RequestTargetFromUri("https://evil.example/a.js", kAppOrigin));
  EXPECT_FALSE(RequestTargetFromUri("https://app.kiln.localhost", kAppOrigin));
  EXPECT_FALSE(RequestTargetFromUri("", kAppOrigin));
}

TEST(RequestPathTest, RefusesControlCharactersAndBrokenUtf8) {
  EXPECT_EQ(PathOf("%00"), "<404>");
  EXPECT_EQ(PathOf("index.html%00.png"), "<404>");
  EXPECT_EQ(PathOf("a%0Ab"), "<404>");
  EXPECT_EQ(PathOf("a%1Fb"), "<404>");
  EXPECT_EQ(PathOf("a%7Fb"), "<404>");
  EXPECT_EQ(PathOf("caf%E9.png"), "<404>");          // Latin-1, not UTF-8
  EXPECT_EQ(PathOf("%C0%AE%C0%AE/x"), "<404>");      // overlong "."
  EXPECT_EQ(PathOf("%ED%A0%80.png"), "<404>");       // a lone surrogate
  EXPECT_EQ(PathOf("%F4%90%80%80.png"), "<404>");    // beyond U+10FFFF
  EXPECT_EQ(PathOf("%E2%82.png"), "<404>");          // cut short
}

TEST(PathGuardTest, RefusesEverySegmentThatCouldLeaveWww) {
  for (const char* path :
       {".", "..", "../x", "a/../x", "a/..", "./a", "a/./b", "....", "a.", "a ", "a/b.",
        "/a", "a//b", "a/", "a\\b", "..\\x", "C:", "C:/Windows", "a:b", "index.html::$DATA",
        "a*", "a?", "a\"b", "a<b", "a>b", "a|b"}) {
    EXPECT_FALSE(IsSafeContentPath(path)) << path;
  }
  for (const char* path : {"", "a", "a/b", ".hidden", "a..b", "..a", "a b", "x.tar.gz",
                           "%2e%2e", "caf\xC3\xA9"}) {
    EXPECT_TRUE(IsSafeContentPath(path)) << path;
  }
}

TEST(PathGuardTest, RefusesReservedDeviceNamesInAnySegment) {
  for (const char* path :
       {"CON", "con", "Nul", "nul.txt", "AUX.tar.gz", "prn", "COM1", "com9.log", "LPT1",
        "lpt9", "COM0", "a/NUL/b", "con .txt", "CONIN$", "conout$.x", "COM\xC2\xB9",
        "lpt\xC2\xB3.txt"}) {
    EXPECT_FALSE(IsSafeContentPath(path)) << path;
  }
  for (const char* path : {"CONFIG", "console.js", "null.txt", "auxiliary", "COM10",
                           "LPT", "com", "COMA", "icon.png", "xcon", "COM\xC2\xB4"}) {
    EXPECT_TRUE(IsSafeContentPath(path)) << path;
  }
}

TEST(PathGuardTest, LimitsNameAndPathLength) {
  EXPECT_TRUE(IsSafeContentPath(std::string(255, 'a')));
  EXPECT_FALSE(IsSafeContentPath(std::string(256, 'a')));
  // Names are measured in UTF-16 units: 255 two-byte letters still fit.
  std::string letters;
  for (int i = 0; i < 255; ++i) letters += "\xC3\xA9";
  EXPECT_TRUE(IsSafeContentPath(letters));
  std::string emoji;  // 128 characters outside the BMP: 256 units
  for (int i = 0; i < 128; ++i) emoji += "\xF0\x9F\x8E\xAE";
  EXPECT_FALSE(IsSafeContentPath(emoji));

  std::string deep;
  while (deep.size() < 32767) deep += "abcdefg/";
  deep += "x";
  EXPECT_FALSE(IsSafeContentPath(deep));
  EXPECT_TRUE(IsSafeContentPath(deep.substr(0, 29999)));
}

TEST(PathGuardTest, NamesTheFirstRuleAPathBreaks) {
  const struct {
    const char* path;
    PathFault fault;
  } kPaths[] = {
      {"a/b.png", PathFault::None},
      {"caf\xE9.png", PathFault::NotUtf8},
      {"a\tb", PathFault::ControlCharacter},
      {"a:b", PathFault::ForbiddenCharacter},
      {"a\\b", PathFault::ForbiddenCharacter},
      {"/a", PathFault::EmptyName},
      {"a//b", PathFault::EmptyName},
      {"a/..", PathFault::TrailingDotOrSpace},
      {"name ", PathFault::TrailingDotOrSpace},
      {"aux.js", PathFault::DeviceName},
      {"a/COM1/b", PathFault::DeviceName},
      // A control character counts before a device name in a later segment.
      {"nul/a\x01", PathFault::ControlCharacter},
  };
  for (const auto& row : kPaths) {
    EXPECT_EQ(ContentPathFault(row.path), row.fault) << row.path;
    EXPECT_EQ(IsSafeContentPath(row.path), row.fault == PathFault::None) << row.path;
  }
  EXPECT_EQ(ContentPathFault(std::string(256, 'a')), PathFault::NameTooLong);
  std::string deep;
  while (deep.size() <= 32767) deep += "abcdefg/";
  EXPECT_EQ(ContentPathFault(deep + "x"), PathFault::PathTooLong);
}

TEST(RequestPathTest, SaysWhyARequestNamesNoFile) {
  PathFault fault = PathFault::None;
  EXPECT_FALSE(RequestTargetFromUri(std::string(kAppOrigin) + "/index.html", kAppOrigin, &fault));
  EXPECT_EQ(fault, PathFault::EmptyName);
  EXPECT_FALSE(RequestTargetFromUri(std::string(kAppOrigin) + "lpt1.js?v=2", kAppOrigin, &fault));
  EXPECT_EQ(fault, PathFault::DeviceName);
  fault = PathFault::None;
  EXPECT_TRUE(RequestTargetFromUri(std::string(kAppOrigin) + "game/", kAppOrigin, &fault));
  EXPECT_EQ(fault, PathFault::None);
}

TEST(ContentFilePathTest, JoinsFolderAndPathWithBackslashes) {
  EXPECT_EQ(ContentFilePath("C:\\Games\\Kiln\\www\\", "a/b/c.png"),
            "C:\\Games\\Kiln\\www\\a\\b\\c.png");
  EXPECT_EQ(ContentFilePath("C:\\Games\\Kiln\\www\\", ""), "C:\\Games\\Kiln\\www\\");
  EXPECT_EQ(ContentFilePath("D:\\x\\www\\", "caf\xC3\xA9.png"), "D:\\x\\www\\caf\xC3\xA9.png");
}

}  // namespace
}  // namespace kiln

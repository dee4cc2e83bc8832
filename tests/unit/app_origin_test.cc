#include "webview/app_origin.h"

#include <cctype>

#include <gtest/gtest.h>

namespace kiln {
namespace {

TEST(StartAddress, BundleModeServesMainUnderTheOriginAndRemoteModeUsesMainVerbatim) {
  EXPECT_EQ(StartAddress(ContentMode::Bundle, kAppOrigin, "index.html"),
            std::string(kAppOrigin) + "index.html");
  EXPECT_EQ(StartAddress(ContentMode::Bundle, kAppOrigin, "game/start.html"),
            std::string(kAppOrigin) + "game/start.html");
  EXPECT_EQ(StartAddress(ContentMode::Remote, "https://Example.com/App?x=1", "https://Example.com/App?x=1"),
            "https://Example.com/App?x=1");
}

TEST(IsInsideOrigin, AcceptsOnlyAddressesThatBeginWithTheExactOrigin) {
  const std::string origin = kAppOrigin;
  EXPECT_TRUE(IsInsideOrigin(origin, origin));
  EXPECT_TRUE(IsInsideOrigin(origin + "index.html", origin));
  EXPECT_TRUE(IsInsideOrigin(origin + "a/b.html?q=1#top", origin));

  EXPECT_FALSE(IsInsideOrigin("https://example.com/", origin));
  EXPECT_FALSE(IsInsideOrigin("about:blank", origin));
  EXPECT_FALSE(IsInsideOrigin("data:text/html,<p>hi</p>", origin));
  EXPECT_FALSE(IsInsideOrigin("", origin));
  // One byte short: the address lacks the origin's final slash.
  EXPECT_FALSE(IsInsideOrigin(origin.substr(0, origin.size() - 1), origin));
  // Another host that merely starts with the origin's host name.
  EXPECT_FALSE(IsInsideOrigin("https://app.kiln.localhost.evil.com/", origin));
  // Letter case counts.
  std::string upper = origin;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  EXPECT_FALSE(IsInsideOrigin(upper + "index.html", origin));
  EXPECT_FALSE(IsInsideOrigin("HTTPS://app.kiln.localhost/index.html", origin));
}

TEST(TrustedSenderTest, BundleModeHearsOnlyTheAppOrigin) {
  const std::string origin = kAppOrigin;
  EXPECT_TRUE(IsTrustedSender(origin, origin));
  EXPECT_TRUE(IsTrustedSender(origin + "index.html", origin));
  EXPECT_TRUE(IsTrustedSender(origin + "levels/1.html?x#y", origin));
  EXPECT_FALSE(IsTrustedSender("https://app.kiln.localhost", origin));  // shorter
  EXPECT_FALSE(IsTrustedSender("HTTPS://APP.KILN.LOCALHOST/", origin));
  EXPECT_FALSE(IsTrustedSender("http://app.kiln.localhost/", origin));
  EXPECT_FALSE(IsTrustedSender("https://app.kiln.localhost.evil.net/", origin));
  EXPECT_FALSE(IsTrustedSender("", origin));
}

TEST(TrustedSenderTest, RemoteModeNeedsABoundaryAfterThePrefix) {
  const std::string main = "https://example.com";
  EXPECT_TRUE(IsTrustedSender(main, main));
  EXPECT_TRUE(IsTrustedSender(main + "/", main));
  EXPECT_TRUE(IsTrustedSender(main + "/game/index.html", main));
  EXPECT_TRUE(IsTrustedSender(main + "?level=2", main));
  EXPECT_TRUE(IsTrustedSender(main + "#top", main));
  EXPECT_FALSE(IsTrustedSender("https://example.com.evil.net/", main));
  EXPECT_FALSE(IsTrustedSender("https://example.com:8443/", main));
  EXPECT_FALSE(IsTrustedSender("https://example.com@evil.net/", main));
  EXPECT_FALSE(IsTrustedSender("https://example.co", main));

  const std::string page = "https://example.com/game/index.html";
  EXPECT_TRUE(IsTrustedSender(page, page));
  EXPECT_TRUE(IsTrustedSender(page + "?seed=1", page));
  EXPECT_TRUE(IsTrustedSender(page + "#menu", page));
  EXPECT_FALSE(IsTrustedSender("https://example.com/game/index.html5", page));
  EXPECT_FALSE(IsTrustedSender("https://example.com/game/other.html", page));  // sibling page
}

TEST(TrustedSenderTest, AnEmptyPrefixHearsNoRealPage) {
  EXPECT_FALSE(IsTrustedSender("https://anything.example/", ""));
  EXPECT_TRUE(IsTrustedSender("", ""));
}

TEST(MayOpenInShell, HandsOnlyWebAndMailAddressesToTheShell) {
  EXPECT_TRUE(MayOpenInShell("https://example.com/page"));
  EXPECT_TRUE(MayOpenInShell("http://example.com/"));
  EXPECT_TRUE(MayOpenInShell("mailto:someone@example.com?subject=Hi%20there"));
  EXPECT_TRUE(MayOpenInShell("HTTPS://EXAMPLE.COM/"));
  EXPECT_TRUE(MayOpenInShell("MailTo:someone@example.com"));
}

TEST(MayOpenInShell, RefusesEverythingThatCouldOpenLocalProgramsOrFiles) {
  EXPECT_FALSE(MayOpenInShell("file:///C:/Windows/System32/calc.exe"));
  EXPECT_FALSE(MayOpenInShell("FILE:///C:/boot.ini"));
  EXPECT_FALSE(MayOpenInShell("javascript:alert(1)"));
  EXPECT_FALSE(MayOpenInShell("ms-settings:privacy"));
  EXPECT_FALSE(MayOpenInShell("search-ms:query=secret"));
  EXPECT_FALSE(MayOpenInShell("\\\\server\\share\\tool.exe"));
  EXPECT_FALSE(MayOpenInShell("C:\\Windows\\notepad.exe"));
  EXPECT_FALSE(MayOpenInShell("c:/Windows/notepad.exe"));
  EXPECT_FALSE(MayOpenInShell("https"));
  EXPECT_FALSE(MayOpenInShell(""));
  EXPECT_FALSE(MayOpenInShell(":https://example.com/"));
  // Schemes that merely start or end like an allowed one.
  EXPECT_FALSE(MayOpenInShell("https2://example.com/"));
  EXPECT_FALSE(MayOpenInShell("xhttp://example.com/"));
  EXPECT_FALSE(MayOpenInShell("mailto2:someone@example.com"));
}

TEST(MayOpenInShell, RefusesAddressesThatCouldBreakOutOfAQuotedCommandLine) {
  EXPECT_FALSE(MayOpenInShell("https://example.com/\" --renderer-cmd-prefix=calc"));
  EXPECT_FALSE(MayOpenInShell("https://example.com/a b"));
  EXPECT_FALSE(MayOpenInShell(" https://example.com/"));
  EXPECT_FALSE(MayOpenInShell("https://example.com/\tx"));
  EXPECT_FALSE(MayOpenInShell("https://example.com/\nx"));
  EXPECT_FALSE(MayOpenInShell(std::string("https://example.com/\0x", 22)));
  // Percent-encoded, as a browser reports them, the same characters are fine.
  EXPECT_TRUE(MayOpenInShell("https://example.com/a%20b%22c"));
  // Non-ASCII text in UTF-8 is not a control character.
  EXPECT_TRUE(MayOpenInShell("https://example.com/caf\xC3\xA9"));
}

}  // namespace
}  // namespace kiln

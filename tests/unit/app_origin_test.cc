#include "webview/app_origin.h"

#include <cctype>
#include <string>
#include <vector>

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

// Addresses measured against kAppOrigin: in the bundle mode an address is
// inside the origin exactly when its document may talk to the host, but for
// the letter case of scheme and host, which senders may use freely.
struct BundleAddress {
  std::string address;
  bool inside;
  bool heard = inside;
};

std::vector<BundleAddress> BundleAddresses() {
  const std::string origin = kAppOrigin;
  std::string upper = origin;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return {
      {origin, true},
      {origin + "index.html", true},
      {origin + "a/b.html?q=1#top", true},
      {origin + "levels/1.html?x#y", true},
      {"https://example.com/", false},
      {"about:blank", false},
      {"data:text/html,<p>hi</p>", false},
      {"", false},
      // One byte short: the address lacks the origin's final slash.
      {origin.substr(0, origin.size() - 1), false},
      {"http://app.kiln.localhost/", false},
      // Another host that merely starts with the origin's host name.
      {"https://app.kiln.localhost.evil.com/", false},
      {"https://app.kiln.localhost.evil.net/", false},
      // Letter case counts; senders may write scheme and host in any case.
      {upper, false, true},
      {upper + "index.html", false, true},
      {"HTTPS://APP.KILN.LOCALHOST/index.html", false, true},
      {"HTTPS://app.kiln.localhost/index.html", false, true},
  };
}

TEST(IsInsideOrigin, AcceptsOnlyAddressesThatBeginWithTheExactOrigin) {
  for (const BundleAddress& row : BundleAddresses()) {
    EXPECT_EQ(IsInsideOrigin(row.address, kAppOrigin), row.inside) << row.address;
  }
}

TEST(TrustedSenderTest, BundleModeHearsOnlyTheAppOrigin) {
  for (const BundleAddress& row : BundleAddresses()) {
    EXPECT_EQ(IsTrustedSender(row.address, kAppOrigin), row.heard) << row.address;
  }
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

  EXPECT_TRUE(IsTrustedSender("HTTPS://EXAMPLE.COM/", main)) << "scheme and host in any case";
  EXPECT_TRUE(IsTrustedSender("https://example.com", "https://Example.COM"));
  EXPECT_FALSE(IsTrustedSender("https://example.com.evil.net/", "https://EXAMPLE.com"));
}

TEST(TrustedSenderTest, RemoteModeHearsAnyContinuationOnceThePrefixReachesThePath) {
  const std::string page = "https://example.com/game/index.html";
  EXPECT_TRUE(IsTrustedSender(page, page));
  EXPECT_TRUE(IsTrustedSender(page + "?seed=1", page));
  EXPECT_TRUE(IsTrustedSender(page + "#menu", page));
  EXPECT_TRUE(IsTrustedSender("https://example.com/game/index.html5", page));
  EXPECT_FALSE(IsTrustedSender("https://example.com/game/other.html", page));  // sibling page
  const std::string play = "https://example.com/play?lang=en";
  EXPECT_TRUE(IsTrustedSender(play + "&level=2", play));
  EXPECT_TRUE(IsTrustedSender("https://EXAMPLE.com/play?lang=en", play));
  EXPECT_FALSE(IsTrustedSender("https://example.com/Play?lang=en", play)) << "the path's case counts";
  EXPECT_FALSE(IsTrustedSender("https://example.com/play?lang=de", play));
  EXPECT_TRUE(IsTrustedSender("https://example.com/x", "https://example.com/"));
  EXPECT_FALSE(IsTrustedSender("https://example.com.evil.net/", "https://example.com/"));
}

TEST(TrustedSenderTest, AnEmptyPrefixHearsNoRealPage) {
  EXPECT_FALSE(IsTrustedSender("https://anything.example/", ""));
  EXPECT_TRUE(IsTrustedSender("", ""));
}

TEST(MayOpenInShell, HandsWebMailAndAppLinksToTheShell) {
  for (const char* uri : {"https://example.com/page", "http://example.com/",
                          "mailto:someone@example.com?subject=Hi%20there", "HTTPS://EXAMPLE.COM/",
                          "MailTo:someone@example.com", "steam://run/480",
                          "discord://discord.com/invite/abc", "ms-windows-store://pdp/?ProductId=9X",
                          "tel:+15551234", "ms-settings:privacy", "itms-apps:id42",
                          "x2:thing"}) {
    EXPECT_TRUE(MayOpenInShell(uri)) << uri;
  }
}

TEST(MayOpenInShell, RefusesEverythingThatCouldOpenLocalProgramsOrFiles) {
  for (const char* uri : {"file:///C:/Windows/System32/calc.exe", "FILE:///C:/boot.ini",
                          "javascript:alert(1)", "JavaScript:alert(1)", "vbscript:msgbox(1)",
                          "data:text/html,<b>x</b>", "blob:https://example.com/1", "about:blank",
                          "ms-msdt:/id%20PCWDiagnostic", "search-ms:query=secret",
                          "search:query=x", "ms-officecmd:{}", "ms-word:ofe|u|https://x/a.docx",
                          "ms-excel:ofe|u|https://x/a.xlsx", "ms-powerpoint:ofv|u|https://x/a.pptx",
                          "shell:startup", "\\\\server\\share\\tool.exe", "C:\\Windows\\notepad.exe",
                          "c:/Windows/notepad.exe", "https", "", ":https://example.com/",
                          "1http://example.com/", "//server/share"}) {
    EXPECT_FALSE(MayOpenInShell(uri)) << uri;
  }
}

TEST(MayOpenInShell, RefusesAddressesThatCouldBreakOutOfAQuotedCommandLine) {
  for (const std::string& uri :
       {std::string("https://example.com/\" --renderer-cmd-prefix=calc"),
        std::string("https://example.com/a b"), std::string(" https://example.com/"),
        std::string("https://example.com/\tx"), std::string("https://example.com/\nx"),
        std::string("https://example.com/\0x", 22)}) {
    EXPECT_FALSE(MayOpenInShell(uri)) << uri;
  }
  // Percent-encoded, as a browser reports them, the same characters are fine.
  EXPECT_TRUE(MayOpenInShell("https://example.com/a%20b%22c"));
  // Non-ASCII text in UTF-8 is not a control character.
  EXPECT_TRUE(MayOpenInShell("https://example.com/caf\xC3\xA9"));
}

}  // namespace
}  // namespace kiln

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
// inside the origin exactly when its document may talk to the host.
struct BundleAddress {
  std::string address;
  bool inside;
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
      // Letter case counts.
      {upper, false},
      {upper + "index.html", false},
      {"HTTPS://app.kiln.localhost/index.html", false},
  };
}

TEST(IsInsideOrigin, AcceptsOnlyAddressesThatBeginWithTheExactOrigin) {
  for (const BundleAddress& row : BundleAddresses()) {
    EXPECT_EQ(IsInsideOrigin(row.address, kAppOrigin), row.inside) << row.address;
  }
}

TEST(TrustedSenderTest, BundleModeHearsOnlyTheAppOrigin) {
  for (const BundleAddress& row : BundleAddresses()) {
    EXPECT_EQ(IsTrustedSender(row.address, kAppOrigin), row.inside) << row.address;
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
  for (const char* uri : {"https://example.com/page", "http://example.com/",
                          "mailto:someone@example.com?subject=Hi%20there", "HTTPS://EXAMPLE.COM/",
                          "MailTo:someone@example.com"}) {
    EXPECT_TRUE(MayOpenInShell(uri)) << uri;
  }
}

TEST(MayOpenInShell, RefusesEverythingThatCouldOpenLocalProgramsOrFiles) {
  for (const char* uri : {"file:///C:/Windows/System32/calc.exe", "FILE:///C:/boot.ini",
                          "javascript:alert(1)", "ms-settings:privacy", "search-ms:query=secret",
                          "\\\\server\\share\\tool.exe", "C:\\Windows\\notepad.exe",
                          "c:/Windows/notepad.exe", "https", "", ":https://example.com/",
                          // Schemes that merely start or end like an allowed one.
                          "https2://example.com/", "xhttp://example.com/",
                          "mailto2:someone@example.com"}) {
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

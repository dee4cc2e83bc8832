#include "bridge/trusted_sender.h"

#include <gtest/gtest.h>

#include "webview/app_origin.h"

namespace kiln {
namespace {

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

}  // namespace
}  // namespace kiln

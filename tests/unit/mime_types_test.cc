#include "webview/mime_types.h"

#include <gtest/gtest.h>

namespace kiln {
namespace {

TEST(MimeTypesTest, TableHoldsEveryExtensionOnceInLowerCase) {
  EXPECT_EQ(MimeTable.size(), 41u);
  for (const auto& [extension, type] : MimeTable) {
    ASSERT_GE(extension.size(), 2u) << extension;
    EXPECT_EQ(extension[0], '.') << extension;
    for (char c : extension) EXPECT_FALSE(c >= 'A' && c <= 'Z') << extension;
    EXPECT_FALSE(type.empty()) << extension;
  }
}

TEST(MimeTypesTest, KnownExtensionsGiveTheirTypes) {
  EXPECT_EQ(MimeTypeFor("index.html"), "text/html; charset=utf-8");
  EXPECT_EQ(MimeTypeFor("js/game.js"), "application/javascript; charset=utf-8");
  EXPECT_EQ(MimeTypeFor("data/level.json"), "application/json; charset=utf-8");
  EXPECT_EQ(MimeTypeFor("engine.wasm"), "application/wasm");
  EXPECT_EQ(MimeTypeFor("music/theme.opus"), "audio/ogg; codecs=opus");
  EXPECT_EQ(MimeTypeFor("fonts/a.woff2"), "font/woff2");
  EXPECT_EQ(MimeTypeFor("fonts/a.otf"), "application/font-sfnt");
  EXPECT_EQ(MimeTypeFor("img/photo.jpeg"), "image/jpeg");
  EXPECT_EQ(MimeTypeFor("doc.pdf"), "application/pdf");
}

TEST(MimeTypesTest, ExtensionIgnoresAsciiLetterCase) {
  EXPECT_EQ(MimeTypeFor("INDEX.HTML"), "text/html; charset=utf-8");
  EXPECT_EQ(MimeTypeFor("Sprite.PnG"), "image/png");
}

TEST(MimeTypesTest, SpriterFilesCarryNoCharset) {
  EXPECT_EQ(MimeTypeFor("hero.scml"), "text/xml");
  EXPECT_EQ(MimeTypeFor("hero.xml"), "text/xml; charset=utf-8");
  EXPECT_EQ(MimeTypeFor("hero.scon"), "application/json");
}

TEST(MimeTypesTest, UnknownOrMissingExtensionsAreOctetStreams) {
  constexpr const char* kOctets = "application/octet-stream";
  EXPECT_EQ(MimeTypeFor(""), kOctets);
  EXPECT_EQ(MimeTypeFor("README"), kOctets);
  EXPECT_EQ(MimeTypeFor("name."), kOctets);
  EXPECT_EQ(MimeTypeFor("archive.tar.gz"), kOctets);
  // The only dot is in a folder name: the "extension" runs through the "/".
  EXPECT_EQ(MimeTypeFor("b.c/file"), kOctets);
  EXPECT_EQ(MimeTypeFor("assets.png/readme"), kOctets);
  // Non-ASCII bytes are never folded: this must not become ".png".
  EXPECT_EQ(MimeTypeFor("x.\xC3\x89png"), kOctets);
  EXPECT_EQ(MimeTypeFor("x.pngx"), kOctets);
}

}  // namespace
}  // namespace kiln

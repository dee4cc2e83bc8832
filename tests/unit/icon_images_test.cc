#include "pack/icon_images.h"

#include <gtest/gtest.h>

#include "../common/sample_png.h"

namespace kiln {
namespace {

uint32_t U32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>(bytes[at + i]);
  return value;
}

TEST(IconImagesTest, MakesEverySizeFromAPng) {
  std::string why;
  const auto images = MakeIconImages(testing::SamplePng(), why);
  ASSERT_TRUE(images) << why;
  ASSERT_EQ(images->size(), std::size(kIconSizes));
  for (size_t i = 0; i < images->size(); ++i) {
    const IconImage& image = (*images)[i];
    const int side = kIconSizes[i];
    EXPECT_EQ(image.size, side);
    if (side == 256) {
      EXPECT_EQ(image.bytes.substr(0, 4), "\x89PNG");
      continue;
    }
    // A 32-bit bitmap twice as high (the mask), then the pixels and the mask.
    EXPECT_EQ(U32(image.bytes, 0), 40u);
    EXPECT_EQ(U32(image.bytes, 4), static_cast<uint32_t>(side));
    EXPECT_EQ(U32(image.bytes, 8), static_cast<uint32_t>(2 * side));
    EXPECT_EQ(image.bytes.size(), 40u + 4 * side * side + (side + 31) / 32 * 4 * side);
    // The sample is one opaque red (200, 30, 30), kept through resizing.
    EXPECT_EQ(image.bytes.substr(40, 4), "\x1E\x1E\xC8\xFF") << side;
  }
  const std::string group = IconGroup(*images, 5);
  ASSERT_EQ(group.size(), 6 + 14 * images->size());
  EXPECT_EQ(group.substr(0, 6), std::string("\0\0\1\0\x08\0", 6));
  EXPECT_EQ(group[6 + 14 * 7], '\0');  // 256 is written as 0
  EXPECT_EQ(group[6 + 14 * 7 + 12], 12);  // the last id
}

TEST(IconImagesTest, ReadsTheLargestImageOfAnIcoFile) {
  std::string why;
  const auto made = MakeIconImages(testing::SamplePng(), why);
  ASSERT_TRUE(made);
  // An ICO of the 256 PNG and the 16-pixel bitmap.
  std::string ico("\0\0\1\0\2\0", 6);
  const std::string& png = made->back().bytes;
  const std::string& bitmap = made->front().bytes;
  const auto entry = [&](char side, const std::string& bytes, size_t offset) {
    std::string e = {side, side, 0, 0, 1, 0, 32, 0};
    for (const size_t value : {bytes.size(), offset}) {
      for (int i = 0; i < 4; ++i) e += static_cast<char>((value >> (8 * i)) & 0xFF);
    }
    return e;
  };
  ico += entry(16, bitmap, 6 + 32) + entry(0, png, 6 + 32 + bitmap.size()) + bitmap + png;
  const auto images = MakeIconImages(ico, why);
  ASSERT_TRUE(images) << why;
  EXPECT_EQ((*images)[0].bytes, bitmap);
  // Only the bitmap: read from the DIB itself.
  std::string small("\0\0\1\0\1\0", 6);
  small += entry(16, bitmap, 6 + 16) + bitmap;
  ASSERT_TRUE(MakeIconImages(small, why)) << why;
}

TEST(IconImagesTest, RefusesWhatIsNoImageItReads) {
  std::string why;
  EXPECT_FALSE(MakeIconImages("<svg/>", why));
  EXPECT_EQ(why, "is not an image kiln-pack reads (PNG, JPEG, GIF, BMP or ICO)");
  std::string huge = testing::SamplePng();
  huge.replace(16, 8, std::string("\0\0\x27\x10\0\0\x27\x10", 8));  // 10000 by 10000
  EXPECT_FALSE(MakeIconImages(huge, why));
  EXPECT_EQ(why, "is 10000 by 10000 pixels; an icon is made from at most 8192 by 8192");
  huge.replace(16, 8, std::string("\0\0\x4E\x20\0\0\x4E\x20", 8));  // 20000 by 20000
  EXPECT_FALSE(MakeIconImages(huge, why));
  EXPECT_EQ(why, "is not an image kiln-pack reads (PNG, JPEG, GIF, BMP or ICO)");
  EXPECT_FALSE(MakeIconImages(testing::SamplePng().substr(0, 40), why));
  EXPECT_FALSE(MakeIconImages(std::string("\0\0\1\0\1\0", 6), why));
  EXPECT_EQ(why, "is an ICO file holding no PNG or 32-bit image");
}

}  // namespace
}  // namespace kiln

#include "pack/version_resource.h"

#include <gtest/gtest.h>

#include "../common/tiny_pe.h"
#include "check/pe_image.h"

namespace kiln {
namespace {

TEST(VersionNumbersTest, ReadsSemverAndWindowsVersions) {
  const std::pair<const char*, std::optional<VersionNumbers>> cases[] = {
      {"1.2.3", VersionNumbers{1, 2, 3, 0}},
      {"1.2.3-beta.1+build.5", VersionNumbers{1, 2, 3, 0}},
      {"2", VersionNumbers{2, 0, 0, 0}},
      {"10.20.30.40", VersionNumbers{10, 20, 30, 40}},
      {"65535.0.0", VersionNumbers{65535, 0, 0, 0}},
      {"65536.0.0", std::nullopt},
      {"1.2.3.4.5", std::nullopt},
      {"v1.2.3", std::nullopt},
      {"1..3", std::nullopt},
      {"", std::nullopt},
      {"1.2.", std::nullopt},
  };
  for (const auto& [text, numbers] : cases) EXPECT_EQ(ParseVersionNumbers(text), numbers) << text;
  EXPECT_EQ(VersionText({1, 2, 3, 0}), "1.2.3.0");
}

// The PE reader finds ProductVersion as VerQueryValue would: under
// StringFileInfo, in the U.S. English Unicode table, after other strings.
TEST(VersionResourceTest, ReadsBackThroughThePeReader) {
  VersionInfo info;
  info.numbers = {1, 2, 3, 0};
  info.strings = {{"FileDescription", "Ünïcode Game"}, {"CompanyName", "Ann"},
                  {"ProductVersion", "1.2.3.0"}};
  const std::string resource = VersionResource(info);
  EXPECT_EQ(resource.size() % 4, 0u);
  EXPECT_EQ(static_cast<uint8_t>(resource[0]) | (static_cast<uint8_t>(resource[1]) << 8),
            resource.size());
  std::string why;
  const std::optional<std::string> image = WithResources(
      testing::TinyPe({{".text", "code"}}), {{{16, {}}, {1, {}}, 0x0409, 0, resource}}, why);
  ASSERT_TRUE(image) << why;
  EXPECT_EQ(ReadPeImage(*image)->productVersion, "1.2.3.0");
  // The fixed part: signature, then file version 1.2 / 3.0.
  const size_t fixed = resource.find(std::string("\xBD\x04\xEF\xFE", 4));
  ASSERT_NE(fixed, std::string::npos);
  EXPECT_EQ(resource.substr(fixed + 8, 8), std::string("\2\0\1\0\0\0\3\0", 8));
}

}  // namespace
}  // namespace kiln

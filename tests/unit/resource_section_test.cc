// The resource writer on small images of each layout: what it writes reads
// back with the PE reader, and every other byte keeps its place.
#include "pack/resource_section.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <tuple>

#include "../common/test_bytes.h"
#include "../common/tiny_pe.h"

namespace kiln {
namespace {

using testing::Pattern;
using testing::TinyPe;

const std::vector<PeResource> kResources = {
    {{0, u"DATA"}, {7, {}}, 0x0409, 0, "named type"},
    {{3, {}}, {1, {}}, 0x0409, 0, Pattern(1000, 1)},
    {{14, {}}, {0, u"MAINICON"}, 0x0409, 0, "group"},
    {{24, {}}, {1, {}}, 0, 0, "<assembly/>"},
    {{24, {}}, {1, {}}, 0x0407, 1252, "<assembly lang='de'/>"},
};

std::vector<PeResource> Sorted(std::vector<PeResource> resources) {
  std::sort(resources.begin(), resources.end(), [](const PeResource& a, const PeResource& b) {
    const auto key = [](const PeResource& r) {
      return std::make_tuple(r.type.name.empty(), r.type.name, r.type.id, r.name.name.empty(),
                             r.name.name, r.name.id, r.language);
    };
    return key(a) < key(b);
  });
  return resources;
}

void ExpectSame(const std::vector<PeResource>& read, const std::vector<PeResource>& written) {
  ASSERT_EQ(read.size(), written.size());
  for (size_t i = 0; i < read.size(); ++i) {
    EXPECT_TRUE(read[i].type == written[i].type && read[i].name == written[i].name) << i;
    EXPECT_EQ(read[i].language, written[i].language) << i;
    EXPECT_EQ(read[i].codePage, written[i].codePage) << i;
    EXPECT_EQ(read[i].data, written[i].data) << i;
  }
}

struct Layout {
  const char* name;
  bool wide;
  std::vector<testing::TinySection> sections;
  size_t sectionsAfter;  // how many the rewritten image has
};

const std::string kOldTree = ResourceSectionBytes({kResources[3]}, 0x2000);

class ResourceSectionTest : public ::testing::TestWithParam<Layout> {};

TEST_P(ResourceSectionTest, WritesWhatReadsBackAndKeepsEveryOtherByte) {
  const Layout& layout = GetParam();
  const std::string before = TinyPe(layout.sections, layout.wide);
  std::string why;
  const std::optional<std::string> after = WithResources(before, kResources, why);
  ASSERT_TRUE(after) << why;
  const std::optional<PeImage> image = ReadPeImage(*after);
  ASSERT_TRUE(image && image->layout);
  EXPECT_FALSE(image->truncated);
  EXPECT_TRUE(image->resourcesWhole);
  EXPECT_EQ(image->wide, layout.wide);
  ExpectSame(image->resources, Sorted(kResources));
  ASSERT_EQ(image->sections.size(), layout.sectionsAfter);
  const PeSection& last = image->sections.back();
  EXPECT_EQ(last.name, ".rsrc");
  EXPECT_EQ(image->layout->directoryAddress[kResourceDataDirectory], last.address);
  // Code and what followed the old resources are where they were.
  for (size_t i = 0; i + 1 < layout.sectionsAfter; ++i) {
    const PeSection& section = image->sections[i];
    EXPECT_EQ(after->substr(section.rawOffset, section.rawSize),
              before.substr(section.rawOffset, section.rawSize))
        << section.name;
  }
  const auto u32 = [&](uint64_t at) {
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<uint8_t>((*after)[at + i]);
    return value;
  };
  const uint64_t checksum = image->layout->optionalHeader + 64;
  EXPECT_EQ(u32(checksum), PeChecksum(*after, checksum));
  EXPECT_NE(u32(checksum), 0u);
  EXPECT_EQ(u32(image->layout->optionalHeader + 56),
            (last.address + last.virtualSize + 0xFFF) / 0x1000 * 0x1000);
  // Packing the packed image again takes the place of its own section.
  const std::optional<std::string> again = WithResources(*after, {kResources[1]}, why);
  ASSERT_TRUE(again) << why;
  EXPECT_EQ(ReadPeImage(*again)->sections.size(), layout.sectionsAfter);
  ExpectSame(ReadPeImage(*again)->resources, {kResources[1]});
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, ResourceSectionTest,
    ::testing::Values(
        Layout{"ResourcesBeforeRelocations", false,
               {{".text", Pattern(700, 1)}, {".rsrc", kOldTree, true}, {".reloc", Pattern(90, 2)}},
               4},
        Layout{"ResourcesLast", false, {{".text", Pattern(700, 1)}, {".rsrc", kOldTree, true}}, 2},
        Layout{"NoResources", false, {{".text", Pattern(700, 1)}, {".data", Pattern(5, 3)}}, 3},
        Layout{"Wide", true,
               {{".text", Pattern(700, 1)}, {".rsrc", kOldTree, true}, {".reloc", Pattern(90, 2)}},
               4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ResourceSectionTest, RemovesTheSignatureAtTheEnd) {
  std::string image = TinyPe({{".text", Pattern(700, 1)}});
  const size_t signature = image.size();
  image += std::string(64, '\x5A');
  testing::PutLe(image, 0x40 + 24 + 96 + 8 * kCertificateDirectory, signature, 4);
  testing::PutLe(image, 0x40 + 24 + 96 + 8 * kCertificateDirectory + 4, 64, 4);
  std::string why;
  const std::optional<std::string> after = WithResources(image, kResources, why);
  ASSERT_TRUE(after) << why;
  const std::optional<PeImage> read = ReadPeImage(*after);
  EXPECT_EQ(read->layout->directoryAddress[kCertificateDirectory], 0u);
  EXPECT_EQ(after->find(std::string(64, '\x5A')), std::string::npos);
  EXPECT_EQ(read->sections.back().rawOffset, signature);
}

TEST(ResourceSectionTest, RefusesWhatItCannotRewrite) {
  std::string why;
  EXPECT_FALSE(WithResources("MZ not an image", kResources, why));
  EXPECT_EQ(why, "is not a Windows program");
  const std::string image = TinyPe({{".text", Pattern(700, 1)}});
  EXPECT_FALSE(WithResources(image.substr(0, 0x500), kResources, why));
  EXPECT_EQ(why, "is cut short: its headers or sections run past the end of the file");
  // Section headers fill the headers up to the first section's data.
  std::vector<testing::TinySection> many(18, {".data", "x"});
  EXPECT_FALSE(WithResources(TinyPe(many), kResources, why));
  EXPECT_EQ(why, "leaves no room for another section header");
}

}  // namespace
}  // namespace kiln

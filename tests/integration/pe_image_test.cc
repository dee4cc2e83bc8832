// kiln-check's PE reader against the images this project builds, 32 and
// 64-bit, and against copies of them cut short.
#include "check/pe_image.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "harness.h"

namespace kiln::testing {
namespace {

std::string Image(const char* preset, const std::string& relative) {
  const std::string bytes = ReadFile(WinBuildDir().parent_path() / preset / relative);
  EXPECT_FALSE(bytes.empty()) << preset << "/" << relative << " was not built";
  return bytes;
}

bool Has(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

TEST(PeImageTest, TellsTheArchitectureAndEntryOfExtensions) {
  const struct {
    const char* preset;
    uint16_t machine;
    bool wide;
  } kBuilds[] = {{"win32", kMachineI386, false}, {"win64", kMachineAmd64, true}};
  for (const auto& build : kBuilds) {
    SCOPED_TRACE(build.preset);
    const auto recorder = ReadPeImage(Image(build.preset, "tests/extensions/recorder.ext.dll"));
    ASSERT_TRUE(recorder);
    EXPECT_EQ(recorder->machine, build.machine);
    EXPECT_EQ(recorder->wide, build.wide);
    EXPECT_TRUE(recorder->characteristics & kImageFileDll);
    EXPECT_FALSE(recorder->truncated);
    EXPECT_TRUE(Has(recorder->exports, "WrapperExtInit"));
    EXPECT_TRUE(Has(recorder->imports, "KERNEL32.dll!GetProcAddress") ||
                Has(recorder->imports, "KERNEL32.dll!GetModuleHandleW"))
        << "imports by name are read, with their DLL";
    EXPECT_EQ(recorder->productVersion, "");

    const auto noEntry = ReadPeImage(Image(build.preset, "tests/extensions/noentry.ext.dll"));
    ASSERT_TRUE(noEntry);
    EXPECT_EQ(noEntry->exports, std::vector<std::string>{"KilnNotAnExtension"});
  }
  const auto winapi = ReadPeImage(Image("win32", "tests/extensions/winapi.ext.dll"));
  ASSERT_TRUE(winapi);
  EXPECT_EQ(winapi->exports, std::vector<std::string>{"WrapperExtInit@4"});
}

TEST(PeImageTest, ReadsTheProductVersionKilnAsksWindowsFor) {
  for (const char* preset : {"win32", "win64"}) {
    SCOPED_TRACE(preset);
    const auto runtime = ReadPeImage(Image(preset, "tests/runtime/EmbeddedBrowserWebView.dll"));
    ASSERT_TRUE(runtime);
    EXPECT_EQ(runtime->productVersion, "120.0.2210.91");
    EXPECT_TRUE(Has(runtime->exports, "CreateWebViewEnvironmentWithOptionsInternal"));
  }
  // Its German table comes first and says 7.7.7.7; the numeric version
  // says 9.9.9.9. The U.S. English text is what counts.
  const auto fake = ReadPeImage(Image("win32", "tests/fake_webview2_client.dll"));
  ASSERT_TRUE(fake);
  EXPECT_EQ(fake->productVersion, "120.0.2210.91");
}

TEST(PeImageTest, CopiesCutShortAreNeverTakenForWholeImages) {
  for (const char* preset : {"win32", "win64"}) {
    const std::string bytes = Image(preset, "tests/runtime/EmbeddedBrowserWebView.dll");
    ASSERT_GT(bytes.size(), 4096u);
    const size_t header =
        static_cast<uint8_t>(bytes[0x3C]) | static_cast<uint8_t>(bytes[0x3D]) << 8;
    for (const size_t cut : {size_t{0}, size_t{2}, size_t{0x3F}, size_t{0x40}, header + 4,
                             header + 24, header + 100, size_t{1024}, bytes.size() / 2,
                             bytes.size() - 1}) {
      SCOPED_TRACE(std::string(preset) + " cut at " + std::to_string(cut));
      const auto image = ReadPeImage(std::string_view(bytes).substr(0, cut));
      EXPECT_TRUE(!image || image->truncated);
    }
  }
}

}  // namespace
}  // namespace kiln::testing

// Start-up of the real kiln.exe under Wine: the configuration failures a user
// can cause, and the main window a valid package.json gives.
#include <gtest/gtest.h>

#include <regex>

#include "check/pe_image.h"
#include "harness.h"
#include "stand_in.h"

namespace kiln::testing {
namespace {

constexpr char kFixedCaption[] = "Windows WebView2 wrapper";
constexpr char kLoadFailure[] =
    "Failed to load package.json. Check the file is in the same folder as the app.";
constexpr char kParseFailure[] =
    "Failed to parse package.json. Check the file has valid JSON and that all parameters are "
    "correct.";

// Window style bits, as Windows defines them.
constexpr unsigned kCaption = 0x00C00000, kSysMenu = 0x00080000, kThickFrame = 0x00040000,
                   kMinimizeBox = 0x00020000, kMaximizeBox = 0x00010000, kVisible = 0x10000000;

void ExpectStartupFailure(const RunResult& run, const std::string& text) {
  ASSERT_FALSE(run.TimedOut());
  const std::vector<json> dialogs = run.Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["caption"], kFixedCaption);
  EXPECT_EQ(dialogs[0]["text"], text);
  EXPECT_EQ(dialogs[0]["icon"], "error");
  EXPECT_EQ(run.ExitCode(), 1);
  EXPECT_FALSE(run.Window()) << "no main window may be created";
}

TEST(StartupTest, MissingPackageJsonIsALoadFailure) {
  TestApp app(CurrentTestName());
  ExpectStartupFailure(RunKiln(app), kLoadFailure);
}

TEST(StartupTest, EmptyPackageJsonIsALoadFailure) {
  TestApp app(CurrentTestName());
  app.WritePackageJson("");
  ExpectStartupFailure(RunKiln(app), kLoadFailure);
}

TEST(StartupTest, InvalidConfigurationsAreParseFailures) {
  const char* const configurations[] = {
      "{\"name\": \"game\" // the name\n}",         // a comment
      "{\"name\": \"game\",}",                       // a trailing comma
      "{\"main\": \"index.html\"}",                  // no name
      "{\"name\": \"\"}",                            // an empty name
      "{\"name\": 7}",                               // a name that is not text
      "{\"name\": \"game\", \"settings\": {\"content-mode\": \"Remote\"}}",
      "{\"name\": \"game\", \"settings\": {\"distribution-mode\": \"evergreen \"}}",
      "[\"name\", \"game\"]",
  };
  int index = 0;
  for (const char* configuration : configurations) {
    SCOPED_TRACE(configuration);
    TestApp app(CurrentTestName() + std::to_string(index++));
    app.WritePackageJson(configuration);
    ExpectStartupFailure(RunKiln(app), kParseFailure);
  }
}

class MainWindowTest : public ::testing::Test {
 protected:
  // The window is made only once a runtime has been found: an installed
  // stand-in that never loads a page keeps it hidden.
  void SetUp() override {
    RegisterRuntime("HKCU", kStableChannel, StageInstalledRuntime("main-window", "120.0.2210.91"));
  }
  void TearDown() override {
    SetScreenDpi(96);
    ForgetRuntimes();
  }

  json StartAndClose(const std::string& packageJson) {
    TestApp app(CurrentTestName());
    app.WritePackageJson(packageJson);
    app.WriteFile("icon.png", "");
    RunOptions options;
    options.closeWindow = true;
    const RunResult run = RunWithStandIn(app, {{"steps", json::array()}}, options).run;
    EXPECT_TRUE(run.Dialogs().empty());
    EXPECT_EQ(run.ExitCode(), 0) << "closing the window ends the run normally";
    return run.Window().value_or(json::object());
  }
};

TEST_F(MainWindowTest, MinimalConfigurationGivesTheDefaultHiddenWindow) {
  const json window = StartAndClose("{\"name\": \"minimal\"}");
  ASSERT_FALSE(window.empty());
  EXPECT_EQ(window["caption"], kFixedCaption);
  EXPECT_EQ(window["visible"], false);
  EXPECT_EQ(window["client"], json::array({0, 0, 1024, 768}));
  const unsigned style = window["style"];
  EXPECT_EQ(style & (kCaption | kSysMenu | kThickFrame | kMinimizeBox | kMaximizeBox),
            kCaption | kSysMenu | kThickFrame | kMinimizeBox | kMaximizeBox);
  EXPECT_EQ(style & kVisible, 0u);
}

TEST_F(MainWindowTest, ClientAreaIsScaledToTheScreenDpi) {
  SetScreenDpi(144);
  const json window = StartAndClose("{\"name\": \"scaled\"}");
  EXPECT_EQ(window["client"], json::array({0, 0, 1536, 1152}));
}

TEST_F(MainWindowTest, ConfiguredTitleAndSizeAreUsed) {
  const json window = StartAndClose(
      "{\"name\": \"sized\", \"window\": {\"title\": \"Caf\\u00e9 \\u2615\", \"width\": 800.9, "
      "\"height\": 600}}");
  EXPECT_EQ(window["caption"], "Caf\u00e9 \u2615");
  EXPECT_EQ(window["client"], json::array({0, 0, 800, 600}));
}

TEST_F(MainWindowTest, FixedFrameHasNoSizingBorderAndNoMaximizeBox) {
  const json window = StartAndClose("{\"name\": \"fixed\", \"window\": {\"resizable\": false}}");
  const unsigned style = window["style"];
  EXPECT_EQ(style & (kThickFrame | kMaximizeBox), 0u);
  EXPECT_EQ(style & (kCaption | kSysMenu | kMinimizeBox), kCaption | kSysMenu | kMinimizeBox);
  EXPECT_EQ(window["client"], json::array({0, 0, 1024, 768}));
}

TEST_F(MainWindowTest, UndecodableIconFallsBackAndStartupGoesOn) {
  const json window = StartAndClose("{\"name\": \"icon\", \"window\": {\"icon\": \"icon.png\"}}");
  EXPECT_FALSE(window.empty());
}

// What the loader of Windows reads from an exe's headers.
PeImage ReadExeImage(const fs::path& path) {
  return ReadPeImage(ReadFile(path)).value_or(PeImage{});
}

// The exe users run, which every run of the tests builds.
fs::path ShippedExe() { return WinBuildDir().parent_path() / "win32" / "src" / "kiln.exe"; }

TEST(ShippedExeTest, ReachesNoFileThroughTheCRuntime) {
  // The C runtime mingw-w64 links refuses every "\\?\" path on Windows
  // (Wine's accepts them, so no run here would notice).
  for (const fs::path& exe : {ShippedExe(), WinBuildDir() / "src" / "kiln.exe",
                              ShippedExe().parent_path() / "kiln-check.exe"}) {
    SCOPED_TRACE(exe);
    const PeImage image = ReadExeImage(exe);
    const std::regex crt(R"(msvcrt\.dll!.*)", std::regex::icase);
    const std::regex byPath(
        R"(msvcrt\.dll!_?w?(f?s?open|freopen|stat\w*|access|findfirst\w*|remove|rename|unlink|)"
        R"(mkdir|rmdir|chmod|fullpath)(_s)?)",
        std::regex::icase);
    int fromCrt = 0;
    for (const std::string& name : image.imports) {
      fromCrt += std::regex_match(name, crt);
      EXPECT_FALSE(std::regex_match(name, byPath)) << name;
    }
    EXPECT_GT(fromCrt, 0) << "the C runtime's imports were not found at all";
  }
}

TEST(ShippedExeTest, AsksForTheWholeAddressSpace) {
  constexpr uint16_t kLargeAddressAware = 0x20;
  EXPECT_EQ(ReadExeImage(ShippedExe()).characteristics & kLargeAddressAware, kLargeAddressAware);
}

}  // namespace
}  // namespace kiln::testing

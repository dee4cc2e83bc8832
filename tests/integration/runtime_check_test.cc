// The start-up test for a WebView2 runtime, through the real kiln.exe and
// Kiln's own loader: the fixed runtime beside the exe, installed runtimes
// found through the registry, and what the user is told when there is none.
#include <gtest/gtest.h>

#include "stand_in.h"

namespace kiln::testing {
namespace {

constexpr char kFixedMissingText[] =
    "This app is set to \"fixed\" distribution mode, but the WebView2 control failed to "
    "initialize. Check there is a valid fixed distribution of Microsoft Edge WebView2 runtime in "
    "the \"webview2\" subfolder.";
constexpr char kDefaultInstallFailedText[] =
    "Failed to install the Microsoft Edge WebView2 runtime. Check that you have permission to "
    "install it, and that your Internet connection is working. Run the app again to try again.";

const json kShowAndEnd = {{"steps", {{{"do", "dom-content-loaded"}}, {{"do", "end"}}}}};

class RuntimeCheckTest : public ::testing::Test {
 protected:
  void SetUp() override { ForgetRuntimes(); }
  void TearDown() override { ForgetRuntimes(); }

  TestApp App(const json& package, const std::string& variant = "") {
    TestApp app(CurrentTestName() + variant);
    json config = {{"name", "kiln-runtime"}, {"window", {{"title", "Runtime Check"}}}};
    config.merge_patch(package);
    app.WritePackageJson(config.dump());
    return app;
  }

  // The runtime the loader chose, as the stand-in saw itself loaded.
  static std::string LoadedFrom(const StandInRun& run) {
    return run.First("create-environment").value("module", "");
  }

  static std::string DllIn(const fs::path& runtimeFolder) {
    const std::string architecture = WinBuildDir().filename() == "win32" ? "x86" : "x64";
    return WinePath(runtimeFolder / "EBWebView" / architecture / "EmbeddedBrowserWebView.dll");
  }

  // In evergreen mode the failure is announced: the install notice comes
  // first, and the installer's download (no server answers here) fails.
  static void ExpectRuntimeMissing(const StandInRun& run, const std::string& text,
                                   bool announced = false) {
    ASSERT_FALSE(run.run.TimedOut());
    const std::vector<json> dialogs = run.run.Dialogs();
    ASSERT_EQ(dialogs.size(), announced ? 2u : 1u);
    if (announced) EXPECT_EQ(dialogs[0]["icon"], "information");
    EXPECT_EQ(dialogs.back()["caption"], "Runtime Check");
    EXPECT_EQ(dialogs.back()["text"], text);
    EXPECT_EQ(dialogs.back()["icon"], "error");
    EXPECT_EQ(run.run.ExitCode(), 1);
    EXPECT_FALSE(run.run.Window()) << "the check comes before the main window";
    EXPECT_TRUE(run.transcript.empty()) << "no runtime was started";
  }
};

TEST_F(RuntimeCheckTest, FixedRuntimeBesideTheExeIsFoundFromAnotherCurrentDirectory) {
  const TestApp app = App({{"settings", {{"distribution-mode", "fixed"}}}});
  InstallFixedRuntime(app);
  ASSERT_NE(fs::current_path(), app.folder()) << "kiln.exe must not run from its own folder";
  const StandInRun run = RunWithStandIn(app, kShowAndEnd);
  EXPECT_TRUE(run.run.Dialogs().empty());
  EXPECT_EQ(LoadedFrom(run), DllIn(app.Path("webview2")));
  EXPECT_EQ(run.First("create-environment")["runtimeType"], 1);
  EXPECT_EQ(run.run.ExitCode(), 0);
  ExpectCleanRun(run);
}

TEST_F(RuntimeCheckTest, FixedModeWithoutARuntimeShowsTheFixedModeText) {
  const TestApp missing = App({{"settings", {{"distribution-mode", "fixed"}}}}, "Missing");
  ExpectRuntimeMissing(RunWithStandIn(missing, kShowAndEnd), kFixedMissingText);

  const TestApp empty = App({{"settings", {{"distribution-mode", "fixed"}}}}, "Empty");
  empty.WriteFile("webview2/EBWebView/readme.txt", "no runtime here");
  ExpectRuntimeMissing(RunWithStandIn(empty, kShowAndEnd), kFixedMissingText);
}

TEST_F(RuntimeCheckTest, FixedModeIgnoresInstalledRuntimes) {
  RegisterRuntime("HKCU", kStableChannel, StageInstalledRuntime("installed", "120.0.2210.91"));
  const TestApp app = App({{"settings", {{"distribution-mode", "fixed"}}}});
  ExpectRuntimeMissing(RunWithStandIn(app, kShowAndEnd), kFixedMissingText);
}

TEST_F(RuntimeCheckTest, EvergreenFindsARuntimeInstalledForTheUser) {
  const fs::path folder = StageInstalledRuntime("user", "120.0.2210.91");
  RegisterRuntime("HKCU", kStableChannel, folder);
  const StandInRun run = RunWithStandIn(App(json::object()), kShowAndEnd);
  EXPECT_TRUE(run.run.Dialogs().empty());
  EXPECT_EQ(LoadedFrom(run), DllIn(folder));
  EXPECT_EQ(run.First("create-environment")["runtimeType"], 0) << "an installed runtime";
  EXPECT_EQ(run.run.ExitCode(), 0);
  ExpectCleanRun(run);
}

TEST_F(RuntimeCheckTest, EvergreenPrefersTheMachineInstallToTheUserInstall) {
  const fs::path machine = StageInstalledRuntime("machine", "119.0.2151.44");
  const fs::path user = StageInstalledRuntime("user", "120.0.2210.91");
  RegisterRuntime("HKLM", kStableChannel, machine);
  RegisterRuntime("HKCU", kStableChannel, user);
  EXPECT_EQ(LoadedFrom(RunWithStandIn(App(json::object()), kShowAndEnd)), DllIn(machine));
}

TEST_F(RuntimeCheckTest, EvergreenPrefersTheStableRuntimeToPreviewChannels) {
  const fs::path beta = StageInstalledRuntime("beta", "121.0.2277.4");
  const fs::path stable = StageInstalledRuntime("stable", "120.0.2210.91");
  RegisterRuntime("HKLM", kBetaChannel, beta);
  RegisterRuntime("HKCU", kBetaChannel, beta);
  RegisterRuntime("HKCU", kStableChannel, stable);
  EXPECT_EQ(LoadedFrom(RunWithStandIn(App(json::object()), kShowAndEnd)), DllIn(stable))
      << "the channel outranks the hive";

  ForgetRuntimes();
  const fs::path canary = StageInstalledRuntime("canary", "122.0.2300.0");
  RegisterRuntime("HKCU", kCanaryChannel, canary);
  RegisterRuntime("HKCU", kBetaChannel, beta);
  EXPECT_EQ(LoadedFrom(RunWithStandIn(App(json::object(), "Beta"), kShowAndEnd)), DllIn(beta));
}

TEST_F(RuntimeCheckTest, EvergreenSkipsRuntimesOlderThanTheLoaderSupports) {
  const fs::path old = StageInstalledRuntime("old", "86.0.615.99");
  const fs::path oldest = StageInstalledRuntime("oldest", "85.0.700.0");
  const fs::path supported = StageInstalledRuntime("supported", "86.0.616.0");
  RegisterRuntime("HKLM", kStableChannel, oldest);
  RegisterRuntime("HKCU", kStableChannel, old);
  RegisterRuntime("HKCU", kDevChannel, supported);
  EXPECT_EQ(LoadedFrom(RunWithStandIn(App(json::object()), kShowAndEnd)), DllIn(supported));

  ForgetRuntimes();
  RegisterRuntime("HKCU", kStableChannel, old);
  ExpectRuntimeMissing(RunWithStandIn(App(json::object(), "OnlyOld"), kShowAndEnd),
                       kDefaultInstallFailedText, /*announced=*/true);
}

}  // namespace
}  // namespace kiln::testing

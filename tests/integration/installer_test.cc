// The WebView2 installer through the real kiln.exe: a machine without a
// runtime is told, the bootstrapper is downloaded from the test's loopback
// server (by a copy of kiln.exe that differs from the shipped one in its
// download link alone) with a progress window and run, and start-up
// goes on once the runtime is found. Nothing that was not freshly downloaded
// is ever started.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>

#include "http_server.h"
#include "stand_in.h"

namespace kiln::testing {
namespace {

constexpr int kServerPort = 48213;
constexpr char kBootstrapperPath[] = "/Webview2Setup.exe";
constexpr char kTitle[] = "Installer Test";
constexpr char kDefaultNotice[] =
    "This app requires the Microsoft Edge WebView2 runtime. It will be downloaded and installed "
    "for you now.";
constexpr char kDefaultFailure[] =
    "Failed to install the Microsoft Edge WebView2 runtime. Check that you have permission to "
    "install it, and that your Internet connection is working. Run the app again to try again.";
constexpr char kSetupClass[] = "WebView2Setup";

const json kShowAndEnd = {{"steps", {{{"do", "dom-content-loaded"}}, {{"do", "end"}}}}};

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

class InstallerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ForgetRuntimes();
    runtime_ = StageInstalledRuntime("installed-by-bootstrapper", "120.0.2210.91");
  }
  void TearDown() override { ForgetRuntimes(); }

  // An evergreen app whose user data folder does not exist yet.
  TestApp App(const std::string& name, const json& package = json::object()) {
    TestApp app(CurrentTestName());
    app.CopyFrom(WinBuildDir() / "tests" / "tools" / "loopback" / "kiln.exe", "kiln.exe");
    json config = {{"name", name}, {"window", {{"title", kTitle}}}};
    config.merge_patch(package);
    app.WritePackageJson(config.dump());
    std::error_code ignored;  // a name too long for a folder has none to remove
    fs::remove_all(LocalAppDataDir() / name, ignored);
    return app;
  }

  static std::string Bootstrapper() {
    return ReadFile(WinBuildDir() / "tests" / "tools" / "test_bootstrapper.exe");
  }

  // The bootstrapper, when it runs, writes the folder it ran in to
  // `<app>/bootstrapper.txt` and registers the staged runtime unless told to
  // install nothing.
  RunOptions Options(const TestApp& app, bool installs = true) const {
    RunOptions options;
    options.timeoutMs = 60000;
    options.watchClasses = {kSetupClass};
    options.environment = {{"KILN_TEST_BOOTSTRAPPER_RECORD", WinePath(app.Path("bootstrapper.txt"))}};
    if (installs) options.environment.emplace_back("KILN_TEST_RUNTIME_FOLDER", WinePath(runtime_));
    return options;
  }

  static void ExpectNotice(const json& dialog, const std::string& text) {
    EXPECT_EQ(dialog["caption"], kTitle);
    EXPECT_EQ(dialog["text"], text);
    EXPECT_EQ(dialog["icon"], "information");
  }

  static void ExpectFailure(const StandInRun& run, const std::string& text) {
    ASSERT_FALSE(run.run.TimedOut());
    const std::vector<json> dialogs = run.run.Dialogs();
    ASSERT_GE(dialogs.size(), 2u);
    ExpectNotice(dialogs.front(), kDefaultNotice);
    EXPECT_EQ(dialogs.back()["caption"], kTitle);
    EXPECT_EQ(dialogs.back()["text"], text);
    EXPECT_EQ(dialogs.back()["icon"], "error");
    EXPECT_EQ(run.run.ExitCode(), 1);
    EXPECT_FALSE(run.run.Window());
  }

  fs::path runtime_;
};

TEST_F(InstallerTest, InstalledRuntimeGoesStraightOn) {
  LoopbackHttpServer server(kServerPort);
  RegisterRuntime("HKCU", kStableChannel, runtime_);
  const TestApp app = App("kiln-installer-present");
  const StandInRun run = RunWithStandIn(app, kShowAndEnd, Options(app));
  EXPECT_TRUE(run.run.Dialogs().empty());
  EXPECT_TRUE(run.run.Windows(kSetupClass).empty());
  EXPECT_EQ(server.RequestCount(), 0);
  EXPECT_EQ(run.run.ExitCode(), 0);
}

TEST_F(InstallerTest, MissingRuntimeIsDownloadedInstalledAndStarted) {
  LoopbackHttpServer server(kServerPort);
  // Answering late keeps the progress window up long enough to be seen.
  server.Serve(kBootstrapperPath, 200, Bootstrapper(), 700);
  const TestApp app = App("kiln-installer-fresh");
  const json showSnapshotAndEnd = {{"steps",
                                    {{{"do", "dom-content-loaded"}},
                                     {{"do", "snapshot"}, {"label", "shown"}},
                                     {{"do", "end"}}}}};
  const StandInRun run = RunWithStandIn(app, showSnapshotAndEnd, Options(app));

  ASSERT_EQ(run.run.Dialogs().size(), 1u);
  ExpectNotice(run.run.Dialogs()[0], kDefaultNotice);
  const std::vector<json> progress = run.run.Windows(kSetupClass);
  ASSERT_EQ(progress.size(), 1u);
  EXPECT_EQ(progress[0]["caption"], "Downloading...");
  EXPECT_EQ(progress[0]["visible"], true);
  // Outer size 300 by 90 at 96 DPI, centred on the 2560 by 1600 screen.
  EXPECT_EQ(progress[0]["window"], json::array({1130, 755, 1430, 845}));
  EXPECT_EQ(server.RequestCount(), 1);

  const std::string ranIn = ReadFile(app.Path("bootstrapper.txt"));
  EXPECT_NE(Lower(ranIn).find("\\appdata\\local\\kiln-installer-fresh"), std::string::npos)
      << "the bootstrapper runs in the user data folder: " << ranIn;
  EXPECT_TRUE(fs::exists(LocalAppDataDir() / "kiln-installer-fresh" / "Webview2Setup.exe"));
  EXPECT_FALSE(run.First("create-environment").empty()) << "the installed runtime was used";
  EXPECT_EQ(run.First("snapshot").value("visible", false), true) << "the main window is shown";
  EXPECT_EQ(run.run.ExitCode(), 0);
  ExpectCleanRun(run);
}

TEST_F(InstallerTest, TheProgressWindowIsScaledToTheScreenDpi) {
  LoopbackHttpServer server(kServerPort);
  server.Serve(kBootstrapperPath, 200, Bootstrapper(), 700);
  const TestApp app = App("kiln-installer-scaled");
  SetScreenDpi(120);
  const StandInRun run = RunWithStandIn(app, kShowAndEnd, Options(app));
  SetScreenDpi(96);
  const std::vector<json> progress = run.run.Windows(kSetupClass);
  ASSERT_EQ(progress.size(), 1u);
  // 300 by 90 at 120 DPI is 375 by 112.5, rounded up; centred on 2560 by 1600.
  EXPECT_EQ(progress[0]["window"], json::array({1093, 744, 1468, 857}));
  // The bar keeps 10 units (12.5 pixels, rounded up) to the client area's
  // left and top, and its size is the client area's less 20 units.
  const json client = progress[0]["client"];
  ASSERT_EQ(progress[0]["children"].size(), 1u);
  const json bar = progress[0]["children"][0];
  EXPECT_EQ(bar["class"], "msctls_progress32");
  EXPECT_EQ(bar["rect"], json::array({13, 13, client[2].get<int>() - 12, client[3].get<int>() - 12}));
  EXPECT_EQ(run.run.ExitCode(), 0);
}

TEST_F(InstallerTest, ConfiguredTextsAndAnExistingUserDataFolder) {
  LoopbackHttpServer server(kServerPort);
  server.Serve(kBootstrapperPath, 200, Bootstrapper(), 700);
  const TestApp app = App("kiln-installer-texts",
                          {{"messages", {{"install-webview2", "Wir installieren WebView2."},
                                         {"downloading", ""}}}});
  fs::create_directories(LocalAppDataDir() / "kiln-installer-texts");
  const StandInRun run = RunWithStandIn(app, kShowAndEnd, Options(app));
  ASSERT_EQ(run.run.Dialogs().size(), 1u);
  ExpectNotice(run.run.Dialogs()[0], "Wir installieren WebView2.");
  ASSERT_EQ(run.run.Windows(kSetupClass).size(), 1u);
  EXPECT_EQ(run.run.Windows(kSetupClass)[0]["caption"], "");
  EXPECT_EQ(run.run.ExitCode(), 0);
}

TEST_F(InstallerTest, FailedDownloadsNeverStartAnOldFile) {
  struct Case {
    const char* name;
    bool serve404;
    json messages;
    const char* failure;
  } cases[] = {
      {"kiln-installer-refused", false, json::object(), kDefaultFailure},
      {"kiln-installer-404", true, {{"install-webview2-failed", "Kein Download."}},
       "Kein Download."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<LoopbackHttpServer> server;
    if (c.serve404) server.emplace(kServerPort);  // answers 404 to every path
    const TestApp app = App(c.name, {{"messages", c.messages}});
    // A program an earlier run left at the target path: it must never start.
    const fs::path folder = LocalAppDataDir() / c.name;
    fs::create_directories(folder);
    std::ofstream(folder / "Webview2Setup.exe", std::ios::binary) << Bootstrapper();

    const StandInRun run = RunWithStandIn(app, kShowAndEnd, Options(app));
    ExpectFailure(run, c.failure);
    EXPECT_FALSE(fs::exists(app.Path("bootstrapper.txt"))) << "a stale file was started";
    if (server) EXPECT_EQ(server->RequestCount(), 1);
  }
}

TEST_F(InstallerTest, BootstrapperThatInstallsNothingFailsAfterWaiting) {
  LoopbackHttpServer server(kServerPort);
  server.Serve(kBootstrapperPath, 200, Bootstrapper());
  const TestApp app = App("kiln-installer-nothing");
  const StandInRun run = RunWithStandIn(app, kShowAndEnd, Options(app, /*installs=*/false));
  ExpectFailure(run, kDefaultFailure);
  EXPECT_TRUE(fs::exists(app.Path("bootstrapper.txt"))) << "the bootstrapper ran";
  // The runtime is looked for again for 30 seconds before giving up.
  EXPECT_GE(run.run.events.back()["ms"].get<int>(), 30000);
}

TEST_F(InstallerTest, ACancelledOrFailedBootstrapperFailsAtOnce) {
  LoopbackHttpServer server(kServerPort);
  server.Serve(kBootstrapperPath, 200, Bootstrapper());
  const TestApp app = App("kiln-installer-cancelled");
  RunOptions options = Options(app, /*installs=*/false);
  options.environment.emplace_back("KILN_TEST_BOOTSTRAPPER_EXIT", "1602");
  const StandInRun run = RunWithStandIn(app, kShowAndEnd, options);
  ExpectFailure(run, kDefaultFailure);
  EXPECT_TRUE(fs::exists(app.Path("bootstrapper.txt"))) << "the bootstrapper ran";
  EXPECT_LT(run.run.events.back()["ms"].get<int>(), 20000) << "no waiting for what cannot come";
}

TEST_F(InstallerTest, RedirectedAndChunkedDownloadsCount) {
  // Microsoft's link answers with a redirect, and the file may come without
  // a length.
  LoopbackHttpServer server(kServerPort);
  server.Redirect(kBootstrapperPath, "http://127.0.0.1:" + std::to_string(kServerPort) + "/files/setup.exe");
  server.ServeChunked("/files/setup.exe", Bootstrapper());
  const TestApp app = App("kiln-installer-redirected");
  const StandInRun run = RunWithStandIn(app, kShowAndEnd, Options(app));
  EXPECT_EQ(server.RequestCount(), 2);
  EXPECT_TRUE(fs::exists(app.Path("bootstrapper.txt"))) << "the bootstrapper ran";
  EXPECT_EQ(run.run.ExitCode(), 0);
  ExpectCleanRun(run);
}

TEST_F(InstallerTest, TheUserDataFolderIsTheOneEveryoneElseFinds) {
  // A name Windows would change (its trailing dot dropped from plain paths)
  // gives one folder that the download, the bootstrapper and WebView2 share.
  LoopbackHttpServer server(kServerPort);
  server.Serve(kBootstrapperPath, 200, Bootstrapper());
  const fs::path folder = LocalAppDataDir() / "kiln-installer-dot_";
  fs::remove_all(folder);
  const TestApp app = App("kiln-installer-dot.");
  const StandInRun run = RunWithStandIn(app, kShowAndEnd, Options(app));
  EXPECT_TRUE(fs::exists(folder / "Webview2Setup.exe"));
  EXPECT_NE(Lower(ReadFile(app.Path("bootstrapper.txt"))).find("\\kiln-installer-dot_"),
            std::string::npos)
      << "the bootstrapper ran in it";
  EXPECT_NE(Lower(run.First("create-environment").value("userDataFolder", "")).find("\\kiln-installer-dot_"),
            std::string::npos)
      << "WebView2 was given it";
  EXPECT_EQ(run.run.ExitCode(), 0);
}

TEST_F(InstallerTest, UserDataFolderThatCannotBeCreated) {
  LoopbackHttpServer server(kServerPort);
  server.Serve(kBootstrapperPath, 200, Bootstrapper());
  // Longer than any folder name may be.
  const TestApp app = App(std::string(300, 'k'));
  const StandInRun run = RunWithStandIn(app, kShowAndEnd, Options(app));
  ExpectFailure(run, kDefaultFailure);
  const std::vector<json> dialogs = run.run.Dialogs();
  ASSERT_EQ(dialogs.size(), 3u);
  EXPECT_EQ(dialogs[1]["text"], "Failed to create user data directory");
  EXPECT_EQ(dialogs[1]["caption"], kTitle);
  EXPECT_EQ(dialogs[1]["icon"], "error");
  EXPECT_EQ(server.RequestCount(), 0);
}

TEST_F(InstallerTest, ClosingTheProgressWindowDoesNotStopTheDownload) {
  LoopbackHttpServer server(kServerPort);
  server.Serve(kBootstrapperPath, 200, Bootstrapper(), 1500);
  const TestApp app = App("kiln-installer-closed");
  RunOptions options = Options(app);
  options.closeClasses = {kSetupClass};
  const StandInRun run = RunWithStandIn(app, kShowAndEnd, options);
  ASSERT_EQ(run.run.Windows(kSetupClass).size(), 1u);
  EXPECT_TRUE(fs::exists(app.Path("bootstrapper.txt"))) << "the bootstrapper still ran";
  EXPECT_EQ(run.run.ExitCode(), 0);
}

TEST_F(InstallerTest, FixedModeNeverDownloads) {
  LoopbackHttpServer server(kServerPort);
  server.Serve(kBootstrapperPath, 200, Bootstrapper());
  const TestApp app = App("kiln-installer-fixed", {{"settings", {{"distribution-mode", "fixed"}}}});
  const StandInRun run = RunWithStandIn(app, kShowAndEnd, Options(app));
  ASSERT_EQ(run.run.Dialogs().size(), 1u);
  EXPECT_EQ(run.run.Dialogs()[0]["icon"], "error");
  EXPECT_EQ(run.run.ExitCode(), 1);
  EXPECT_EQ(server.RequestCount(), 0);
  EXPECT_TRUE(run.run.Windows(kSetupClass).empty());
}

}  // namespace
}  // namespace kiln::testing

// The web view's events through the real kiln.exe and the stand-in runtime:
// what the page's window-level requests do to the desktop.
#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "page_steps.h"

namespace kiln::testing {
namespace {

constexpr unsigned kCaption = 0x00C00000, kThickFrame = 0x00040000;

// Runs a fixed-mode app through the given steps; the last step ends the run.
StandInRun RunSteps(const json& steps, const json& package = json::object()) {
  TestApp app(CurrentTestName());
  json config = {{"name", "kiln-events"},
                 {"window", {{"title", "Events"}}},
                 {"settings", {{"distribution-mode", "fixed"}}}};
  config.merge_patch(package);
  app.WritePackageJson(config.dump());
  InstallFixedRuntime(app);
  return RunWithStandIn(app, {{"steps", steps}});
}

// Kinds of the transcript lines that follow the step, up to the next step.
std::vector<std::string> AfterStep(const StandInRun& run, const std::string& action) {
  std::vector<std::string> events;
  bool inside = false;
  for (const json& line : run.transcript) {
    const std::string event = line["event"];
    if (event == "step") {
      if (inside) break;
      inside = line["do"] == action;
      continue;
    }
    if (inside) events.push_back(event);
  }
  return events;
}

TEST(WebViewEvents, WindowStaysHiddenUntilTheDomHasLoadedThenShowsWithFocusInThePage) {
  const StandInRun run = RunSteps({Step("snapshot", {{"label", "created"}}), Step("wait", {{"ms", 200}}),
                                   Step("snapshot", {{"label", "waited"}}),
                                   Step("dom-content-loaded"),
                                   Step("snapshot", {{"label", "loaded"}}),
                                   Step("wait", {{"ms", 50}}),
                                   Step("dom-content-loaded"), Step("end")});
  ExpectCleanRun(run);
  EXPECT_EQ(Snapshot(run, "created")["visible"], false);
  EXPECT_EQ(Snapshot(run, "waited")["visible"], false);
  EXPECT_EQ(Snapshot(run, "loaded")["visible"], true);
  // Each time the DOM has loaded (a page reloaded, say): shown, then the
  // control made visible, then focus handed to the page.
  std::vector<std::vector<std::string>> afterLoads;
  bool inside = false;
  for (const json& line : run.transcript) {
    if (line["event"] == "step") {
      inside = line["do"] == "dom-content-loaded";
      if (inside) afterLoads.emplace_back();
    } else if (inside) {
      afterLoads.back().push_back(line["event"]);
    }
  }
  ASSERT_EQ(afterLoads.size(), 2u);
  for (const std::vector<std::string>& events : afterLoads) {
    const auto visible = std::find(events.begin(), events.end(), "visible");
    ASSERT_NE(visible, events.end());
    EXPECT_NE(std::find(visible, events.end(), "focus"), events.end());
  }
  for (const json& shown : run.Events("visible")) EXPECT_EQ(shown["value"], true);
  for (const json& focus : run.Events("focus")) EXPECT_EQ(focus["reason"], 0) << "programmatic";
  EXPECT_EQ(run.run.ExitCode(), 0);
}

TEST(WebViewEvents, CaptionFollowsTheDocumentTitle) {
  const StandInRun run = RunSteps({
      Step("snapshot", {{"label", "configured"}}),
      Step("title", {{"title", "Level 1 \u2014 Caf\u00e9"}}), Step("snapshot", {{"label", "titled"}}),
      Step("title", {{"title", ""}}), Step("snapshot", {{"label", "empty"}}),
      Step("title", {{"title", "Again"}}), Step("title", {{"title", nullptr}}),
      Step("snapshot", {{"label", "failed"}}), Step("end")});
  ExpectCleanRun(run);
  EXPECT_EQ(Snapshot(run, "configured")["caption"], "Events");
  EXPECT_EQ(Snapshot(run, "titled")["caption"], "Level 1 \u2014 Caf\u00e9");
  EXPECT_EQ(Snapshot(run, "empty")["caption"], "");
  EXPECT_EQ(Snapshot(run, "failed")["caption"], "") << "a title that cannot be read is empty";
}

TEST(WebViewEvents, NavigationLeavingTheOriginIsCancelled) {
  const std::string origin = kOrigin;
  const std::vector<std::pair<json, bool>> cases = {
      {origin + "level2.html", false},
      {origin + "sub/page.html?x=1#top", false},
      {origin, false},
      {"https://example.com/", true},
      {"about:blank", true},
      {"data:text/html,<p>hi</p>", true},
      {"HTTPS://APP.KILN.LOCALHOST/index.html", true},
      {"https://App.Kiln.Localhost/index.html", true},
      {"https://app.kiln.localhost", true},
      {"https://app.kiln.localhost.example.com/", true},
      {"file:///C:/Windows/win.ini", true},
      {nullptr, true},
  };
  json steps = json::array();
  for (const auto& [uri, cancelled] : cases) steps.push_back(Step("navigate", {{"uri", uri}}));
  steps.push_back(Step("end"));
  const StandInRun run = RunSteps(steps);
  ExpectCleanRun(run);
  std::vector<json> navigations = run.Events("navigation");
  ASSERT_EQ(navigations.size(), cases.size() + 1) << "the start page first";
  EXPECT_EQ(navigations[0]["cancelled"], false);
  for (size_t i = 0; i < cases.size(); ++i) {
    EXPECT_EQ(navigations[i + 1]["uri"], cases[i].first);
    EXPECT_EQ(navigations[i + 1]["cancelled"], cases[i].second) << cases[i].first;
  }
}

TEST(WebViewEvents, RemoteModeLetsThePageNavigateAnywhere) {
  const StandInRun run =
      RunSteps({Step("navigate", {{"uri", "https://elsewhere.example.org/"}}),
                Step("navigate", {{"uri", "about:blank"}}), Step("end")},
               {{"main", "https://games.example.com/"}, {"settings", {{"content-mode", "remote"}}}});
  ExpectCleanRun(run);
  for (const json& navigation : run.Events("navigation")) {
    EXPECT_EQ(navigation["cancelled"], false) << navigation["uri"];
  }
  EXPECT_EQ(run.Events("navigation").size(), 3u);
}

TEST(WebViewEvents, EveryPermissionIsGranted) {
  json steps = json::array();
  for (int kind = 0; kind <= 12; ++kind) steps.push_back(Step("permission", {{"kind", kind}}));
  steps.push_back(Step("permission", {{"kind", 2}, {"uri", nullptr}, {"userInitiated", false}}));
  steps.push_back(Step("end"));
  const StandInRun run = RunSteps(steps);
  ExpectCleanRun(run);
  const std::vector<json> permissions = run.Events("permission");
  ASSERT_EQ(permissions.size(), 14u);
  for (const json& permission : permissions) EXPECT_EQ(permission["state"], 1) << permission;
}

TEST(WebViewEvents, FullscreenElementCoversTheMonitorAndItsEndRestoresTheWindow) {
  const StandInRun run = RunSteps({
      Step("dom-content-loaded"), Step("move", {{"x", 40}, {"y", 30}}),
      Step("snapshot", {{"label", "windowed"}}), Step("fullscreen", {{"on", true}}),
      Step("snapshot", {{"label", "fullscreen"}}), Step("fullscreen", {{"on", true}}),
      Step("snapshot", {{"label", "again"}}), Step("fullscreen", {{"on", false}}),
      Step("snapshot", {{"label", "restored"}}), Step("end")});
  ExpectCleanRun(run);
  const json windowed = Snapshot(run, "windowed");
  const json fullscreen = Snapshot(run, "fullscreen");
  EXPECT_EQ(fullscreen["window"], fullscreen["monitor"]);
  EXPECT_EQ(fullscreen["style"].get<unsigned>() & (kCaption | kThickFrame), 0u);
  EXPECT_EQ(Snapshot(run, "again")["window"], fullscreen["window"]);
  const json restored = Snapshot(run, "restored");
  EXPECT_EQ(restored["window"], windowed["window"]);
  EXPECT_EQ(restored["style"], windowed["style"]);
  EXPECT_EQ(restored["exStyle"], windowed["exStyle"]);
  EXPECT_EQ(run.Events("bounds").back()["rect"], windowed["client"])
      << "the web view follows the restored client area";
}

TEST(WebViewEvents, WindowCloseRequestEndsTheRunLikeTheCloseBox) {
  const StandInRun run = RunSteps({Step("dom-content-loaded"), Step("close-request"),
                                   Step("snapshot", {{"label", "after"}})});
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0);
  EXPECT_EQ(Snapshot(run, "after")["exists"], false) << "the window is gone";
}

class NewWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    log_ = WinBuildDir().parent_path() / "it" / "shell-open.log";
    script_ = WinBuildDir().parent_path() / "it" / "shell-open.sh";
    fs::create_directories(log_.parent_path());
    fs::remove(log_);
    std::ofstream(script_) << "#!/bin/sh\necho \"$1\" >> '" << log_.string() << "'\n";
    fs::permissions(script_, fs::perms::owner_all);
    // Wine hands web and mail addresses to these programs instead of a browser.
    SetRegistryString("HKCU\\Software\\Wine\\WineBrowser", "Browsers", script_.string());
    SetRegistryString("HKCU\\Software\\Wine\\WineBrowser", "Mailers", script_.string());
  }
  void TearDown() override { DeleteRegistryKey("HKCU\\Software\\Wine\\WineBrowser"); }

  // What reached the shell's handlers, waiting for count addresses at most 5 s.
  std::vector<std::string> Opened(size_t count) const {
    std::vector<std::string> lines;
    for (int attempt = 0; attempt < 100; ++attempt) {
      lines.clear();
      std::istringstream text(ReadFile(log_));
      for (std::string line; std::getline(text, line);) lines.push_back(line);
      if (lines.size() >= count) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    std::sort(lines.begin(), lines.end());
    return lines;
  }

  fs::path log_, script_;
};

TEST_F(NewWindowTest, LinksReachTheShellButLocalFilesAndScriptsNeverDoAndEveryRequestIsHandled) {
  // The prefix has a handler for web and mail addresses only: an app link
  // such as steam:// goes to the shell but finds none here.
  const std::vector<json> uris = {
      "https://example.com/news?id=1", "mailto:team@example.com", "file:///C:/Windows/notepad.exe",
      "javascript:alert(1)",           "\\\\server\\share\\tool.exe", "steam://run/480",
      nullptr,                         "HTTP://EXAMPLE.ORG/",     "data:text/html,hi"};
  json steps = json::array();
  for (const json& uri : uris) steps.push_back(Step("new-window", {{"uri", uri}}));
  steps.push_back(Step("wait", {{"ms", 300}}));
  steps.push_back(Step("end"));
  const StandInRun run = RunSteps(steps);
  ExpectCleanRun(run);
  const std::vector<json> requests = run.Events("new-window");
  ASSERT_EQ(requests.size(), uris.size());
  for (const json& request : requests) {
    EXPECT_EQ(request["handled"], true) << request["uri"];
    EXPECT_EQ(request["newWindow"], false);
  }
  // Wine's browser hook writes scheme and host in lower case.
  const std::vector<std::string> expected = {"http://example.org/", "https://example.com/news?id=1",
                                             "mailto:team@example.com"};
  EXPECT_EQ(Opened(expected.size()), expected);
}

TEST(WebViewEvents, FocusReturnsToThePageWhenTheWindowIsActivatedAgain) {
  const StandInRun run = RunSteps({Step("dom-content-loaded"), Step("wait", {{"ms", 100}}),
                                   Step("activate"), Step("end")});
  ExpectCleanRun(run);
  const json activated = run.First("activated");
  ASSERT_EQ(activated["away"], true) << "another window took activation";
  ASSERT_EQ(activated["back"], true);
  const std::vector<std::string> events = AfterStep(run, "activate");
  EXPECT_EQ(std::count(events.begin(), events.end(), "focus"), 1) << "focus moved into the page";
}

TEST(WebViewEvents, WebViewFollowsTheWindowsSizeAndPosition) {
  const StandInRun run = RunSteps({Step("dom-content-loaded"),
                                   Step("resize", {{"width", 640}, {"height", 360}}),
                                   Step("move", {{"x", 100}, {"y", 50}}), Step("end")});
  ExpectCleanRun(run);
  const std::vector<std::string> resized = AfterStep(run, "resize");
  EXPECT_NE(std::find(resized.begin(), resized.end(), "bounds"), resized.end());
  EXPECT_EQ(run.Events("bounds").back()["rect"], json::array({0, 0, 640, 360}));
  const std::vector<std::string> moved = AfterStep(run, "move");
  EXPECT_NE(std::find(moved.begin(), moved.end(), "parent-moved"), moved.end());
}

}  // namespace
}  // namespace kiln::testing

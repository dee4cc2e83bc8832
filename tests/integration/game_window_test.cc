// The window a game expects, through the real kiln.exe and the stand-in
// runtime: fullscreen from the start, F11 and Alt+Enter, a minimum size, a
// remembered place and one running copy per app.
#include <atomic>
#include <chrono>
#include <cmath>
#include <fstream>
#include <thread>

#include <gtest/gtest.h>

#include "page_steps.h"

namespace kiln::testing {
namespace {

constexpr unsigned kCaption = 0x00C00000, kThickFrame = 0x00040000, kMinimized = 0x20000000;
constexpr unsigned kF11 = 0x7A, kEnter = 0x0D, kF12 = 0x7B;
constexpr char kPlacementFile[] = "kiln-window-placement.txt";

json Package(const std::string& name, const json& window, const json& settings = json::object()) {
  json config = {{"name", name}, {"window", window}, {"settings", {{"distribution-mode", "fixed"}}}};
  config["settings"].merge_patch(settings);
  return config;
}

TestApp MakeApp(const std::string& folder, const json& package) {
  TestApp app(folder);
  app.WritePackageJson(package.dump());
  InstallFixedRuntime(app);
  return app;
}

StandInRun RunGame(const json& package, const json& steps) {
  return RunWithStandIn(MakeApp(CurrentTestName(), package), {{"steps", steps}});
}

json Size(int width, int height) {
  return {{"type", "set-window-size"}, {"windowWidth", width}, {"windowHeight", height}};
}

json Fullscreen(bool on) { return {{"type", "set-fullscreen"}, {"fullscreen", on}}; }

json Key(unsigned key, json more = json::object()) {
  more["key"] = key;
  return Step("accelerator-key", more);
}

json ClientSize(int width, int height) { return json::array({0, 0, width, height}); }

bool Borderless(const json& snapshot) {
  return (snapshot["style"].get<unsigned>() & (kCaption | kThickFrame)) == 0;
}

TEST(GameWindow, FullscreenAtStartIsAllThePlayerEverSees) {
  const StandInRun run =
      RunGame(Package("fullscreen-start", {{"fullscreen", true}, {"width", 640}, {"height", 480}}),
              {Step("snapshot", {{"label", "hidden"}}), Step("dom-content-loaded"),
               Step("snapshot", {{"label", "shown"}}), Post(Fullscreen(false)),
               Step("snapshot", {{"label", "left"}}), Step("end")});
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0);
  const json hidden = Snapshot(run, "hidden");
  EXPECT_EQ(hidden["visible"], false);
  EXPECT_EQ(hidden["window"], hidden["monitor"]) << "fullscreen before it is ever shown";
  const json shown = Snapshot(run, "shown");
  EXPECT_EQ(shown["visible"], true);
  EXPECT_EQ(shown["window"], shown["monitor"]);
  EXPECT_TRUE(Borderless(shown));
  for (const json& snapshot : run.Events("snapshot")) {
    if (snapshot["label"] == "shown") break;
    EXPECT_FALSE(snapshot["visible"] == true && !Borderless(snapshot)) << "a windowed frame shown";
  }
  const json left = Snapshot(run, "left");
  EXPECT_EQ(left["client"], ClientSize(640, 480)) << "back to the configured size";
  EXPECT_FALSE(Borderless(left));
}

class MinimumSizeTest : public ::testing::TestWithParam<int> {
 protected:
  void TearDown() override { SetScreenDpi(96); }
};

TEST_P(MinimumSizeTest, DragsAndThePageStopAtTheMinimum) {
  const int dpi = GetParam();
  SetScreenDpi(dpi);
  auto scaled = [dpi](int length) { return static_cast<int>(std::ceil(length * dpi / 96.0)); };
  const StandInRun run = RunGame(
      Package("minimum-size",
              {{"width", 300}, {"height", 500}, {"min-width", 400}, {"min-height", 250}}),
      {Step("dom-content-loaded"), Step("snapshot", {{"label", "opened"}}),
       Step("resize", {{"width", 100}, {"height", 30}}), Step("snapshot", {{"label", "dragged"}}),
       Post(Size(120, 80)), Step("snapshot", {{"label", "asked smaller"}}),
       Post(Size(500, 260)), Step("snapshot", {{"label", "asked larger"}}), Step("end")});
  ExpectCleanRun(run);
  EXPECT_EQ(Snapshot(run, "opened")["client"], ClientSize(scaled(400), scaled(500)))
      << "a configured width below the minimum opens at the minimum";
  EXPECT_EQ(Snapshot(run, "dragged")["client"], ClientSize(scaled(400), scaled(250)));
  EXPECT_EQ(Snapshot(run, "asked smaller")["client"], ClientSize(scaled(400), scaled(250)));
  EXPECT_EQ(Snapshot(run, "asked larger")["client"], ClientSize(scaled(500), scaled(260)));
}

INSTANTIATE_TEST_SUITE_P(Dpi, MinimumSizeTest, ::testing::Values(96, 144),
                         [](const auto& info) { return "Dpi" + std::to_string(info.param); });

TEST(GameWindow, F11AndAltEnterSwitchFullscreenAndBack) {
  const StandInRun run = RunGame(
      Package("fullscreen-keys", {{"width", 640}, {"height", 480}}),
      {Step("dom-content-loaded"), Step("snapshot", {{"label", "windowed"}}), Key(kF11),
       Step("snapshot", {{"label", "F11"}}), Key(kF11, {{"repeat", true}}),
       Key(kF11, {{"up", true}}), Step("snapshot", {{"label", "F11 held"}}), Key(kF11),
       Step("snapshot", {{"label", "F11 again"}}), Key(kEnter, {{"alt", true}}),
       Key(kEnter, {{"alt", true}, {"up", true}}), Step("snapshot", {{"label", "Alt+Enter"}}),
       Key(kEnter, {{"alt", true}}), Step("snapshot", {{"label", "Alt+Enter again"}}),
       Key(kEnter), Key(kF12), Key(kF11, {{"alt", true}}), Step("snapshot", {{"label", "others"}}),
       Step("end")});
  ExpectCleanRun(run);
  const json windowed = Snapshot(run, "windowed");
  EXPECT_EQ(windowed["client"], ClientSize(640, 480));
  for (const char* label : {"F11", "F11 held", "Alt+Enter"}) {
    const json snapshot = Snapshot(run, label);
    EXPECT_EQ(snapshot["window"], snapshot["monitor"]) << label;
    EXPECT_TRUE(Borderless(snapshot)) << label;
  }
  for (const char* label : {"F11 again", "Alt+Enter again", "others"}) {
    const json snapshot = Snapshot(run, label);
    EXPECT_EQ(snapshot["window"], windowed["window"]) << label;
    EXPECT_EQ(snapshot["style"], windowed["style"]) << label;
  }
  std::vector<bool> handled;
  for (const json& key : run.Events("accelerator-key")) handled.push_back(key["handled"]);
  EXPECT_EQ(handled, (std::vector<bool>{true, true, true, true, true, true, true, false, false,
                                        false}))
      << "the switching keys are kept from the page, every other key reaches it";
}

TEST(GameWindow, FullscreenKeysCanBeLeftToThePage) {
  const StandInRun run =
      RunGame(Package("no-fullscreen-keys", {{"fullscreen-keys", false}}),
              {Step("dom-content-loaded"), Step("snapshot", {{"label", "windowed"}}), Key(kF11),
               Key(kEnter, {{"alt", true}}), Step("snapshot", {{"label", "after"}}), Step("end")});
  ExpectCleanRun(run);
  EXPECT_EQ(Snapshot(run, "after")["window"], Snapshot(run, "windowed")["window"]);
  for (const json& key : run.Events("accelerator-key")) EXPECT_EQ(key["handled"], false);
  for (const json& handler : run.Events("add-handler")) {
    EXPECT_NE(handler["name"], "AcceleratorKeyPressed") << "nothing listens for the keys";
  }
}

fs::path PlacementPath(const std::string& name) {
  return LocalAppDataDir() / name / kPlacementFile;
}

TEST(GameWindow, PlacementIsRememberedAcrossRestarts) {
  const std::string name = "remembered-placement";
  fs::remove_all(LocalAppDataDir() / name);
  const json package = Package(name, {{"width", 640}, {"height", 480}, {"remember-placement", true}});
  const StandInRun first = RunGame(
      package, {Step("dom-content-loaded"), Step("move", {{"x", 123}, {"y", 77}}),
                Post(Size(500, 300)), Step("snapshot", {{"label", "left"}}), Step("end")});
  ExpectCleanRun(first);
  ASSERT_TRUE(fs::exists(PlacementPath(name)));
  const json left = Snapshot(first, "left");

  const StandInRun second =
      RunGame(package, {Step("dom-content-loaded"), Step("snapshot", {{"label", "back"}}),
                        Post(Fullscreen(true)), Step("end")});
  ExpectCleanRun(second);
  EXPECT_EQ(Snapshot(second, "back")["window"], left["window"]);

  const StandInRun third =
      RunGame(package, {Step("snapshot", {{"label", "hidden"}}), Step("dom-content-loaded"),
                        Step("snapshot", {{"label", "fullscreen"}}), Post(Fullscreen(false)),
                        Step("snapshot", {{"label", "windowed"}}), Step("end")});
  ExpectCleanRun(third);
  const json fullscreen = Snapshot(third, "fullscreen");
  EXPECT_EQ(fullscreen["window"], fullscreen["monitor"]) << "left fullscreen, back fullscreen";
  EXPECT_EQ(Snapshot(third, "hidden")["window"], fullscreen["window"]);
  EXPECT_EQ(Snapshot(third, "windowed")["window"], left["window"]);
}

TEST(GameWindow, PlacementOffEveryMonitorOrDamagedIsNotUsed) {
  const std::string name = "lost-placement";
  const json package = Package(name, {{"width", 640}, {"height", 480}, {"remember-placement", true}});
  const json steps = {Step("dom-content-loaded"), Step("snapshot", {{"label", "shown"}}),
                      Step("end")};
  // Left on a second monitor that is no longer there.
  fs::create_directories(LocalAppDataDir() / name);
  const std::string offScreen = "kiln-window-placement 1\n5000 300 5656 819 0 0\n";
  std::ofstream(PlacementPath(name), std::ios::binary) << offScreen;
  const StandInRun lost = RunGame(package, steps);
  ExpectCleanRun(lost);
  const json shown = Snapshot(lost, "shown");
  EXPECT_EQ(shown["client"], ClientSize(640, 480));
  const json window = shown["window"], monitor = shown["monitor"];
  EXPECT_GE(window[0].get<int>(), monitor[0].get<int>());
  EXPECT_LE(window[2].get<int>(), monitor[2].get<int>()) << "on the primary monitor";
  EXPECT_NEAR(window[0].get<int>() + window[2].get<int>(),
              monitor[0].get<int>() + monitor[2].get<int>(), 2)
      << "centred";
  const std::string kept = "kiln-window-placement 1\n" + std::to_string(window[0].get<int>()) +
                           " " + std::to_string(window[1].get<int>()) + " " +
                           std::to_string(window[2].get<int>()) + " " +
                           std::to_string(window[3].get<int>()) + " 0 0\n";
  EXPECT_EQ(ReadFile(PlacementPath(name)), kept) << "the new place is kept";

  // A file cut short, as by a crash in the middle of writing it.
  const std::string whole = "kiln-window-placement 1\n300 200 956 719 0 1\n";
  std::ofstream(PlacementPath(name), std::ios::binary) << whole.substr(0, whole.size() - 3);
  const StandInRun damaged = RunGame(package, steps);
  ExpectCleanRun(damaged);
  EXPECT_EQ(damaged.run.ExitCode(), 0);
  const json ignored = Snapshot(damaged, "shown");
  EXPECT_FALSE(Borderless(ignored)) << "not the damaged file's fullscreen";
  EXPECT_NE(ignored["window"], json::array({300, 200, 956, 719}));
  EXPECT_EQ(ignored["client"], ClientSize(640, 480));
}

// The transcript file of a run still going, read as far as it is written.
bool TranscriptHas(const TestApp& app, const std::string& label) {
  return ReadFile(app.Path("transcript.jsonl")).find("\"" + label + "\"") != std::string::npos;
}

TEST(GameWindow, SecondStartBringsTheFirstForwardAndEnds) {
  const json package = Package("single-instance", json::object());
  const TestApp first = MakeApp(CurrentTestName() + ".first", package);
  StandInRun firstRun;
  std::thread running([&] {
    firstRun = RunWithStandIn(
        first, {{"steps",
                 {Step("dom-content-loaded"), Step("minimize"),
                  Step("snapshot", {{"label", "minimized"}}), Step("wait", {{"ms", 6000}}),
                  Step("snapshot", {{"label", "after"}}), Step("end")}}});
  });
  for (int i = 0; i < 300 && !TranscriptHas(first, "minimized"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const TestApp second = MakeApp(CurrentTestName() + ".second", package);
  const auto start = std::chrono::steady_clock::now();
  RunOptions options;
  options.timeoutMs = 10000;
  const RunResult secondRun = RunKiln(second, options);
  const auto took = std::chrono::steady_clock::now() - start;
  running.join();

  EXPECT_EQ(secondRun.ExitCode(), 0);
  EXPECT_FALSE(secondRun.Window()) << "no window of its own";
  EXPECT_TRUE(secondRun.Dialogs().empty());
  EXPECT_LT(took, std::chrono::seconds(5)) << "Wine's start included";
  ExpectCleanRun(firstRun);
  EXPECT_EQ(firstRun.run.ExitCode(), 0);
  EXPECT_NE(Snapshot(firstRun, "minimized")["style"].get<unsigned>() & kMinimized, 0u);
  const json after = Snapshot(firstRun, "after");
  EXPECT_EQ(after["style"].get<unsigned>() & kMinimized, 0u) << "restored";
  EXPECT_EQ(after["visible"], true);
  EXPECT_EQ(after["foreground"], true);
}

// Both runs go their whole way: a different app, or the same app that
// allows more than one copy.
void ExpectSideBySide(const json& firstPackage, const json& secondPackage) {
  const TestApp first = MakeApp(CurrentTestName() + ".first", firstPackage);
  const TestApp second = MakeApp(CurrentTestName() + ".second", secondPackage);
  StandInRun firstRun;
  std::thread running([&] {
    firstRun = RunWithStandIn(first, {{"steps",
                                       {Step("dom-content-loaded"), Step("wait", {{"ms", 5000}}),
                                        Step("snapshot", {{"label", "first"}}), Step("end")}}});
  });
  for (int i = 0; i < 300 && !TranscriptHas(first, "dom-content-loaded"); ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  const StandInRun secondRun = RunWithStandIn(
      second, {{"steps", {Step("dom-content-loaded"), Step("snapshot", {{"label", "second"}}),
                          Step("end")}}});
  running.join();
  ExpectCleanRun(firstRun);
  ExpectCleanRun(secondRun);
  EXPECT_EQ(Snapshot(secondRun, "second")["visible"], true);
  EXPECT_EQ(Snapshot(firstRun, "first")["visible"], true);
  EXPECT_EQ(secondRun.run.ExitCode(), 0);
  EXPECT_EQ(firstRun.run.ExitCode(), 0);
}

TEST(GameWindow, DifferentAppsRunSideBySide) {
  ExpectSideBySide(Package("one-game", json::object()), Package("another-game", json::object()));
}

TEST(GameWindow, AppsThatAllowItRunTwice) {
  const json package = Package("twice", json::object(), {{"single-instance", false}});
  ExpectSideBySide(package, package);
}

}  // namespace
}  // namespace kiln::testing

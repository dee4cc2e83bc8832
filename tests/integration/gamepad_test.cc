// gamepad.ext.dll in the real kiln.exe under Wine, a real browser behind
// its web view, and our stand-in xinput1_4.dll (tests/xinput) in the
// prefix's system folder, loaded through a native override: kiln.exe finds
// it the way it finds XInput on a player's machine.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <memory>

#include "chromium.h"
#include "page_steps.h"

namespace kiln::testing {
namespace {

// Which XInput states the page can tell apart.
constexpr int kA = 0x1000, kB = 0x2000, kGuide = 0x0400;

// The page polls navigator.getGamepads() as engines do, with Kiln installed
// over it, and logs every change of what it returns, the connect and
// disconnect events, and the rumble it plays when A is first pressed. Its
// getGamepads first reports an Xbox pad of the browser's own at index 0, as
// Chromium's XInput reader would on Windows: Kiln's pad must replace it.
constexpr char kPage[] = R"(<!doctype html><meta charset="utf-8"><title>Pads</title>
<script src="kiln.js"></script>
<script>
window.log = [];
const browserPad = {id: 'Xbox 360 Controller (XInput STANDARD GAMEPAD)', index: 0, connected: true,
                    mapping: 'standard', buttons: [], axes: [0, 0, 0, 0], timestamp: 0};
const browserGetGamepads = navigator.getGamepads.bind(navigator);
navigator.getGamepads = () => { const pads = Array.from(browserGetGamepads()); pads[0] = browserPad; return pads; };
for (const type of ['gamepadconnected', 'gamepaddisconnected']) {
  addEventListener(type, (event) => log.push({event: type, index: event.gamepad.index, id: event.gamepad.id}));
}
Kiln.gamepad.install().then((status) => log.push({event: 'status', status}));
let last = '';
let rumbled = false;
(function poll() {
  const pads = navigator.getGamepads().filter(Boolean).map((pad) => ({
    id: pad.id, index: pad.index, axes: [...pad.axes], values: pad.buttons.map((button) => button.value),
    pressed: pad.buttons.flatMap((button, i) => (button.pressed ? [i] : []))}));
  const text = JSON.stringify(pads);
  if (text !== last) {
    last = text;
    log.push({event: 'pads', pads});
    if (!rumbled && pads.length && pads[0].pressed.includes(0)) {
      rumbled = true;
      navigator.getGamepads()[0].vibrationActuator
          .playEffect('dual-rumble', {duration: 300, strongMagnitude: 1, weakMagnitude: 0.5})
          .then((result) => log.push({event: 'rumble', result}));
    }
  }
  setTimeout(poll, 4);
})();
</script>)";

constexpr char kPadName[] = "Xbox 360 Controller (XInput STANDARD GAMEPAD, read by Kiln)";

class GamepadTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string whyNot = WhyNoChromium();
    if (!whyNot.empty()) GTEST_SKIP() << "no browser for these tests: " << whyNot;
    // The prefix's own xinput1_4.dll comes back after the test.
    const char* prefix = std::getenv("WINEPREFIX");
    ASSERT_TRUE(prefix) << "WINEPREFIX is not set: run the integration tests through scripts/test.sh";
    systemDll_ = fs::path(prefix) / "drive_c" / "windows" / "system32" / "xinput1_4.dll";
    original_ = ReadFile(systemDll_);
    fs::copy_file(WinBuildDir() / "tests" / "xinput" / "xinput1_4.dll", systemDll_,
                  fs::copy_options::overwrite_existing);
  }

  void TearDown() override {
    if (!systemDll_.empty()) std::ofstream(systemDll_, std::ios::binary) << original_;
  }

  std::unique_ptr<TestApp> MakeApp(const std::string& name) {
    auto app = std::make_unique<TestApp>("gamepad-" + name);
    app->WritePackageJson(json({{"name", "kiln-gamepad-" + name},
                                {"main", "index.html"},
                                {"settings", {{"distribution-mode", "fixed"}, {"content-mode", "bundle"}}}})
                              .dump());
    fs::remove_all(LocalAppDataDir() / ("kiln-gamepad-" + name));
    InstallChromiumRuntime(*app);
    app->CopyFrom(WinBuildDir() / "src" / "gamepad.ext.dll", "gamepad.ext.dll");
    app->CopyFrom(fs::path(KILN_SOURCE_DIR) / "sdk" / "kiln.js", "www/kiln.js");
    app->WriteFile("www/index.html", kPage);
    app->WriteFile("www/gone.html", "<!doctype html><title>Gone</title>");
    return app;
  }

  // Runs the page's steps with the stand-in playing the pads' steps and
  // XInput loaded as overrides says.
  StandInRun Run(const TestApp& app, const json& pads, const json& steps,
                 const std::string& overrides = "xinput1_4=n") {
    app.WriteFile("pads.json", json({{"steps", pads}}).dump());
    fs::remove(app.Path("xinput.jsonl"));
    RunOptions options;
    options.timeoutMs = 40000;
    options.environment = {{"WINEDLLOVERRIDES", overrides},
                           {"KILN_XINPUT_SCENARIO", WinePath(app.Path("pads.json"))},
                           {"KILN_XINPUT_LOG", WinePath(app.Path("xinput.jsonl"))}};
    return RunWithStandIn(app, {{"steps", steps}}, options);
  }

  fs::path systemDll_;
  std::string original_;
};

// What the page should see of one pad: its pressed buttons, its button
// values and its axes.
json PadSeen(const json& pressed, const json& values, const json& axes) {
  return {{"id", kPadName}, {"index", 0}, {"pressed", pressed}, {"values", values}, {"axes", axes}};
}

json Values(std::map<int, double> set) {
  json values = json::array();
  for (int i = 0; i < 17; ++i) values.push_back(set.count(i) ? set[i] : 0);
  return values;
}

// Script for the evaluate step: waits up to 10 s for condition, then gives
// the page's log.
std::string LogOnce(const std::string& condition) {
  return "(async () => { const until = Date.now() + 10000; while (!(" + condition +
         ") && Date.now() < until) await new Promise((r) => setTimeout(r, 50)); return log; })()";
}

TEST_F(GamepadTest, ThePageSeesPadsRumbleAndReconnectsThroughNavigatorGetGamepads) {
  auto app = MakeApp("pads");
  // Milliseconds after kiln.exe's first XInput call, which the page's
  // install() causes.
  const json pads = {
      {{"at", 0}, {"slot", 0}, {"lx", 5000}, {"ly", -3000}, {"rx", -6000}, {"ry", 6000}, {"lt", 20}, {"rt", 30}},
      {{"at", 600}, {"slot", 0}, {"buttons", kA}, {"lx", -32768}, {"rx", -6000}, {"ry", 6000}},
      {{"at", 1200}, {"slot", 0}, {"lx", 4000}, {"ly", 4000}},
      {{"at", 1800}, {"slot", 0}, {"connected", false}},
      {{"at", 2400}, {"slot", 2}, {"buttons", kB | kGuide}, {"rt", 255}, {"ry", 32767}},
  };
  const std::string reconnected = "log.some((e) => e.event === 'pads' && e.pads.length && e.pads[0].pressed.includes(1))";
  const StandInRun run =
      Run(*app, pads,
          {Step("await", {{"event", "dom-content-loaded"}}),
           Step("evaluate", {{"label", "log"}, {"expression", LogOnce(reconnected)}}),
           Step("await", {{"event", "evaluated"}}),
           // The page asks for a long rumble and goes away: Kiln stops it.
           Step("evaluate", {{"label", "leaving"},
                             {"expression", "(() => { Kiln.gamepads()[0].vibrationActuator.playEffect('dual-rumble', "
                                            "{duration: 1000, strongMagnitude: 0.5}); setTimeout(() => "
                                            "location.href = 'gone.html', 200); return Kiln.gamepad.status; })()"}}),
           Step("await", {{"event", "evaluated"}, {"count", 2}}), Step("wait", {{"ms", 1800}}), Step("end")});
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0);
  EXPECT_TRUE(run.Events("page-error").empty()) << run.Events("page-error")[0];

  const json log = run.Evaluated("log");
  std::vector<json> seen, events;
  for (const json& entry : log) {
    if (entry["event"] == "pads") {
      seen.push_back(entry["pads"]);
    } else {
      events.push_back(entry);
    }
  }
  const json rest = json::array({0, 0, 0, 0});
  const std::vector<json> wanted = {
      json::array(),  // before the first answer: the browser's Xbox pad is not shown
      {PadSeen(json::array(), Values({}), rest)},  // noise inside every dead zone reads 0
      {PadSeen({0}, Values({{0, 1}}), {-1, 0, 0, 0})},  // A and the left stick full left
      {PadSeen(json::array(), Values({}), rest)},
      json::array(),  // unplugged
      {PadSeen({1, 7, 16}, Values({{1, 1}, {7, 1}, {16, 1}}), {0, 0, 0, -1})},  // another slot; guide; up is -1
  };
  EXPECT_EQ(seen, wanted);
  EXPECT_EQ(events, (std::vector<json>{
                        {{"event", "status"}, {"status", "reading pads through xinput1_4.dll, guide button included"}},
                        {{"event", "gamepadconnected"}, {"index", 0}, {"id", kPadName}},
                        {{"event", "rumble"}, {"result", "complete"}},
                        {{"event", "gamepaddisconnected"}, {"index", 0}, {"id", kPadName}},
                        {{"event", "gamepadconnected"}, {"index", 0}, {"id", kPadName}},
                    }));
  EXPECT_EQ(run.Evaluated("leaving"), "reading pads through xinput1_4.dll, guide button included");

  // What kiln.exe asked of XInput.
  const std::vector<json> xinput = ReadJsonLines(app->Path("xinput.jsonl"));
  double started = -1, pressedAt = -1, connectedAt = -1, unpluggedAt = -1, readsWhileConnected = 0;
  std::vector<json> motors;
  std::map<int, std::vector<double>> emptyReads;
  for (const json& line : xinput) {
    const std::string event = line["event"];
    if (event == "started") started = line["t"];
    if (event == "seen" && line["slot"] == 0 && line["step"] == 0) connectedAt = line["t"];
    if (event == "seen" && line["slot"] == 0 && line["step"] == 1) pressedAt = line["t"];
    if (event == "seen" && line["slot"] == 0 && line["step"] == 3) {
      unpluggedAt = line["t"];
      readsWhileConnected = line["read"].get<double>() - 1;
    }
    if (event == "set-state") motors.push_back(line);
    if (event == "empty-read") emptyReads[line["slot"].get<int>()].push_back(line["t"]);
  }
  ASSERT_GE(started, 0) << "kiln.exe loaded the stand-in from the system folder";
  ASSERT_GE(pressedAt, 0);
  ASSERT_GT(unpluggedAt, connectedAt);
  // Chromium reads pads every 16 ms; Kiln reads a connected one at least as
  // often, so a change is read within two of Chromium's polls. On average,
  // that is: on a busy test machine one timer tick may come late.
  const double interval = (unpluggedAt - connectedAt) / readsWhileConnected;
  std::printf("slot 0 read every %.1f ms on average while connected; the press read %.1f ms after it happened\n",
              interval, pressedAt - started - 600);
  EXPECT_LE(interval, 16.0) << "a connected pad is read at least as often as Chromium reads it";
  EXPECT_GE(pressedAt - started, 600);
  const auto padMessage = [&](int pressed) {
    for (const json& line : run.Events("post-json")) {
      const json message = json::parse(line["json"].get<std::string>());
      if (message.value("messageId", "") == "pad" && message["params"].value("pressed", -1) == pressed) {
        return line["t"].get<double>();
      }
    }
    return -1.0;
  };
  const double postedAt = padMessage(1);
  EXPECT_GE(postedAt, std::floor(pressedAt));
  EXPECT_LE(postedAt - pressedAt, 2.0) << "the read that saw the press posted it";

  ASSERT_EQ(motors.size(), 4u) << json(motors).dump();
  EXPECT_EQ(motors[0]["slot"], 0);
  EXPECT_EQ(motors[0]["left"], 65535) << "strongMagnitude drives the left, low-frequency motor";
  EXPECT_EQ(motors[0]["right"], 32768);
  EXPECT_EQ(motors[1]["slot"], 0);
  EXPECT_EQ(motors[1]["left"], 0);
  EXPECT_EQ(motors[1]["right"], 0);
  EXPECT_NEAR(motors[1]["t"].get<double>() - motors[0]["t"].get<double>(), 300, 40) << "stopped after its duration";
  EXPECT_EQ(motors[2]["slot"], 2);
  EXPECT_EQ(motors[2]["left"], 32768);
  EXPECT_EQ(motors[3]["slot"], 2);
  EXPECT_EQ(motors[3]["left"], 0);
  EXPECT_NEAR(motors[3]["t"].get<double>() - motors[2]["t"].get<double>(), 1000, 40)
      << "stopped by Kiln after its duration, the page long gone";

  // Slots 1 and 3 never held a pad: each was probed once a second at most.
  for (int slot : {1, 3}) {
    ASSERT_GE(emptyReads[slot].size(), 3u) << slot;
    for (size_t i = 1; i < emptyReads[slot].size(); ++i) {
      EXPECT_GE(emptyReads[slot][i] - emptyReads[slot][i - 1], 990) << "slot " << slot << ", probe " << i;
    }
  }
}

TEST_F(GamepadTest, WithoutXInputThePageHasNoPadsAndAClearStatus) {
  auto app = MakeApp("no-xinput");
  const StandInRun run =
      Run(*app, json::array(),
          {Step("await", {{"event", "dom-content-loaded"}}),
           Step("evaluate", {{"label", "status"},
                             {"expression", "(async () => [await Kiln.gamepad.install(), Kiln.gamepads().length, "
                                            "navigator.getGamepads().filter(Boolean).length])()"}}),
           Step("await", {{"event", "evaluated"}}), Step("end")},
          "xinput1_4,xinput9_1_0=d");
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0);
  EXPECT_EQ(run.Evaluated("status"),
            json::array({"no XInput on this machine (neither xinput1_4.dll nor xinput9_1_0.dll in the system folder): "
                         "no gamepads",
                         0, 0}));
  EXPECT_TRUE(ReadJsonLines(app->Path("xinput.jsonl")).empty()) << "the stand-in was never loaded";
}

}  // namespace
}  // namespace kiln::testing

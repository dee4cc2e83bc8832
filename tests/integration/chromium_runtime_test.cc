// The real kiln.exe under Wine with a real browser behind its web view: a
// headless Chromium driven by the runtime in tests/runtime/chromium. Pages
// load through Kiln's content server, real scripts talk to the host, and the
// page's pixels appear in Kiln's window.
#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <memory>
#include <thread>

#include "chromium.h"
#include "stand_in.h"

namespace kiln::testing {
namespace {

json Step(const std::string& action, json members = json::object()) {
  members["do"] = action;
  return members;
}

class ChromiumRuntimeTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { chromium_ = new HeadlessChromium(); }
  static void TearDownTestSuite() {
    delete chromium_;
    chromium_ = nullptr;
  }

  void SetUp() override {
    if (!chromium_->available()) GTEST_SKIP() << "no browser for these tests: " << chromium_->whyNot();
  }

  // An app folder with the Chromium runtime as its fixed runtime and the
  // given files in www.
  std::unique_ptr<TestApp> MakeApp(const std::string& name,
                                   const std::vector<std::pair<std::string, std::string>>& files) {
    auto app = std::make_unique<TestApp>("chromium-" + name);
    app->WritePackageJson(R"({"name": "kiln-chromium-)" + name +
                          R"(", "main": "index.html",
        "window": {"title": "Chromium test", "width": 800, "height": 600, "resizable": true},
        "settings": {"distribution-mode": "fixed", "content-mode": "bundle"}})");
    InstallChromiumRuntime(*app);
    for (const auto& [path, bytes] : files) app->WriteFile("www/" + path, bytes);
    return app;
  }

  StandInRun Run(const TestApp& app, const json& steps, int timeoutMs = 30000) {
    RunOptions options;
    options.timeoutMs = timeoutMs;
    options.environment.emplace_back("KILN_BROWSER_DEVTOOLS", chromium_->address());
    return RunWithStandIn(app, {{"steps", steps}}, options);
  }

  // What the page reported with postMessage(object), in order.
  static std::vector<json> PageReports(const StandInRun& run) {
    std::vector<json> reports;
    for (const json& line : run.Events("page-report")) {
      const json& report = line["report"];
      if (report.value("kind", "") == "message" && report.contains("json")) {
        reports.push_back(json::parse(report["json"].get<std::string>()));
      }
    }
    return reports;
  }

  static json Snapshot(const StandInRun& run, const std::string& label) {
    for (const json& line : run.Events("snapshot")) {
      if (line.value("label", "") == label) return line;
    }
    ADD_FAILURE() << "no snapshot " << label;
    return json::object();
  }

  static HeadlessChromium* chromium_;
};

HeadlessChromium* ChromiumRuntimeTest::chromium_ = nullptr;

// The page drives the round trips itself; each step waits for the message
// that caused the change it snapshots.
constexpr char kRoundTripPage[] = R"(<!doctype html>
<html><head><meta charset="utf-8"><title>Round trips</title></head>
<body style="margin:0">
<script>
const host = chrome.webview;
const say = (message) => host.postMessage(JSON.stringify(message));
const report = (what) => host.postMessage({what, w: innerWidth, h: innerHeight});
let stage = 'init';
host.addEventListener('message', (event) => {
  if (event.data.type !== 'wrapper-init-response') return;
  host.postMessage({what: 'init', ids: event.data.registeredComponentIds, source: location.href});
  say({type: 'set-window-size', windowWidth: 640, windowHeight: 400});
});
addEventListener('resize', () => {
  if (stage === 'init' && innerWidth === 640) {
    stage = 'sized';
    report('sized');
    say({type: 'set-fullscreen', fullscreen: true});
  } else if (stage === 'sized' && innerWidth > 640) {
    stage = 'fullscreen';
    report('fullscreen');
    say({type: 'set-fullscreen', fullscreen: false});
  } else if (stage === 'fullscreen' && innerWidth === 640) {
    stage = 'restored';
    report('restored');
    setTimeout(() => window.close(), 100);
  }
});
say({type: 'wrapper-init'});
</script></body></html>)";

TEST_F(ChromiumRuntimeTest, PageLoadsThroughKilnAndItsScriptDrivesTheWindow) {
  auto app = MakeApp("round-trips", {{"index.html", kRoundTripPage}});
  const StandInRun run =
      Run(*app, {Step("await", {{"event", "dom-content-loaded"}}), Step("snapshot", {{"label", "loaded"}}),
                 Step("await", {{"event", "message"}, {"count", 3}}), Step("snapshot", {{"label", "sized"}}),
                 Step("await", {{"event", "message"}, {"count", 5}}),
                 Step("snapshot", {{"label", "fullscreen"}}),
                 Step("await", {{"event", "message"}, {"count", 7}}),
                 Step("snapshot", {{"label", "restored"}})});
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0) << "window.close() ends the app";

  const json document = run.First("response");
  EXPECT_EQ(document["uri"], std::string(kOrigin) + "index.html");
  EXPECT_EQ(document["status"], 200);
  EXPECT_EQ(Snapshot(run, "loaded")["visible"], true) << "DOMContentLoaded shows the window";
  EXPECT_EQ(Snapshot(run, "loaded")["caption"], "Round trips") << "the caption follows the title";

  ASSERT_FALSE(run.Events("post-json").empty());
  EXPECT_EQ(json::parse(run.Events("post-json")[0]["json"].get<std::string>()),
            json::parse(R"({"type": "wrapper-init-response", "registeredComponentIds": []})"));

  const std::vector<json> reports = PageReports(run);
  ASSERT_EQ(reports.size(), 4u) << "init, sized, fullscreen, restored";
  EXPECT_EQ(reports[0]["ids"], json::array()) << "the answer reached the page as an object";
  EXPECT_EQ(reports[0]["source"], std::string(kOrigin) + "index.html");
  EXPECT_EQ(reports[1]["w"], 640);
  EXPECT_EQ(reports[1]["h"], 400);
  EXPECT_EQ(reports[3]["w"], 640);

  const json sized = Snapshot(run, "sized");
  EXPECT_EQ(sized["client"], json::array({0, 0, 640, 400})) << "set-window-size sized the window";
  const json fullscreen = Snapshot(run, "fullscreen");
  EXPECT_EQ(fullscreen["window"], fullscreen["monitor"]) << "set-fullscreen covered the monitor";
  EXPECT_EQ(reports[2]["w"], fullscreen["monitor"][2].get<int>() - fullscreen["monitor"][0].get<int>())
      << "the page was laid out at the fullscreen size";
  EXPECT_EQ(Snapshot(run, "restored")["window"], sized["window"]);
}

// Three blocks of known colours at known places, then a message once the
// browser has drawn them.
constexpr char kPaintedPage[] = R"(<!doctype html>
<html><head><title>Painted</title><style>
body { margin: 0; background: #ffffff; }
canvas { position: absolute; left: 0; top: 0; }
</style></head><body><canvas id="c" width="600" height="200"></canvas>
<script>
const c = document.getElementById('c').getContext('2d');
c.fillStyle = '#e02020'; c.fillRect(0, 0, 200, 200);
c.fillStyle = '#20c040'; c.fillRect(200, 0, 200, 200);
c.fillStyle = '#2040e0'; c.fillRect(400, 0, 200, 200);
requestAnimationFrame(() => requestAnimationFrame(() => chrome.webview.postMessage('painted')));
</script></body></html>)";

TEST_F(ChromiumRuntimeTest, KilnsWindowShowsWhatThePagePainted) {
  auto app = MakeApp("painted", {{"index.html", kPaintedPage}});
  const fs::path transcript = app->Path("transcript.jsonl");
  const fs::path screen = app->Path("screen.png");
  // The screen is taken while the window is up: between the snapshot and
  // the end of the run.
  auto running = std::async(std::launch::async, [&] {
    return Run(*app, {Step("await", {{"event", "message"}}), Step("await", {{"event", "frame"}}),
                      Step("wait", {{"ms", 700}}), Step("snapshot", {{"label", "painted"}}),
                      Step("wait", {{"ms", 3000}}), Step("end")});
  });
  bool captured = false;
  for (int attempt = 0; attempt < 400 && !captured; ++attempt) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    for (const json& line : ReadJsonLines(transcript)) {
      if (line.value("event", "") == "snapshot") captured = CaptureScreen(screen);
    }
  }
  const StandInRun run = running.get();
  ExpectCleanRun(run);
  ASSERT_TRUE(captured) << "the screen was taken while the window was up";
  const json painted = Snapshot(run, "painted");
  ASSERT_EQ(painted["visible"], true);
  const int left = painted["clientOrigin"][0];
  const int top = painted["clientOrigin"][1];
  const struct {
    int x, y;
    int rgb[3];
  } expected[] = {{100, 100, {0xe0, 0x20, 0x20}}, {300, 100, {0x20, 0xc0, 0x40}},
                  {500, 100, {0x20, 0x40, 0xe0}}, {300, 400, {0xff, 0xff, 0xff}}};
  for (const auto& point : expected) {
    int rgb[3] = {-1, -1, -1};
    ASSERT_TRUE(PixelAt(screen, left + point.x, top + point.y, rgb));
    for (int channel = 0; channel < 3; ++channel) {
      // JPEG frames are close to, not exactly, what the page drew.
      EXPECT_NEAR(rgb[channel], point.rgb[channel], 24)
          << "pixel (" << point.x << ", " << point.y << ") channel " << channel;
    }
  }
}

}  // namespace
}  // namespace kiln::testing

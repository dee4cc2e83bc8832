// The real kiln.exe under Wine with a real browser behind its web view: a
// headless Chromium driven by the runtime in tests/runtime/chromium. Pages
// load through Kiln's content server, real scripts talk to the host, and the
// page's pixels appear in Kiln's window.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <thread>

#include "../common/padded_clip.h"
#include "chromium.h"
#include "page_steps.h"

namespace kiln::testing {
namespace {

class ChromiumRuntimeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string whyNot = WhyNoChromium();
    if (!whyNot.empty()) GTEST_SKIP() << "no browser for these tests: " << whyNot;
  }

  // The package.json of a test app: fixed mode, with the runtime's camera
  // and microphone of its own, so that granted media permissions give real
  // streams.
  static json PackageJson(const std::string& name) {
    return {{"name", "kiln-chromium-" + name},
            {"main", "index.html"},
            {"chromium-args", "--use-fake-device-for-media-stream"},
            {"window", {{"title", "Chromium test"}, {"width", 800}, {"height", 600}, {"resizable", true}}},
            {"settings", {{"distribution-mode", "fixed"}, {"content-mode", "bundle"}}}};
  }

  // An app folder with the Chromium runtime as its fixed runtime and the
  // given files in www, whose browser profile starts empty.
  std::unique_ptr<TestApp> MakeApp(const std::string& name,
                                   const std::vector<std::pair<std::string, std::string>>& files,
                                   const json& package = json()) {
    auto app = std::make_unique<TestApp>("chromium-" + name);
    const json written = package.is_null() ? PackageJson(name) : package;
    app->WritePackageJson(written.dump());
    fs::remove_all(LocalAppDataDir() / written["name"].get<std::string>());
    InstallChromiumRuntime(*app);
    for (const auto& [path, bytes] : files) app->WriteFile("www/" + path, bytes);
    return app;
  }

  StandInRun Run(const TestApp& app, const json& steps, int timeoutMs = 30000) {
    RunOptions options;
    options.timeoutMs = timeoutMs;
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

  // Runs the steps and, once the snapshot labelled label is in the
  // transcript, calls look with the transcript so far: while the window is
  // up, as long as the steps wait a little after that snapshot.
  StandInRun RunLooking(const TestApp& app, const json& steps, const std::string& label,
                        const std::function<void(const std::vector<json>&)>& look) {
    auto running = std::async(std::launch::async, [&] { return Run(app, steps); });
    bool looked = false;
    for (int attempt = 0; attempt < 600 && !looked; ++attempt) {
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
      const std::vector<json> transcript = ReadJsonLines(app.Path("transcript.jsonl"));
      for (const json& line : transcript) {
        if (!looked && line.value("event", "") == "snapshot" && line.value("label", "") == label) {
          look(transcript);
          looked = true;
        }
      }
    }
    StandInRun run = running.get();
    EXPECT_TRUE(looked) << "the snapshot " << label << " was taken";
    return run;
  }

  StandInRun RunTakingScreen(const TestApp& app, const json& steps, const std::string& label,
                             const fs::path& screen) {
    return RunLooking(app, steps, label, [&](const std::vector<json>&) {
      EXPECT_TRUE(CaptureScreen(screen)) << "the screen was taken while the window was up";
    });
  }

  struct Pixel {
    int x, y;  // in the main window's client area
    int rgb[3];
  };
  static void ExpectPixels(const fs::path& screen, const json& clientOrigin, const std::vector<Pixel>& pixels) {
    for (const Pixel& pixel : pixels) {
      int rgb[3] = {-1, -1, -1};
      ASSERT_TRUE(PixelAt(screen, clientOrigin[0].get<int>() + pixel.x, clientOrigin[1].get<int>() + pixel.y, rgb));
      for (int channel = 0; channel < 3; ++channel) {
        // JPEG frames are close to, not exactly, what the page drew.
        EXPECT_NEAR(rgb[channel], pixel.rgb[channel], 24)
            << "pixel (" << pixel.x << ", " << pixel.y << ") channel " << channel;
      }
    }
  }
};

// The page drives the round trips itself, each on seeing the last one's
// effect on its own size.
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
  }
});
say({type: 'wrapper-init'});
</script></body></html>)";

// The client rectangles Kiln gave the web view, in order.
std::vector<json> BoundsSeen(const StandInRun& run) {
  std::vector<json> bounds;
  for (const json& line : run.Events("bounds")) bounds.push_back(line["rect"]);
  return bounds;
}

bool Contains(const std::vector<json>& values, const json& value) {
  return std::find(values.begin(), values.end(), value) != values.end();
}

TEST_F(ChromiumRuntimeTest, PageLoadsThroughKilnAndItsScriptDrivesTheWindow) {
  auto app = MakeApp("round-trips", {{"index.html", kRoundTripPage}});
  const StandInRun run =
      Run(*app, {Step("await", {{"event", "dom-content-loaded"}}), Step("snapshot", {{"label", "loaded"}}),
                 Step("await", {{"event", "message"}, {"count", 8}}),
                 Step("snapshot", {{"label", "restored"}}), Step("end")});
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0);

  const json document = run.First("response");
  EXPECT_EQ(document["uri"], std::string(kOrigin) + "index.html");
  EXPECT_EQ(document["status"], 200);
  const json loaded = Snapshot(run, "loaded");
  EXPECT_EQ(loaded["visible"], true) << "DOMContentLoaded shows the window";

  ASSERT_FALSE(run.Events("post-json").empty());
  EXPECT_EQ(json::parse(run.Events("post-json")[0]["json"].get<std::string>()),
            json::parse(R"({"type": "wrapper-init-response", "registeredComponentIds": []})"));

  const std::vector<json> reports = PageReports(run);
  ASSERT_EQ(reports.size(), 4u) << "init, sized, fullscreen, restored";
  EXPECT_EQ(reports[0]["ids"], json::array()) << "the answer reached the page as an object";
  EXPECT_EQ(reports[0]["source"], std::string(kOrigin) + "index.html");
  EXPECT_EQ(reports[1]["w"], 640);
  EXPECT_EQ(reports[1]["h"], 400);
  const json monitor = loaded["monitor"];
  EXPECT_EQ(reports[2]["w"], monitor[2].get<int>() - monitor[0].get<int>())
      << "the page was laid out at the fullscreen size";
  EXPECT_EQ(reports[3]["w"], 640);

  const std::vector<json> bounds = BoundsSeen(run);
  EXPECT_TRUE(Contains(bounds, json::array({0, 0, 640, 400}))) << "set-window-size reached the web view";
  EXPECT_TRUE(Contains(bounds, monitor)) << "set-fullscreen covered the monitor";
  const json restored = Snapshot(run, "restored");
  EXPECT_EQ(restored["client"], json::array({0, 0, 640, 400})) << "the window itself, after both";
  EXPECT_EQ(restored["caption"], "Round trips") << "the caption follows the title";
}

// The page asks for the extensions, then sends one of them a message and
// reports the answer it gets back.
constexpr char kExtensionPage[] = R"(<!doctype html>
<html><head><meta charset="utf-8"><title>Extension</title></head><body>
<script>
const host = chrome.webview;
const say = (message) => host.postMessage(JSON.stringify(message));
host.addEventListener('message', (event) => {
  const message = event.data;
  if (message.type === 'wrapper-init-response') {
    host.postMessage({what: 'init', ids: message.registeredComponentIds});
    say({type: 'extension-message', componentId: 'conv', messageId: 'echo',
         params: [2.5, 'Caf\u00e9 \u2713', true], asyncId: 11});
  } else if (message.type === 'extension-message') {
    host.postMessage({what: 'answer', message});
  }
});
say({type: 'wrapper-init'});
</script></body></html>)";

TEST_F(ChromiumRuntimeTest, PageTalksToAnExtensionThroughKiln) {
  auto app = MakeApp("extension", {{"index.html", kExtensionPage}});
  AddRecorderExtension(*app, "conv.ext.dll", {{"ids", {"conv"}}});
  const StandInRun run = Run(*app, {Step("await", {{"event", "message"}, {"count", 4}}), Step("end")});
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0);

  const std::vector<json> reports = PageReports(run);
  ASSERT_EQ(reports.size(), 2u) << "init, answer";
  EXPECT_EQ(reports[0]["ids"], json::array({"conv"}));
  EXPECT_EQ(reports[1]["message"], json::parse(R"({"type": "extension-message", "componentId": "conv",
      "messageId": "echo", "asyncId": 11, "params": {"0": 2.5, "1": "Caf\u00e9 \u2713", "2": true}})"))
      << "the extension's answer reached the page's listener as an object";
  EXPECT_NE(ReadFile(app->Path("extensions.log")).find("conv OnWebMessage echo 3 11.000000"), std::string::npos)
      << ReadFile(app->Path("extensions.log"));
}

// Asks for permissions the browser would prompt for, once each, and reports
// what it got.
constexpr char kPermissionsPage[] = R"(<!doctype html>
<html><head><title>Permissions</title></head><body>
<script>
(async () => {
  const notification = await Notification.requestPermission();
  let tracks;
  try {
    const stream = await navigator.mediaDevices.getUserMedia({video: true, audio: true});
    tracks = stream.getTracks().map((track) => track.kind).sort();
  } catch (error) {
    tracks = String(error);
  }
  const again = await Notification.requestPermission();
  const camera = (await navigator.permissions.query({name: 'camera'})).state;
  const geolocation = (await navigator.permissions.query({name: 'geolocation'})).state;
  chrome.webview.postMessage({notification, tracks, again, camera, geolocation});
})();
</script></body></html>)";

TEST_F(ChromiumRuntimeTest, KilnGrantsWhatThePageAsksPermissionFor) {
  auto app = MakeApp("permissions", {{"index.html", kPermissionsPage}});
  const StandInRun run = Run(*app, {Step("await", {{"event", "message"}}), Step("end")});
  ExpectCleanRun(run);

  std::vector<std::pair<int, int>> asked;
  for (const json& line : run.Events("permission")) asked.emplace_back(line["kind"], line["state"]);
  const int allow = 1, camera = 2, microphone = 1, notifications = 4;
  EXPECT_EQ(asked, (std::vector<std::pair<int, int>>{
                       {notifications, allow}, {camera, allow}, {microphone, allow}}))
      << "each asked for once, in order, and granted";
  const std::vector<json> reports = PageReports(run);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], json::parse(R"({"notification": "granted", "tracks": ["audio", "video"],
      "again": "granted", "camera": "granted", "geolocation": "prompt"})"))
      << "the grants reached the browser";
}

// Reports what an earlier run saved in localStorage, IndexedDB and a
// cookie, then saves all three.
constexpr char kSavesPage[] = R"(<!doctype html>
<html><head><meta charset="utf-8"><title>Saves</title></head><body>
<script>
const settled = (request) => new Promise((resolve, reject) => {
  request.onsuccess = () => resolve(request.result);
  request.onerror = () => reject(request.error);
});
(async () => {
  const opening = indexedDB.open('saves', 1);
  opening.onupgradeneeded = () => opening.result.createObjectStore('slots');
  const db = await settled(opening);
  const found = {
    local: localStorage.getItem('level'),
    indexed: (await settled(db.transaction('slots').objectStore('slots').get('best'))) ?? null,
    cookie: document.cookie,
  };
  localStorage.setItem('level', '7');
  const writing = db.transaction('slots', 'readwrite');
  writing.objectStore('slots').put(4200, 'best');
  await new Promise((resolve) => (writing.oncomplete = resolve));
  document.cookie = 'seen=yes; max-age=3600';
  chrome.webview.postMessage(found);
})();
</script></body></html>)";

TEST_F(ChromiumRuntimeTest, SavesSurviveARestartOfTheAppAndNoOtherAppSeesThem) {
  const json steps = {Step("await", {{"event", "message"}}), Step("end")};
  auto app = MakeApp("saves", {{"index.html", kSavesPage}});
  const StandInRun first = Run(*app, steps);
  const StandInRun again = Run(*app, steps);
  auto other = MakeApp("other-saves", {{"index.html", kSavesPage}});
  const StandInRun elsewhere = Run(*other, steps);
  for (const StandInRun* run : {&first, &again, &elsewhere}) {
    ExpectCleanRun(*run);
    EXPECT_EQ(run->run.ExitCode(), 0);
  }

  const json nothing = {{"local", nullptr}, {"indexed", nullptr}, {"cookie", ""}};
  EXPECT_EQ(PageReports(first), std::vector<json>{nothing}) << "a new app starts with nothing saved";
  EXPECT_EQ(PageReports(again),
            std::vector<json>{json::parse(R"({"local": "7", "indexed": 4200, "cookie": "seen=yes"})")})
      << "the same app, started again, finds what it saved";
  EXPECT_EQ(PageReports(elsewhere), std::vector<json>{nothing}) << "another app sees none of it";
  EXPECT_TRUE(fs::is_directory(ChromiumProfile("kiln-chromium-saves") / "Default"))
      << "the profile lives in the user data folder Kiln named";
}

// Asks saves.ext.dll through raw page messages: call(messageId, ...params)
// resolves with the answer's params.
constexpr char kSavesExtensionPage[] = R"(<!doctype html>
<html><head><meta charset="utf-8"><title>Saves extension</title></head><body>
<script>
const waiting = new Map();
let nextId = 1;
chrome.webview.addEventListener('message', (event) => {
  const message = event.data;
  if (message.type === 'extension-message' && waiting.has(message.asyncId)) {
    waiting.get(message.asyncId)(message.params);
    waiting.delete(message.asyncId);
  }
});
function call(messageId, ...params) {
  const asyncId = nextId++;
  chrome.webview.postMessage(JSON.stringify(
      {type: 'extension-message', componentId: 'kiln-saves', messageId, params, asyncId}));
  return new Promise((resolve) => waiting.set(asyncId, resolve));
}
</script></body></html>)";

// The same app folder with saves.ext.dll beside kiln.exe, as the build ships it.
std::unique_ptr<TestApp> WithSavesExtension(std::unique_ptr<TestApp> app) {
  app->CopyFrom(WinBuildDir() / "src" / "saves.ext.dll", "saves.ext.dll");
  return app;
}

TEST_F(ChromiumRuntimeTest, SavesExtensionFilesSurviveARestartAndNoOtherAppSeesThem) {
  const std::string text = "{\"level\": 3, \"name\": \"caf\u00e9 \u2713\", \"lines\": \"a\\nb\"}";
  const auto ask = [&](const TestApp& app, const std::string& calls) {
    const StandInRun run = Run(app, {Step("await", {{"event", "dom-content-loaded"}}),
                                     Step("evaluate", {{"label", "calls"}, {"expression", "(async () => [" + calls + "])()"}}),
                                     Step("await", {{"event", "evaluated"}}), Step("end")});
    ExpectCleanRun(run);
    EXPECT_EQ(run.run.ExitCode(), 0);
    return run.Evaluated("calls");
  };
  auto app = WithSavesExtension(MakeApp("saves-ext", {{"index.html", kSavesExtensionPage}}));
  const json written = ask(*app, "await call('list'), await call('write', 'slot-1', " + json(text).dump() +
                                     "), await call('write', 'slot-2', 'two'), await call('list')");
  EXPECT_EQ(written, json::parse(R"([{"ok": true, "names": ""}, {"ok": true}, {"ok": true},
                                     {"ok": true, "names": "slot-1\nslot-2"}])"));
  const fs::path folder = LocalAppDataDir() / "kiln-chromium-saves-ext" / "saves";
  EXPECT_EQ(ReadFile(folder / "slot-1"), text) << "a plain file, UTF-8 as the page gave it";

  const json again = ask(*app, "await call('read', 'slot-1'), await call('read', 'slot-3'), "
                               "await call('remove', 'slot-2'), await call('remove', 'slot-2'), await call('list')");
  EXPECT_EQ(again, json::parse(R"([{"ok": true, "text": )" + json(text).dump() + R"(}, {"ok": true, "text": null},
                                   {"ok": true, "removed": true}, {"ok": true, "removed": false},
                                   {"ok": true, "names": "slot-1"}])"));
  EXPECT_FALSE(fs::exists(folder / "slot-2"));

  auto other = WithSavesExtension(MakeApp("saves-ext-other", {{"index.html", kSavesExtensionPage}}));
  EXPECT_EQ(ask(*other, "await call('list'), await call('read', 'slot-1')"),
            json::parse(R"([{"ok": true, "names": ""}, {"ok": true, "text": null}])"));
}

// The page draws a frame at a time and measures the gaps between frames
// before and while the extension writes 8 MiB.
constexpr char kFramesWhileSaving[] = R"((async () => {
  const gaps = async (until) => {
    const seen = [];
    let last = await new Promise(requestAnimationFrame);
    let done = false;
    until.then(() => (done = true));
    while (!done) {
      const now = await new Promise(requestAnimationFrame);
      seen.push(now - last);
      last = now;
    }
    return seen;
  };
  const text = 'x'.repeat(8 << 20);
  const before = await gaps(new Promise((resolve) => setTimeout(resolve, 1000)));
  const start = performance.now();
  let answer;
  const writing = call('write', 'big', text).then((params) => { answer = params; });
  const during = await gaps(writing);
  return {before: Math.max(...before), during: Math.max(...during), frames: during.length,
          ms: performance.now() - start, answer};
})())";

TEST_F(ChromiumRuntimeTest, WritingEightMebibytesDoesNotDelayThePagesFrames) {
  auto app = WithSavesExtension(MakeApp("saves-frames", {{"index.html", kSavesExtensionPage}}));
  const StandInRun run = Run(*app, {Step("await", {{"event", "dom-content-loaded"}}),
                                    Step("evaluate", {{"label", "frames"}, {"expression", kFramesWhileSaving}}),
                                    Step("await", {{"event", "evaluated"}}), Step("end")});
  ExpectCleanRun(run);
  const json frames = run.Evaluated("frames");
  std::printf("8 MiB write: answered after %.0f ms; longest frame gap %.1f ms while writing (%d frames), "
              "%.1f ms before\n", frames.value("ms", 0.0), frames.value("during", 0.0), frames.value("frames", 0),
              frames.value("before", 0.0));
  EXPECT_EQ(frames["answer"], json::parse(R"({"ok": true})"));
  EXPECT_EQ(fs::file_size(LocalAppDataDir() / "kiln-chromium-saves-frames" / "saves" / "big"), 8u << 20);
  EXPECT_GE(frames.value("frames", 0), 2) << "the page drew on while the save was written";
  EXPECT_LT(frames.value("during", 1e9), 100.0) << "no frame waited on the disk";
}

constexpr char kInspectedPage[] =
    "<!doctype html><title>Inspected</title><script>chrome.webview.postMessage('up')</script>";

// What an inspector does with the printed address, while the app runs.
struct Inspection {
  std::string address;
  int frontend = 0;  // the status of the inspector page
  int attach = 0;    // the status of its connection to the app's page
  std::vector<int> ports{-1};  // what the app's browser listens on
};

TEST_F(ChromiumRuntimeTest, DevToolsAreOpenToInspectorsOnlyWhenTheAppAllowsThem) {
  const json steps = {Step("await", {{"event", "message"}}), Step("snapshot", {{"label", "up"}}),
                      Step("wait", {{"ms", 1000}}), Step("end")};
  const auto inspect = [&](const TestApp& app, const std::string& name, Inspection& inspection) {
    return RunLooking(app, steps, "up", [&](const std::vector<json>& transcript) {
      inspection.ports = ListeningPorts(ChromiumProfile(name));
      for (const json& line : transcript) {
        if (line.value("event", "") == "devtools") inspection.address = line["address"];
      }
      int port = 0;
      const size_t page = inspection.address.find("/devtools/page/");
      if (std::sscanf(inspection.address.c_str(), "http://127.0.0.1:%d/", &port) != 1 ||
          page == std::string::npos) {
        return;
      }
      const std::string host = "Host: 127.0.0.1:" + std::to_string(port);
      inspection.frontend = LoopbackStatus(port, "GET /devtools/inspector.html HTTP/1.1\r\n" + host);
      // As the inspector page connects: from the origin it was served from.
      inspection.attach = LoopbackStatus(
          port, "GET " + inspection.address.substr(page) + " HTTP/1.1\r\n" + host +
                    "\r\nOrigin: http://127.0.0.1:" + std::to_string(port) +
                    "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                    "Sec-WebSocket-Key: a2lsbi1pbnNwZWN0b3I9PQ==\r\nSec-WebSocket-Version: 13");
    });
  };

  auto allowing = MakeApp("devtools", {{"index.html", kInspectedPage}});
  Inspection allowed;
  const StandInRun allowedRun = inspect(*allowing, "kiln-chromium-devtools", allowed);
  ExpectCleanRun(allowedRun);
  EXPECT_EQ(allowedRun.Events("devtools").size(), 1u) << "the address is given once";
  EXPECT_EQ(allowed.address.rfind("http://127.0.0.1:", 0), 0u) << allowed.address;
  EXPECT_EQ(allowed.frontend, 200) << "a desktop Chromium opens the inspector there";
  EXPECT_EQ(allowed.attach, 101) << "and the inspector attaches to the app's page";
  ASSERT_EQ(allowed.ports.size(), 1u);
  EXPECT_NE(allowed.address.find(":" + std::to_string(allowed.ports[0]) + "/"), std::string::npos)
      << "the one port the browser listens on is the one given";

  json package = PackageJson("no-devtools");
  package["settings"]["enable-devtools"] = false;
  auto refusing = MakeApp("no-devtools", {{"index.html", kInspectedPage}}, package);
  Inspection refused;
  const StandInRun refusedRun = inspect(*refusing, "kiln-chromium-no-devtools", refused);
  ExpectCleanRun(refusedRun);
  EXPECT_TRUE(refusedRun.Events("devtools").empty()) << "no address is given";
  EXPECT_EQ(refused.ports, std::vector<int>{}) << "the browser listens on no port anyone could attach to";
}

// Reports its layout size and scale, then where a click landed.
constexpr char kScaledPage[] = R"(<!doctype html>
<html><head><title>Scaled</title></head><body style="margin:0; height:100vh">
<script>
const host = chrome.webview;
addEventListener('click', (event) => host.postMessage({x: event.clientX, y: event.clientY}));
host.postMessage({w: innerWidth, h: innerHeight, ratio: devicePixelRatio});
</script></body></html>)";

TEST_F(ChromiumRuntimeTest, OnAHighDpiScreenThePageIsLaidOutInCssPixels) {
  SetScreenDpi(144);
  auto app = MakeApp("scaled", {{"index.html", kScaledPage}});
  const StandInRun run =
      Run(*app, {Step("await", {{"event", "message"}}), Step("await", {{"event", "frame"}}),
                 Step("snapshot", {{"label", "scaled"}}), Step("click", {{"x", 300}, {"y", 150}}),
                 Step("await", {{"event", "message"}, {"count", 2}}), Step("end")});
  SetScreenDpi(96);
  ExpectCleanRun(run);
  EXPECT_EQ(Snapshot(run, "scaled")["client"], json::array({0, 0, 1200, 900})) << "800 by 600 at 144 DPI";
  const std::vector<json> reports = PageReports(run);
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0], json::parse(R"({"w": 800, "h": 600, "ratio": 1.5})"));
  EXPECT_EQ(reports[1], json::parse(R"({"x": 200, "y": 100})")) << "the click, in the page's pixels";
}

// Speaks at once, then keeps its DOMContentLoaded, and with it Kiln's
// showing the window, waiting for a deferred script that takes its time.
constexpr char kSlowToLoadPage[] = R"(<!doctype html>
<html><head><title>Slow</title><script defer src="slow.js"></script></head>
<body style="margin:0; height:100vh">
<script>
addEventListener('click', () => chrome.webview.postMessage({clicked: true}));
chrome.webview.postMessage('ready');
</script></body></html>)";

constexpr char kSlowScript[] = "const until = Date.now() + 1500;\nwhile (Date.now() < until) {}\n";

TEST_F(ChromiumRuntimeTest, AFrameCountsOncePaintedOnScreenSoAClickAfterItReachesThePage) {
  auto app = MakeApp("slow", {{"index.html", kSlowToLoadPage}, {"slow.js", kSlowScript}});
  const StandInRun run =
      Run(*app, {Step("await", {{"event", "message"}}), Step("await", {{"event", "frame"}}),
                 Step("snapshot", {{"label", "painted"}}), Step("click", {{"x", 100}, {"y", 100}}),
                 Step("await", {{"event", "message"}, {"count", 2}}), Step("end")});
  ExpectCleanRun(run);
  EXPECT_EQ(Snapshot(run, "painted")["visible"], true) << "no frame is painted before Kiln shows the page";
  EXPECT_EQ(run.First("clicked")["window"], "KilnChromiumView");
  const std::vector<json> reports = PageReports(run);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0], json::parse(R"({"clicked": true})"));
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
  const fs::path screen = app->Path("screen.png");
  const StandInRun run = RunTakingScreen(
      *app,
      {Step("await", {{"event", "message"}}), Step("await", {{"event", "frame"}}), Step("wait", {{"ms", 700}}),
       Step("snapshot", {{"label", "painted"}}), Step("wait", {{"ms", 3000}}), Step("end")},
      "painted", screen);
  ExpectCleanRun(run);
  const json painted = Snapshot(run, "painted");
  ASSERT_EQ(painted["visible"], true);
  ExpectPixels(screen, painted["clientOrigin"],
               {{100, 100, {0xe0, 0x20, 0x20}},
                {300, 100, {0x20, 0xc0, 0x40}},
                {500, 100, {0x20, 0x40, 0xe0}},
                {300, 400, {0xff, 0xff, 0xff}}});
}

// A click enters element fullscreen; leaving it, the page opens a window and
// tries to leave the app, then closes itself.
constexpr char kEventsPage[] = R"(<!doctype html>
<html><head><meta charset="utf-8"><title>Events</title></head>
<body style="margin:0">
<button id="go" style="position:absolute; left:0; top:0; width:300px; height:200px">Go</button>
<script>
const host = chrome.webview;
const report = (what, extra) => host.postMessage(Object.assign({what}, extra || {}));
document.getElementById('go').onclick = () =>
  document.documentElement.requestFullscreen().catch((error) => report('refused', {text: String(error)}));
document.addEventListener('fullscreenchange', () => {
  if (document.fullscreenElement) {
    report('entered', {w: innerWidth});
    setTimeout(() => document.exitFullscreen(), 300);
    return;
  }
  report('left', {w: innerWidth});
  window.open('https://example.com/from-kiln?x=1');
  const link = document.createElement('a');
  link.href = 'https://example.org/linked';
  link.target = '_blank';
  document.body.appendChild(link);
  link.click();
  location.href = 'https://elsewhere.example/';
  setTimeout(() => { report('still-here', {href: location.href}); window.close(); }, 2500);
});
host.postMessage('ready');
</script></body></html>)";

class ChromiumEventsTest : public ChromiumRuntimeTest {
 protected:
  void SetUp() override {
    ChromiumRuntimeTest::SetUp();
    if (IsSkipped()) return;
    log_ = WinBuildDir().parent_path() / "it" / "chromium-shell-open.log";
    const fs::path script = WinBuildDir().parent_path() / "it" / "chromium-shell-open.sh";
    fs::create_directories(log_.parent_path());
    fs::remove(log_);
    std::ofstream(script) << "#!/bin/sh\necho \"$1\" >> '" << log_.string() << "'\n";
    fs::permissions(script, fs::perms::owner_all);
    // Wine hands web addresses to this script instead of a browser.
    SetRegistryString("HKCU\\Software\\Wine\\WineBrowser", "Browsers", script.string());
  }
  void TearDown() override {
    if (!IsSkipped()) DeleteRegistryKey("HKCU\\Software\\Wine\\WineBrowser");
  }

  // What the shell was given, once it holds the number of lines expected.
  std::string Opened(size_t lines) const {
    for (int attempt = 0; attempt < 60; ++attempt) {
      const std::string text = ReadFile(log_);
      if (static_cast<size_t>(std::count(text.begin(), text.end(), '\n')) >= lines) return text;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return std::string();
  }

  fs::path log_;
};

TEST_F(ChromiumEventsTest, FullscreenApiNewWindowsLeavingTheAppAndClosingReachKiln) {
  auto app = MakeApp("events", {{"index.html", kEventsPage}});
  const StandInRun run =
      Run(*app, {Step("await", {{"event", "message"}}), Step("await", {{"event", "frame"}}),
                 Step("snapshot", {{"label", "windowed"}}), Step("click", {{"x", 150}, {"y", 100}})});
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0) << "window.close() ends the app";

  const std::vector<json> reports = PageReports(run);
  ASSERT_GE(reports.size(), 1u);
  ASSERT_EQ(reports[0]["what"], "entered") << reports[0].dump();
  const json windowed = Snapshot(run, "windowed");
  const std::vector<json> bounds = BoundsSeen(run);
  ASSERT_GE(bounds.size(), 2u);
  EXPECT_TRUE(Contains(bounds, windowed["monitor"])) << "element fullscreen covers the monitor";
  EXPECT_EQ(bounds.back(), windowed["client"]) << "leaving it restores the window";

  const std::vector<json> newWindows = run.Events("new-window");
  ASSERT_EQ(newWindows.size(), 2u) << "window.open, then a link with a target";
  EXPECT_EQ(newWindows[0]["uri"], "https://example.com/from-kiln?x=1");
  EXPECT_EQ(newWindows[1]["uri"], "https://example.org/linked");
  EXPECT_EQ(newWindows[0]["handled"], true);
  EXPECT_EQ(newWindows[1]["handled"], true);
  // Each address goes to its own shell process, which may finish first.
  const std::string opened = Opened(2);
  EXPECT_NE(opened.find("https://example.com/from-kiln?x=1\n"), std::string::npos) << opened;
  EXPECT_NE(opened.find("https://example.org/linked\n"), std::string::npos) << opened;

  bool cancelled = false;
  for (const json& navigation : run.Events("navigation")) {
    if (navigation["uri"] == "https://elsewhere.example/") cancelled = navigation["cancelled"] == true;
  }
  EXPECT_TRUE(cancelled) << "navigating away from the app is cancelled";
  ASSERT_EQ(reports.size(), 3u) << "entered, left, still-here";
  EXPECT_EQ(reports[2]["href"], std::string(kOrigin) + "index.html") << "the page stayed";
}

// Every kind of file a game loads, each checked by the browser itself: the
// page reports what it got, and the video's seeks, by message.
constexpr char kAssetsPage[] = R"(<!doctype html>
<html><head><meta charset="utf-8"><title>Assets</title>
<style>@font-face { font-family: Probe; src: url("font.ttf"); }</style>
</head><body>
<video id="video" muted preload="auto"></video>
<script type="module" src="main.js"></script>
</body></html>)";

constexpr char kAssetsModule[] = R"(import { report } from './report.js';

const checks = [];
checks.push((async () => {
  const { instance } = await WebAssembly.instantiateStreaming(fetch('add.wasm'));
  report('wasm', { sum: instance.exports.add(2, 40) });
})());
checks.push((async () => {
  const [face] = await document.fonts.load('16px Probe');
  report('font', { loaded: !!face && face.status === 'loaded' });
})());
checks.push((async () => {
  const image = new Image();
  image.src = 'red.png';
  await image.decode();
  const canvas = document.createElement('canvas');
  canvas.width = image.width;
  canvas.height = image.height;
  const context = canvas.getContext('2d');
  context.drawImage(image, 0, 0);
  report('png', { width: image.width, rgb: Array.from(context.getImageData(1, 1, 1, 1).data.slice(0, 3)) });
})());
checks.push((async () => {
  const answer = await fetch('data.json?v=' + Date.now());
  report('json', { status: answer.status, type: answer.headers.get('content-type'), data: await answer.json() });
})());
checks.push((async () => {
  const video = document.getElementById('video');
  video.src = 'clip.webm';
  await new Promise((resolve, reject) => {
    video.onloadedmetadata = resolve;
    video.onerror = () => reject(new Error('video error ' + (video.error && video.error.code)));
  });
  const times = [];
  for (const target of [2.5, 0.5, 3.5]) {
    video.currentTime = target;
    await new Promise((resolve) => (video.onseeked = resolve));
    times.push(video.currentTime);
  }
  await video.play();
  await new Promise((resolve) => setTimeout(resolve, 300));
  video.pause();
  report('video', { duration: video.duration, times, playedTo: video.currentTime });
})());
Promise.allSettled(checks).then((results) => {
  const failed = results.filter((result) => result.status === 'rejected').map((result) => String(result.reason));
  report('done', { failed });
});
)";

constexpr char kReportModule[] =
    "export function report(what, details) { chrome.webview.postMessage(Object.assign({ what }, details)); }\n";

// A module exporting add(i32, i32) -> i32.
const std::string kAddWasm("\0asm\1\0\0\0\1\7\1\x60\2\x7f\x7f\1\x7f\3\2\1\0\7\7\1\3add\0\0\n\x09\1\7\0\x20\0\x20\1\x6a\x0b",
                           41);

std::string ReadBinary(const fs::path& path) { return ReadFile(path); }

TEST_F(ChromiumRuntimeTest, ModulesWasmFontsImagesJsonAndSeekingVideoLoadThroughKiln) {
  const fs::path data = fs::path(KILN_SOURCE_DIR) / "tests" / "integration" / "data";
  const std::string font = ReadBinary("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  const std::string png = ReadBinary(data / "red.png");
  const std::string clip = ReadBinary(data / "clip.webm");
  if (font.empty()) GTEST_SKIP() << "no DejaVu font to serve (Debian package fonts-dejavu-core)";
  ASSERT_FALSE(png.empty());
  ASSERT_FALSE(clip.empty());
  auto app = MakeApp("assets", {{"index.html", kAssetsPage},
                                {"main.js", kAssetsModule},
                                {"report.js", kReportModule},
                                {"add.wasm", kAddWasm},
                                {"font.ttf", font},
                                {"red.png", png},
                                {"data.json", R"({"level": 3, "name": "caf\u00e9"})"},
                                {"clip.webm", clip}});
  // done is the sixth report.
  const StandInRun run = Run(*app, {Step("await", {{"event", "message"}, {"count", 6}}), Step("end")});
  ExpectCleanRun(run);
  std::map<std::string, json> reports;
  for (const json& report : PageReports(run)) reports[report.value("what", "")] = report;
  ASSERT_EQ(reports.count("done"), 1u) << "the page finished its checks";
  EXPECT_EQ(reports["done"]["failed"], json::array());

  EXPECT_EQ(reports["wasm"]["sum"], 42) << "application/wasm streamed and compiled";
  EXPECT_EQ(reports["font"]["loaded"], true);
  EXPECT_EQ(reports["png"]["width"], 8);
  EXPECT_EQ(reports["png"]["rgb"], json::array({255, 0, 0}));
  EXPECT_EQ(reports["json"]["status"], 200);
  EXPECT_EQ(reports["json"]["data"], json::parse(R"({"level": 3, "name": "caf\u00e9"})"));

  const json video = reports["video"];
  ASSERT_TRUE(video.is_object());
  EXPECT_NEAR(video["duration"].get<double>(), 4.0, 0.2);
  ASSERT_EQ(video["times"].size(), 3u);
  EXPECT_NEAR(video["times"][0].get<double>(), 2.5, 0.01);
  EXPECT_NEAR(video["times"][1].get<double>(), 0.5, 0.01);
  EXPECT_NEAR(video["times"][2].get<double>(), 3.5, 0.01);
  EXPECT_GT(video["playedTo"].get<double>(), 3.5) << "it played on from the last seek";

  int ranges = 0;
  for (const json& response : run.Events("response")) {
    const std::string uri = response.value("uri", "");
    if (uri.find("clip.webm") != std::string::npos && response["status"] == 206) ++ranges;
    if (uri.find("data.json?v=") != std::string::npos) {
      EXPECT_EQ(response["status"], 200);
    }
  }
  EXPECT_GE(ranges, 1) << "the video was read by ranges";
}

constexpr char kLargeVideoPage[] = R"(<!doctype html><meta charset="utf-8"><title>large video</title>
<video id="video" muted></video>
<script>
const report = (what, details) => chrome.webview.postMessage(Object.assign({ what }, details));
(async () => {
  try {
    const answer = await fetch('big.webm', { headers: { Range: 'bytes=1000-' } });
    const body = await answer.arrayBuffer();
    report('fetch', { status: answer.status, range: answer.headers.get('content-range'),
                      length: answer.headers.get('content-length'), bytes: body.byteLength });
    const video = document.getElementById('video');
    video.src = 'big.webm';
    await new Promise((resolve, reject) => {
      video.onloadedmetadata = resolve;
      video.onerror = () => reject(new Error('video error ' + (video.error && video.error.code)));
    });
    const times = [];
    for (const target of [2.0, 3.8, 0.5, 2.0, 3.8]) {
      video.currentTime = target;
      await new Promise((resolve) => (video.onseeked = resolve));
      times.push(video.currentTime);
    }
    await video.play();
    await new Promise((resolve) => setTimeout(resolve, 100));
    report('video', { duration: video.duration, times, playing: !video.paused });
  } catch (error) {
    report('video', { error: String(error) });
  }
})();
</script>)";

TEST_F(ChromiumRuntimeTest, AVideoLargerThanOneRangeAnswerPlaysAndSeeks) {
  const std::string clip =
      ReadBinary(fs::path(KILN_SOURCE_DIR) / "tests" / "integration" / "data" / "clip.webm");
  ASSERT_FALSE(clip.empty());
  const std::string big = PaddedClip(clip, 16u << 20);
  auto app = MakeApp("large-video", {{"index.html", kLargeVideoPage}, {"big.webm", big}});
  const StandInRun run = Run(*app, {Step("await", {{"event", "message"}, {"count", 2}}), Step("end")});
  ExpectCleanRun(run);
  std::map<std::string, json> reports;
  for (const json& report : PageReports(run)) reports[report.value("what", "")] = report;

  // A fetch gets what the headers say: the first bytes of what it asked for.
  const std::string size = std::to_string(big.size());
  EXPECT_EQ(reports["fetch"]["status"], 206);
  EXPECT_EQ(reports["fetch"]["range"], "bytes 1000-4195303/" + size);
  EXPECT_EQ(reports["fetch"]["length"], "4194304");
  EXPECT_EQ(reports["fetch"]["bytes"], 4194304);

  const json video = reports["video"];
  ASSERT_FALSE(video.contains("error")) << video;
  EXPECT_NEAR(video["duration"].get<double>(), 4.0, 0.2);
  const double targets[] = {2.0, 3.8, 0.5, 2.0, 3.8};
  ASSERT_EQ(video["times"].size(), 5u);
  for (size_t i = 0; i < 5; ++i) EXPECT_NEAR(video["times"][i].get<double>(), targets[i], 0.01);

  // Every answer the browser read stayed within the cap, and the video
  // needed more than one to reach its frames.
  int ranges = 0;
  for (const json& response : run.Events("response")) {
    if (response.value("uri", "").find("big.webm") == std::string::npos) continue;
    EXPECT_EQ(response["status"], 206);
    for (const json& line : response["headers"]) {
      const std::string text = line;
      if (text.rfind("Content-Length: ", 0) == 0) {
        EXPECT_LE(std::stoull(text.substr(16)), 4194304u);
      }
    }
    ++ranges;
  }
  EXPECT_GE(ranges, 3);
}

// kiln.js imported by a module: it asks for the components and calls one,
// then the page tells whether its sound could start with no click, and
// counts the ticks of a 50 ms timer.
constexpr char kRecipesPage[] = R"(<!doctype html><meta charset="utf-8"><title>Recipes</title>
<script type="module">
import "./kiln.js";
window.ticks = [];
setInterval(() => ticks.push(performance.now()), 50);
const sound = new AudioContext();
const tone = sound.createOscillator();
tone.connect(sound.destination);
tone.start();
const ids = await Kiln.ready;
const echo = await Kiln.call("conv", "echo", 2.5, "Caf\u00e9", { timeout: 5000 });
await new Promise((resolve) => setTimeout(resolve, 300));
chrome.webview.postMessage({ ids, echo, sound: sound.state, played: sound.currentTime > 0 });
</script>)";

// Ticks of the page's timer in the last two seconds, and whether the page
// is hidden.
constexpr char kRecentTicks[] =
    "[ticks.filter((at) => at > performance.now() - 2000).length, document.visibilityState]";

TEST_F(ChromiumRuntimeTest, TheGameRecipesLetSoundStartWithNoClickAndTimersRunWhileMinimized) {
  const std::string kilnJs = ReadFile(fs::path(KILN_SOURCE_DIR) / "sdk" / "kiln.js");
  ASSERT_FALSE(kilnJs.empty());
  const json steps = {Step("await", {{"event", "message"}}), Step("minimize"), Step("wait", {{"ms", 2500}}),
                      Step("evaluate", {{"label", "minimized"}, {"expression", kRecentTicks}}),
                      Step("await", {{"event", "evaluated"}}), Step("restore"), Step("wait", {{"ms", 500}}),
                      Step("end")};
  const auto run = [&](const std::string& name, const std::string& recipes) {
    json package = PackageJson(name);
    package["chromium-args"] = package["chromium-args"].get<std::string>() + recipes;
    auto app = MakeApp(name, {{"index.html", kRecipesPage}, {"kiln.js", kilnJs}}, package);
    AddRecorderExtension(*app, "conv.ext.dll", {{"ids", {"conv"}}});
    StandInRun result = Run(*app, steps);
    ExpectCleanRun(result);
    EXPECT_EQ(result.run.ExitCode(), 0);
    return result;
  };
  const StandInRun plain = run("no-recipes", "");
  const StandInRun recipes = run("recipes", " --autoplay-policy=no-user-gesture-required"
                                            " --disable-background-timer-throttling --disable-renderer-backgrounding"
                                            " --disable-backgrounding-occluded-windows");

  for (const StandInRun* result : {&plain, &recipes}) {
    const std::vector<json> reports = PageReports(*result);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0]["ids"], json::array({"conv"})) << "kiln.js, imported by a module, heard Kiln";
    EXPECT_EQ(reports[0]["echo"], json::parse(R"({"0": 2.5, "1": "Caf\u00e9"})")) << "and its call was answered";
    std::vector<std::string> states;
    for (const json& line : result->Events("window-state")) states.push_back(line["state"]);
    EXPECT_EQ(states, (std::vector<std::string>{"minimized", "normal"})) << "the page's window followed Kiln's";
    EXPECT_EQ(result->Evaluated("minimized")[1], "hidden") << "a minimised app's page is hidden";
  }
  EXPECT_EQ(PageReports(plain)[0]["sound"], "suspended") << "without the recipe sound waits for a click";
  EXPECT_EQ(PageReports(recipes)[0]["sound"], "running");
  EXPECT_EQ(PageReports(recipes)[0]["played"], true);
  // 40 ticks in two seconds at the timer's rate; a throttled timer runs
  // once a second.
  EXPECT_LE(plain.Evaluated("minimized")[0].get<int>(), 8) << "without the recipe the hidden page's timer slows";
  EXPECT_GE(recipes.Evaluated("minimized")[0].get<int>(), 25) << "with it the timer keeps its rate";
}

// Script for the evaluate step: runs start, waits up to 10 s for condition
// to hold, then gives result.
std::string AwaitInPage(const std::string& start, const std::string& condition, const std::string& result) {
  return "(async () => { " + start + "; const until = Date.now() + 10000; while (!(" + condition +
         ") && Date.now() < until) await new Promise((r) => setTimeout(r, 50)); return " + result + "; })()";
}

// Presses one of the example's buttons and waits until the page has the
// width it should then have.
std::string PressAndAwaitWidth(const std::string& button, const std::string& widthTest) {
  return AwaitInPage("document.getElementById('" + button + "').click()", widthTest, "[innerWidth, innerHeight]");
}

// The example a new user sees first, as shipped, with the example extension
// beside it: it draws, hears back from the extension, and its buttons drive
// the window.
TEST_F(ChromiumRuntimeTest, TheHelloExampleRunsWithItsExtension) {
  const fs::path example = fs::path(KILN_SOURCE_DIR) / "examples" / "hello";
  json package = json::parse(ReadFile(example / "package.json"));
  package["settings"]["distribution-mode"] = "fixed";
  auto app = MakeApp("hello", {}, package);
  for (const auto& entry : fs::directory_iterator(example / "www")) {
    app->CopyFrom(entry.path(), "www/" + entry.path().filename().string());
  }
  app->CopyFrom(WinBuildDir() / "examples" / "extension" / "example.ext.dll", "example.ext.dll");

  const fs::path screen = app->Path("screen.png");
  const StandInRun run = RunTakingScreen(
      *app,
      {Step("await", {{"event", "dom-content-loaded"}}),
       Step("evaluate",
            {{"label", "answer"},
             {"expression", AwaitInPage("const text = (id) => document.getElementById(id).textContent",
                                        "text('answer')", "[text('components'), text('answer')]")}}),
       Step("await", {{"event", "evaluated"}}),
       Step("evaluate",
            {{"label", "canvas"},
             {"expression", "(() => { const r = document.getElementById('stage').getBoundingClientRect();"
                            " return [r.left, r.top]; })()"}}),
       Step("await", {{"event", "frame"}}), Step("wait", {{"ms", 700}}), Step("snapshot", {{"label", "shown"}}),
       Step("wait", {{"ms", 3000}}),
       Step("evaluate", {{"label", "resized"}, {"expression", PressAndAwaitWidth("resize", "innerWidth === 640")}}),
       Step("await", {{"event", "evaluated"}, {"count", 3}}), Step("snapshot", {{"label", "resized"}}),
       Step("evaluate", {{"label", "fullscreen"}, {"expression", PressAndAwaitWidth("fullscreen", "innerWidth > 800")}}),
       Step("await", {{"event", "evaluated"}, {"count", 4}}), Step("snapshot", {{"label", "fullscreen"}}),
       Step("evaluate", {{"label", "windowed"}, {"expression", PressAndAwaitWidth("fullscreen", "innerWidth === 640")}}),
       Step("await", {{"event", "evaluated"}, {"count", 5}}), Step("snapshot", {{"label", "windowed"}}),
       Step("end")},
      "shown", screen);
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0);
  EXPECT_TRUE(run.Events("page-error").empty()) << run.Events("page-error")[0];

  EXPECT_EQ(run.Evaluated("answer"),
            json::array({"Native components: example", "The example extension says 2 + 3.5 = 5.5"}));

  const json shown = Snapshot(run, "shown");
  EXPECT_EQ(shown["caption"], "Hello from Kiln");
  EXPECT_EQ(shown["client"], json::array({0, 0, 800, 600}));
  const json canvas = run.Evaluated("canvas");
  ASSERT_TRUE(canvas.is_array() && canvas.size() == 2) << canvas;
  const int left = static_cast<int>(canvas[0].get<double>());
  const int top = static_cast<int>(canvas[1].get<double>());
  const json origin = shown["clientOrigin"];
  // The canvas's ground, its bar at the bottom, and the page around it; the
  // ball never comes this near the left edge.
  ExpectPixels(screen, origin,
               {{left + 12, top + 12, {0x2b, 0x2f, 0x3a}},
                {left + 12, top + 165, {0x4a, 0x90, 0xd9}},
                {left + 300, top + 165, {0x4a, 0x90, 0xd9}},
                {8, 8, {0x1d, 0x1f, 0x27}}});

  EXPECT_EQ(run.Evaluated("resized"), json::array({640, 480}));
  EXPECT_EQ(Snapshot(run, "resized")["client"], json::array({0, 0, 640, 480}));
  const json fullscreen = Snapshot(run, "fullscreen");
  const json monitor = fullscreen["monitor"];
  EXPECT_EQ(fullscreen["window"], monitor) << "the window covers the monitor";
  EXPECT_EQ(run.Evaluated("fullscreen"),
            json::array({monitor[2].get<int>() - monitor[0].get<int>(), monitor[3].get<int>() - monitor[1].get<int>()}));
  EXPECT_EQ(run.Evaluated("windowed"), json::array({640, 480}));
  EXPECT_EQ(Snapshot(run, "windowed")["client"], json::array({0, 0, 640, 480}));
}

}  // namespace
}  // namespace kiln::testing

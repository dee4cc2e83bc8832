// The page's messages to the host through the real kiln.exe and the stand-in
// runtime: who is heard, what the window does, and the handshake's answer.
#include <gtest/gtest.h>

#include "page_steps.h"

namespace kiln::testing {
namespace {

constexpr unsigned kCaption = 0x00C00000, kThickFrame = 0x00040000;
constexpr char kNoComponents[] = R"({"registeredComponentIds":[],"type":"wrapper-init-response"})";

StandInRun RunPage(const json& steps, const json& package = json::object()) {
  TestApp app(CurrentTestName());
  json config = {{"name", "kiln-bridge"},
                 {"window", {{"title", "Bridge"}, {"width", 400}, {"height", 300}}},
                 {"settings", {{"distribution-mode", "fixed"}}}};
  config.merge_patch(package);
  app.WritePackageJson(config.dump());
  InstallFixedRuntime(app);
  return RunWithStandIn(app, {{"steps", steps}});
}

json Size(int width, int height) {
  return {{"type", "set-window-size"}, {"windowWidth", width}, {"windowHeight", height}};
}

json Position(int x, int y) {
  return {{"type", "set-window-position"}, {"windowX", x}, {"windowY", y}};
}

json Fullscreen(const json& value) { return {{"type", "set-fullscreen"}, {"fullscreen", value}}; }

json Corner(const json& snapshot) {
  return json::array({snapshot["window"][0], snapshot["window"][1]});
}

TEST(BridgeTest, HandshakeIsAnsweredOnlyForTheAppsOwnDocuments) {
  const json init = {{"type", "wrapper-init"}};
  const StandInRun run = RunPage({
      Step("dom-content-loaded"),
      Post(init),
      PostFrom("https://example.com/", init),
      PostFrom("HTTPS://APP.KILN.LOCALHOST/index.html", init),  // scheme and host in any case
      PostFrom("https://app.kiln.localhost.example.com/", init),
      PostFrom(nullptr, init),  // the sender's address cannot be read
      Step("message", {{"json", init}}),  // posted as a JSON value, not as its text
      Post(init),
      Step("end"),
  });
  ExpectCleanRun(run);
  EXPECT_EQ(AnswersPerMessage(run), (std::vector<int>{1, 0, 1, 0, 0, 0, 1}));
  EXPECT_EQ(PostedTexts(run),
            (std::vector<std::string>{kNoComponents, kNoComponents, kNoComponents}))
      << "an empty array, never null, when no extension registered an id";
  EXPECT_TRUE(run.Events("post-string").empty());
  EXPECT_EQ(run.run.ExitCode(), 0);
}

TEST(BridgeTest, RemoteAppIsHeardOnlyFromItsStartPage) {
  const json init = {{"type", "wrapper-init"}};
  const std::vector<std::pair<std::string, int>> senders = {
      {"https://example.com", 1},          {"https://example.com/level2", 1},
      {"https://example.com?save=1", 1},   {"https://example.com#menu", 1},
      {"https://example.com.evil.net/", 0}, {"https://example.comx/", 0},
      {"https://example.com:8443/", 0},    {"http://example.com", 0},
  };
  json steps = json::array();
  std::vector<int> expected;
  for (const auto& [source, answers] : senders) {
    steps.push_back(PostFrom(source, init));
    expected.push_back(answers);
  }
  steps.push_back(Step("end"));
  const StandInRun run =
      RunPage(steps, {{"main", "https://example.com"}, {"settings", {{"content-mode", "remote"}}}});
  ExpectCleanRun(run);
  EXPECT_EQ(AnswersPerMessage(run), expected);
}

TEST(BridgeTest, SizesAndPositionsFromThePageAreScaledUpToWholePixels) {
  SetScreenDpi(120);
  const StandInRun run = RunPage({
      Step("dom-content-loaded"),
      Post(Size(301, 201)),
      Post(Position(301, 201)),
      Step("snapshot", {{"label", "scaled"}}),
      Step("end"),
  });
  SetScreenDpi(96);
  ExpectCleanRun(run);
  // 376.25 and 251.25 pixels: rounding to the nearest would lose a pixel.
  const json scaled = Snapshot(run, "scaled");
  EXPECT_EQ(scaled["client"], json::array({0, 0, 377, 252}));
  EXPECT_EQ(Corner(scaled), json::array({377, 252}));
}

TEST(BridgeTest, WindowMessagesMoveResizeAndSwitchTheRealWindow) {
  const StandInRun run = RunPage({
      Step("dom-content-loaded"),
      Step("move", {{"x", 40}, {"y", 30}}),
      Step("snapshot", {{"label", "start"}}),
      Post({{"type", "set-window-size"}, {"windowWidth", 320.9}, {"windowHeight", 200}}),
      Step("snapshot", {{"label", "sized"}}),
      Post({{"type", "set-window-size"}, {"windowWidth", 250}}),
      Post({{"type", "set-window-size"}, {"windowWidth", 250}, {"windowHeight", 0}}),
      Post({{"type", "set-window-size"}, {"windowWidth", -250}, {"windowHeight", 150}}),
      Post({{"type", "set-window-size"}, {"windowWidth", "250"}, {"windowHeight", 150}}),
      Step("snapshot", {{"label", "ignored sizes"}}),
      Post({{"type", "Set-Window-Size"}, {"windowWidth", 250}, {"windowHeight", 150}}),
      Post({{"type", "set-window-size "}, {"windowWidth", 250}, {"windowHeight", 150}}),
      Post({{"type", "SET-WINDOW-SIZE"}, {"windowWidth", 250}, {"windowHeight", 150}}),
      Step("snapshot", {{"label", "other kinds"}}),
      PostText(R"({"type":"set-window-size","windowWidth":250,)"),
      Post(Size(300, 180)),
      Step("snapshot", {{"label", "after malformed"}}),
      PostText(R"({"type":"wrapper-init","windowWidth":280,"windowHeight":160,)"
               R"("type":"set-window-size"})"),
      Step("snapshot", {{"label", "last type resized"}}),
      PostText(R"({"type":"set-window-size","windowWidth":200,"windowHeight":100,)"
               R"("type":"wrapper-init"})"),
      Step("snapshot", {{"label", "last type answered"}}),
      Post(Position(120, 80)),
      Step("snapshot", {{"label", "moved"}}),
      Post({{"type", "set-window-position"}}),
      Step("snapshot", {{"label", "origin"}}),
      Post({{"type", "set-window-position"}, {"windowX", 50.7}, {"windowY", 60}}),
      Step("snapshot", {{"label", "windowed"}}),
      Post(Fullscreen(true)),
      Step("snapshot", {{"label", "fullscreen"}}),
      Post(Size(200, 120)),
      Post(Position(10, 10)),
      Step("snapshot", {{"label", "fullscreen after size and move"}}),
      Post(Fullscreen(1)),
      Step("snapshot", {{"label", "left with 1"}}),
      Post(Fullscreen(true)),
      Post(Fullscreen("true")),
      Step("snapshot", {{"label", "left with a string"}}),
      Post(Fullscreen(true)),
      Post({{"type", "set-fullscreen"}}),
      Step("snapshot", {{"label", "left without the member"}}),
      Step("message", {{"json", Fullscreen(true)}}),
      PostFrom("https://example.com/", Fullscreen(true)),
      Step("snapshot", {{"label", "unheard"}}),
      Step("end"),
  });
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0);

  const json start = Snapshot(run, "start");
  EXPECT_EQ(start["client"], json::array({0, 0, 400, 300}));
  const json sized = Snapshot(run, "sized");
  EXPECT_EQ(sized["client"], json::array({0, 0, 320, 200})) << "320.9 is cut to 320";
  EXPECT_EQ(Corner(sized), json::array({40, 30})) << "resizing keeps the corner";
  EXPECT_EQ(Snapshot(run, "ignored sizes")["window"], sized["window"])
      << "a missing, zero, negative or text height or width changes nothing";
  EXPECT_EQ(Snapshot(run, "other kinds")["window"], sized["window"])
      << "kinds differing in letter case or by a trailing blank are ignored";
  EXPECT_EQ(Snapshot(run, "after malformed")["client"], json::array({0, 0, 300, 180}))
      << "a message cut short does not disturb the next one";
  EXPECT_EQ(Snapshot(run, "last type resized")["client"], json::array({0, 0, 280, 160}));
  EXPECT_EQ(Snapshot(run, "last type answered")["client"], json::array({0, 0, 280, 160}));
  EXPECT_EQ(PostedTexts(run), std::vector<std::string>{kNoComponents})
      << "only the message whose last \"type\" is wrapper-init is answered";

  EXPECT_EQ(Corner(Snapshot(run, "moved")), json::array({120, 80}));
  EXPECT_EQ(Corner(Snapshot(run, "origin")), json::array({0, 0}));
  const json windowed = Snapshot(run, "windowed");
  EXPECT_EQ(Corner(windowed), json::array({50, 60}));
  EXPECT_EQ(windowed["client"], json::array({0, 0, 280, 160}));

  const json fullscreen = Snapshot(run, "fullscreen");
  EXPECT_EQ(fullscreen["window"], fullscreen["monitor"]);
  EXPECT_EQ(fullscreen["style"].get<unsigned>() & (kCaption | kThickFrame), 0u);
  EXPECT_EQ(Snapshot(run, "fullscreen after size and move")["window"], fullscreen["window"])
      << "size and position are ignored while fullscreen";
  for (const char* label : {"left with 1", "left with a string", "left without the member"}) {
    const json left = Snapshot(run, label);
    EXPECT_EQ(left["window"], windowed["window"]) << label << ": nothing applied later";
    EXPECT_EQ(left["style"], windowed["style"]) << label;
  }
  EXPECT_EQ(Snapshot(run, "unheard")["window"], windowed["window"])
      << "a JSON value and a stranger's message are both ignored";
}

}  // namespace
}  // namespace kiln::testing

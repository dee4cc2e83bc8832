// steam.ext.dll in the real kiln.exe under Wine, against the stand-in
// steam_api.dll of tests/steam_api, which plays a scenario and records every
// call Kiln makes with its arguments. The page is played by the scripted
// stand-in runtime; one case runs a real page with kiln.js in Chromium.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>

#include "chromium.h"
#include "page_steps.h"

namespace kiln::testing {
namespace {

constexpr char kAppName[] = "kiln-steam-test";
// Both halves non-zero: a handle cut to 32 bits, or split the wrong way on
// the stack, does not come back.
constexpr char kBoard[] = "1311768467294899695";  // 0x1234567890ABCDEF
// Above 2^53: a double would round them.
constexpr char kFirstId[] = "76561198000000001";
constexpr char kSecondId[] = "76561198999999999";

bool Wide() { return WinBuildDir().filename() != "win32"; }
std::string SteamApiName() { return Wide() ? "steam_api64.dll" : "steam_api.dll"; }
fs::path SteamApi(const std::string& variant) { return WinBuildDir() / "tests" / "steam_api" / variant / SteamApiName(); }

json Steam(const std::string& messageId, const json& params, int asyncId) {
  return Post(ExtensionMessage("kiln-steam", messageId, params, asyncId));
}

json Scenario() {
  return {{"init", 0},
          {"appId", 480},
          {"persona", "Ann \u00e9"},
          {"steamId", kSecondId},
          {"language", "french"},
          {"deck", true},
          {"overlay", true},
          {"achievements", {{"ACH_WIN", false}, {"ACH_TRAVEL", true}}},
          {"stats", {{"kills", {{"int", 0}}}, {"time", {{"float", 1.5}}}}},
          {"leaderboards", {{{"name", "Top"}, {"handle", kBoard}}}},
          {"entries",
           {{{"steamId", kFirstId}, {"rank", 1}, {"score", 900}, {"details", {7, -8}}, {"name", "Bo"}},
            {{"steamId", kSecondId}, {"rank", 2}, {"score", 850}, {"details", json::array()}}}},
          {"delay", 3}};
}

class SteamTest : public ::testing::Test {
 protected:
  SteamTest() : app_(CurrentTestName()) {
    app_.WritePackageJson(
        json({{"name", kAppName}, {"steam", {{"app-id", 480}}}, {"settings", {{"distribution-mode", "fixed"}}}}).dump());
    InstallFixedRuntime(app_);
    app_.CopyFrom(WinBuildDir() / "src" / "steam.ext.dll", "steam.ext.dll");
  }

  void UseSteamApi(const std::string& variant) { app_.CopyFrom(SteamApi(variant), SteamApiName()); }

  struct SteamRun {
    StandInRun run;
    std::map<int, json> answers;  // by asyncId: params
    std::vector<json> events;     // overlay-activated params, in order
    std::vector<json> calls;      // what the stand-in steam_api.dll recorded
    std::vector<std::string> Names() const {
      std::vector<std::string> names;
      for (const json& call : calls) {
        if (call.contains("call")) names.push_back(call["call"]);
      }
      return names;
    }
    std::vector<json> Calls(const std::string& name) const {
      std::vector<json> found;
      for (const json& call : calls) {
        if (call.value("call", "") == name) found.push_back(call["args"]);
      }
      return found;
    }
  };

  // Runs kiln.exe once with the steps after the page's DOMContentLoaded.
  SteamRun Run(json steps, const json& scenario = Scenario(), bool scripted = true) {
    const fs::path log = app_.Path("steam-calls.jsonl");
    fs::remove(log);
    json written = scenario;
    written["log"] = WinePath(log);
    app_.WriteFile("steam.json", written.dump());
    if (scripted) steps.insert(steps.begin(), Step("dom-content-loaded"));
    RunOptions options;
    options.timeoutMs = scripted ? 20000 : 40000;
    options.environment.emplace_back("KILN_TEST_STEAM", WinePath(app_.Path("steam.json")));
    SteamRun result;
    result.run = RunWithStandIn(app_, {{"steps", steps}}, options);
    for (const std::string& text : PostedTexts(result.run)) {
      const json message = json::parse(text);
      if (message.value("componentId", "") != "kiln-steam") continue;
      if (message["messageId"] == "overlay-activated") {
        result.events.push_back(message["params"]);
      } else {
        result.answers[message["asyncId"].get<int>()] = message["params"];
      }
    }
    result.calls = ReadJsonLines(log);
    for (const json& call : result.calls) EXPECT_FALSE(call.contains("error")) << call.dump();
    return result;
  }

  // Asks each [messageId, params] in turn, asyncId its index, and ends once
  // all are answered.
  // events more messages (overlay events) are awaited besides the answers.
  SteamRun Ask(const std::vector<json>& requests, const json& scenario = Scenario(), size_t events = 0) {
    json steps = json::array();
    for (size_t i = 0; i < requests.size(); ++i) steps.push_back(Steam(requests[i][0], requests[i][1], i));
    steps.push_back(Step("await", {{"event", "post-json"}, {"count", requests.size() + events}}));
    steps.push_back(Step("end"));
    SteamRun run = Run(steps, scenario);
    ExpectCleanRun(run.run);
    EXPECT_EQ(run.run.run.ExitCode(), 0);
    return run;
  }

  TestApp app_;
};

TEST_F(SteamTest, AnAchievementIsUnlockedListedAndCleared) {
  UseSteamApi("sdk165");
  const SteamRun run = Ask({{"status", json::array()},
                            {"unlock", {"ACH_WIN"}},
                            {"is-unlocked", {"ACH_WIN"}},
                            {"list", json::array()},
                            {"clear", {"ACH_WIN"}},
                            {"is-unlocked", {"ACH_WIN"}},
                            {"unlock", {"NO_SUCH"}},
                            {"progress", {"ACH_TRAVEL", 3, 10}}});
  EXPECT_EQ(run.answers.at(0), json::parse(R"({"ok": true, "available": true, "reason": null})"));
  EXPECT_EQ(run.answers.at(1), json::parse(R"({"ok": true})"));
  EXPECT_EQ(run.answers.at(2), json::parse(R"({"ok": true, "unlocked": true})"));
  EXPECT_EQ(json::parse(run.answers.at(3)["achievements"].get<std::string>()),
            json::parse(R"([{"name": "ACH_TRAVEL", "unlocked": true}, {"name": "ACH_WIN", "unlocked": true}])"));
  EXPECT_EQ(run.answers.at(5), json::parse(R"({"ok": true, "unlocked": false})")) << "the one-byte bool output";
  EXPECT_EQ(run.answers.at(6)["ok"], false) << "a false bool result with garbage above AL reads as false";
  EXPECT_EQ(run.answers.at(7), json::parse(R"({"ok": true})"));
  EXPECT_EQ(run.Calls("SteamAPI_ISteamUserStats_IndicateAchievementProgress"),
            std::vector<json>{json::parse(R"(["ACH_TRAVEL", 3, 10])")});
  EXPECT_EQ(run.Calls("SteamAPI_InitFlat").size(), 1u) << "the newest init of the DLL";
  EXPECT_EQ(run.Calls("SteamAPI_ManualDispatch_Init").size(), 1u);
  EXPECT_EQ(run.Names().back(), "SteamAPI_Shutdown");
}

TEST_F(SteamTest, StatsSetAHundredTimesInASecondAreStoredOnceAndOnceMoreAtExit) {
  UseSteamApi("sdk165");
  json steps = json::array();
  for (int i = 0; i < 100; ++i) {
    steps.push_back(Steam("set-stat", {"kills", i + 1, "int"}, i));
    steps.push_back(Step("wait", {{"ms", 10}}));
  }
  steps.push_back(Steam("set-stat", {"time", 2.25, "float"}, 100));
  steps.push_back(Steam("get-stat", {"time", "float"}, 101));
  steps.push_back(Step("await", {{"event", "post-json"}, {"count", 102}}));
  steps.push_back(Step("end"));
  const SteamRun run = Run(steps);
  ExpectCleanRun(run.run);
  EXPECT_EQ(run.answers.at(99), json::parse(R"({"ok": true})"));
  EXPECT_EQ(run.answers.at(101), json::parse(R"({"ok": true, "value": 2.25})"));
  std::vector<std::string> storesAndSets;
  for (const std::string& name : run.Names()) {
    if (name == "SteamAPI_ISteamUserStats_StoreStats" || name == "SteamAPI_Shutdown") storesAndSets.push_back(name);
  }
  EXPECT_EQ(storesAndSets, (std::vector<std::string>{"SteamAPI_ISteamUserStats_StoreStats",
                                                     "SteamAPI_ISteamUserStats_StoreStats", "SteamAPI_Shutdown"}))
      << "one store after the first change, one at exit";
  const std::vector<std::string> names = run.Names();
  const auto firstSet = std::find(names.begin(), names.end(), "SteamAPI_ISteamUserStats_SetStatInt32");
  ASSERT_NE(firstSet, names.end());
  EXPECT_EQ(*(firstSet + 1), "SteamAPI_ISteamUserStats_StoreStats");
  EXPECT_EQ(run.Calls("SteamAPI_ISteamUserStats_SetStatInt32").back(), json::parse(R"(["kills", 100])"));
}

TEST_F(SteamTest, LeaderboardsAreFoundCreatedUploadedAndDownloadedWith64BitIdsIntact) {
  UseSteamApi("sdk165");
  // Requests that need the board's handle wait for the find's answer.
  json steps = {Steam("find-leaderboard", {"Top", false, "descending", "numeric"}, 0),
                Steam("find-leaderboard", {"Fastest", true, "ascending", "milliseconds"}, 1),
                Steam("find-leaderboard", {"Missing", false, "descending", "numeric"}, 2),
                Step("await", {{"event", "post-json"}, {"count", 3}}),
                Steam("upload-score", {kBoard, 950, true, "[1, -2, 2147483647]"}, 3),
                Steam("download-scores", {kBoard, "global", 1, 10}, 4),
                Steam("download-scores", {kBoard, "user", -4, 5}, 5),
                Step("await", {{"event", "post-json"}, {"count", 6}}),
                Step("end")};
  const SteamRun run = Run(steps);
  ExpectCleanRun(run.run);
  EXPECT_EQ(run.answers.at(0), json({{"ok", true}, {"board", kBoard}}));
  EXPECT_EQ(run.answers.at(1), json({{"ok", true}, {"board", "841540765103423489"}})) << "0x0BADC0DE00000001";
  EXPECT_EQ(run.answers.at(2), json::parse(R"({"ok": true, "board": null})"));
  EXPECT_EQ(run.answers.at(3), json::parse(R"({"ok": true, "changed": true, "rank": 3, "previousRank": 7})"));
  EXPECT_EQ(run.Calls("SteamAPI_ISteamUserStats_FindOrCreateLeaderboard"),
            std::vector<json>{json::parse(R"(["Fastest", 1, 3])")});
  EXPECT_EQ(run.Calls("SteamAPI_ISteamUserStats_UploadLeaderboardScore"),
            std::vector<json>{json({kBoard, 2, 950, {1, -2, 2147483647}, 3})});
  const json entries = json::parse(
      R"([{"rank": 1, "score": 900, "steamId": "76561198000000001", "name": "Bo", "details": [7, -8]},
          {"rank": 2, "score": 850, "steamId": "76561198999999999", "name": null, "details": []}])");
  EXPECT_EQ(json::parse(run.answers.at(4).value("entries", "null")), entries);
  EXPECT_EQ(json::parse(run.answers.at(5).value("entries", "null")), entries);
  EXPECT_EQ(run.Calls("SteamAPI_ISteamUserStats_DownloadLeaderboardEntries"),
            (std::vector<json>{json({kBoard, 0, 1, 10}), json({kBoard, 1, -4, 5})}));
}

TEST_F(SteamTest, PresenceIdentityEnvironmentAndTheOverlayEventReachThePage) {
  UseSteamApi("sdk165");
  json scenario = Scenario();
  scenario["gamepadText"] = "Zo\u00eb";
  const SteamRun run = Ask({{"set-rich-presence", {"status", "In the menu"}},
                            {"clear-rich-presence", json::array()},
                            {"persona-name", json::array()},
                            {"steam-id", json::array()},
                            {"language", json::array()},
                            {"is-steam-deck", json::array()},
                            {"is-big-picture", json::array()},
                            {"app-id", json::array()},
                            {"is-dlc-installed", {1234}},
                            {"open-web-page", {"https://example.com/"}},
                            {"show-gamepad-text-input", {"Your name", 32, "Ann", false, true}},
                            {"status", json::array()}},
                           scenario, 2);
  EXPECT_EQ(run.answers.at(2), json({{"ok", true}, {"name", "Ann \u00e9"}}));
  EXPECT_EQ(run.answers.at(3), json({{"ok", true}, {"steamId", kSecondId}}));
  EXPECT_EQ(run.answers.at(4), json({{"ok", true}, {"language", "french"}}));
  EXPECT_EQ(run.answers.at(5), json({{"ok", true}, {"deck", true}})) << "from the 1.65a hardware type";
  EXPECT_EQ(run.answers.at(6), json({{"ok", true}, {"bigPicture", false}}));
  EXPECT_EQ(run.answers.at(7), json({{"ok", true}, {"appId", 480}}));
  EXPECT_EQ(run.answers.at(8), json({{"ok", true}, {"installed", false}}));
  EXPECT_EQ(run.answers.at(10), json({{"ok", true}, {"submitted", true}, {"text", "Zo\u00eb"}}))
      << "the text typed on the gamepad keyboard, fetched when Steam said it was dismissed";
  EXPECT_EQ(run.Calls("SteamAPI_ISteamUtils_ShowGamepadTextInput"),
            std::vector<json>{json::parse(R"([0, 1, "Your name", 32, "Ann"])")});
  EXPECT_EQ(run.Calls("SteamAPI_ISteamFriends_SetRichPresence"),
            std::vector<json>{json::parse(R"(["status", "In the menu"])")});
  EXPECT_EQ(run.Calls("SteamAPI_ISteamFriends_ActivateGameOverlayToWebPage"),
            std::vector<json>{json::parse(R"(["https://example.com/", 0])")});
  EXPECT_EQ(run.events, (std::vector<json>{json::parse(R"({"ok": true, "active": true})"),
                                           json::parse(R"({"ok": true, "active": false})")}))
      << "the overlay's callbacks reached the page, opened and closed";
}

TEST_F(SteamTest, AnOlderSdksDllIsStartedWithItsOwnInitAndAccessors) {
  UseSteamApi("sdk157");
  const SteamRun run = Ask({{"status", json::array()}, {"is-steam-deck", json::array()}, {"unlock", {"ACH_WIN"}}});
  EXPECT_EQ(run.answers.at(0)["available"], true);
  EXPECT_EQ(run.answers.at(1), json({{"ok", true}, {"deck", true}})) << "from IsSteamRunningOnSteamDeck";
  EXPECT_EQ(run.Calls("SteamAPI_Init").size(), 1u);
  EXPECT_EQ(run.Calls("SteamAPI_ISteamUserStats_RequestCurrentStats").size(), 1u) << "stats before SDK 1.61";
}

TEST_F(SteamTest, WithoutSteamTheGameRunsOnAndEveryCallSaysWhy) {
  const std::string api = SteamApiName();
  const std::string folder = Wide() ? "redistributable_bin\\win64" : "redistributable_bin";
  struct Case {
    std::string what;
    std::function<void()> setUp;
    json scenario;
    std::string reason;
  };
  // The other build's stand-in: a real DLL of the other width, which every
  // machine that runs these tests has built.
  const fs::path otherWidth = WinBuildDir().parent_path() / (Wide() ? "win32" : "win64") / "tests" / "steam_api" /
                              "sdk165" / (Wide() ? "steam_api.dll" : "steam_api64.dll");
  json noSteam = Scenario(), oldClient = Scenario(), generic = Scenario();
  noSteam["init"] = 2;
  noSteam["message"] = "No running instance of Steam was found";
  oldClient["init"] = 3;
  generic["init"] = 1;
  const std::vector<Case> cases = {
      {"no DLL", [] {}, Scenario(),
       api + " is not beside kiln.exe: copy it there from the Steamworks SDK's " + folder +
           " folder (Kiln does not ship it)"},
      {"wrong architecture", [&] { app_.CopyFrom(otherWidth, api); }, Scenario(),
       api + " beside kiln.exe is not a " + (Wide() ? "64" : "32") + "-bit DLL: this kiln.exe is " +
           (Wide() ? "64" : "32") + "-bit, so copy the DLL from the Steamworks SDK's " + folder + " folder"},
      {"Steam not running", [&] { UseSteamApi("sdk165"); }, noSteam,
       "Steam is not running, or this user cannot reach it: start Steam (as the same Windows user, without "
       "administrator rights) and launch the game from it (Steam says: No running instance of Steam was found)"},
      {"old client", [&] { UseSteamApi("sdk165"); }, oldClient,
       "the Steam client is older than " + api + ": let Steam update itself and restart it"},
      {"refused", [&] { UseSteamApi("sdk165"); }, generic,
       "Steam refused to start the game's connection: check the app id (steam_appid.txt while developing) and "
       "that this Steam user owns the app"},
      {"missing export", [&] { UseSteamApi("broken"); }, Scenario(),
       api + " has no export SteamAPI_ISteamUserStats_GetDownloadedLeaderboardEntry, which Kiln needs: it is "
             "damaged or not Valve's; use the DLL from the Steamworks SDK (1.48 or newer)"},
      {"SDK before 1.48", [&] { UseSteamApi("sdk147"); }, Scenario(),
       api + " is from a Steamworks SDK older than 1.48, which Kiln does not support: use the DLL of SDK 1.48 or "
             "newer"},
  };
  for (const Case& c : cases) {
    fs::remove(app_.Path(api));
    c.setUp();
    SteamRun run = Ask({{"status", json::array()}, {"unlock", {"ACH_WIN"}}, {"download-scores", {kBoard, "global", 1, 10}}},
                             c.scenario);
    EXPECT_EQ(run.answers[0], json({{"ok", true}, {"available", false}, {"reason", c.reason}})) << c.what;
    EXPECT_EQ(run.answers[1], json({{"ok", false}, {"error", c.reason}})) << c.what;
    EXPECT_EQ(run.answers[2], json({{"ok", false}, {"error", c.reason}})) << c.what;
    EXPECT_TRUE(run.run.run.Window().has_value()) << c.what << ": the game's window came up";
    EXPECT_EQ(run.Calls("SteamAPI_ManualDispatch_Init").size(), 0u) << c.what;
  }
}

TEST_F(SteamTest, WhenSteamRestartsTheGameKilnEndsWithZeroBeforeAnyWindow) {
  UseSteamApi("sdk165");
  json scenario = Scenario();
  scenario["restart"] = true;
  const SteamRun run = Run(json::array({Step("end")}), scenario);
  EXPECT_EQ(run.run.run.ExitCode(), 0);
  EXPECT_FALSE(run.run.run.Window().has_value()) << "no window was made";
  EXPECT_EQ(run.Names(), std::vector<std::string>{"SteamAPI_RestartAppIfNecessary"});
  EXPECT_EQ(run.Calls("SteamAPI_RestartAppIfNecessary"), std::vector<json>{json::array({480})});

  // With steam_appid.txt (while developing) Steam is not asked.
  app_.WriteFile("steam_appid.txt", "480");
  const SteamRun developing = Ask({{"status", json::array()}}, scenario);
  EXPECT_EQ(developing.answers.at(0)["available"], true);
  EXPECT_TRUE(developing.Calls("SteamAPI_RestartAppIfNecessary").empty());
}

// kiln.js's Kiln.steam in a real page, in Chromium.
TEST_F(SteamTest, APageUsesKilnSteamThroughKilnJs) {
  const std::string whyNot = WhyNoChromium();
  if (!whyNot.empty()) GTEST_SKIP() << "no browser for this test: " << whyNot;
  UseSteamApi("sdk165");
  InstallChromiumRuntime(app_);
  app_.CopyFrom(fs::path(KILN_SOURCE_DIR) / "sdk" / "kiln.js", "www/kiln.js");
  app_.WriteFile("www/index.html", R"(<!doctype html><html><head><meta charset="utf-8">
<script src="kiln.js"></script></head><body>Steam</body></html>)");
  const char* script = R"((async () => {
    const overlay = [];
    Kiln.steam.on('overlay-activated', (active) => overlay.push(active));
    const state = await Kiln.steam.ready;
    await Kiln.steam.unlock('ACH_WIN');
    const list = await Kiln.steam.list();
    const board = await Kiln.steam.findLeaderboard('Top');
    const upload = await Kiln.steam.uploadScore(board, 950, {details: [1, 2]});
    const top = await Kiln.steam.downloadScores(board);
    await Kiln.steam.openWebPage('https://example.com/');
    await new Promise((resolve) => setTimeout(resolve, 500));
    return {state, list, board, upload, ids: top.map((e) => e.steamId), name: await Kiln.steam.personaName(),
            id: await Kiln.steam.steamId(), overlay, unknown: await Kiln.steam.unlock('NOPE').catch((e) => e.message)};
  })())";
  const SteamRun run = Run({Step("await", {{"event", "dom-content-loaded"}}),
                            Step("evaluate", {{"label", "steam"}, {"expression", script}}),
                            Step("await", {{"event", "evaluated"}}), Step("end")},
                           Scenario(), false);
  ExpectCleanRun(run.run);
  json value;
  for (const json& line : run.run.Events("evaluated")) value = line.value("value", json());
  EXPECT_EQ(value["state"], json::parse(R"({"available": true, "reason": null})"));
  EXPECT_EQ(value["board"], kBoard);
  EXPECT_EQ(value["ids"], json::array({kFirstId, kSecondId}));
  EXPECT_EQ(value["upload"], json::parse(R"({"changed": true, "rank": 3, "previousRank": 7})"));
  EXPECT_EQ(value["id"], kSecondId);
  EXPECT_EQ(value["overlay"], json::array({true, false}));
  EXPECT_EQ(value["unknown"], "Steam refused to unlock \"NOPE\": is it an achievement of this app?");
}

}  // namespace
}  // namespace kiln::testing

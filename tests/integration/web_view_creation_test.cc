// Web view creation through the real kiln.exe and the stand-in runtime: what
// Kiln asks of the runtime, in which order, and how it copes when creation
// fails.
#include <gtest/gtest.h>

#include "stand_in.h"

namespace kiln::testing {
namespace {

constexpr char kCreationFailedText[] =
    "Failed to start the WebView2 control. Check that the Microsoft Edge WebView2 runtime is "
    "installed correctly, then run the app again.";

// A fixed-mode app with the stand-in beside it; package patches the defaults.
StandInRun RunApp(const json& package, const json& scenario, const std::string& variant = "") {
  TestApp app(CurrentTestName() + variant);
  json config = {{"name", "kiln-creation"}, {"settings", {{"distribution-mode", "fixed"}}}};
  config.merge_patch(package);
  app.WritePackageJson(config.dump());
  InstallFixedRuntime(app);
  return RunWithStandIn(app, scenario);
}

const json kEnd = {{"steps", {{{"do", "end"}}}}};

// The kinds of the lines from the controller's arrival to the first
// navigation, with the handler name or filter text where there is one.
std::vector<std::string> ControllerSteps(const StandInRun& run) {
  std::vector<std::string> steps;
  bool started = false;
  for (const json& line : run.transcript) {
    const std::string event = line["event"];
    if (event == "create-controller") started = true;
    if (!started || event == "create-controller") continue;
    if (event == "setting") {
      steps.push_back("setting " + line["name"].get<std::string>() + "=" +
                      (line["value"].get<bool>() ? "true" : "false"));
    } else if (event == "add-handler") {
      steps.push_back("handler " + line["name"].get<std::string>());
    } else if (event == "filter") {
      steps.push_back("filter " + line["uri"].get<std::string>() + " " +
                      std::to_string(line["context"].get<int>()));
    } else if (event == "bounds") {
      steps.push_back("bounds");
    } else if (event == "navigate") {
      steps.push_back("navigate " + line["uri"].get<std::string>());
      break;
    }
  }
  return steps;
}

TEST(WebViewCreation, OptionsCarryTheChromiumArgumentsAndTheSdkTargetVersion) {
  const StandInRun withArgs =
      RunApp({{"chromium-args", "--disable-gpu --lang=fr"}}, kEnd, "WithArguments");
  ExpectCleanRun(withArgs);
  const json created = withArgs.First("create-environment");
  EXPECT_EQ(created["flag"], true);
  EXPECT_EQ(created["runtimeType"], 1) << "a fixed runtime";
  EXPECT_EQ(created["options"]["additionalBrowserArguments"], "--disable-gpu --lang=fr");
  EXPECT_EQ(created["options"]["targetCompatibleBrowserVersion"], "118.0.2088.41");
  EXPECT_EQ(created["options"]["language"], "");
  EXPECT_EQ(created["options"]["allowSingleSignOnUsingOSPrimaryAccount"], false);
  EXPECT_EQ(withArgs.run.ExitCode(), 0);

  const StandInRun without = RunApp(json::object(), kEnd, "Without");
  EXPECT_EQ(without.First("create-environment")["options"]["additionalBrowserArguments"], "")
      << "absent chromium-args still pass an empty string";
}

TEST(WebViewCreation, UserDataFolderIsTheLocalAppDataFolderAndTheNameAsAFolderName) {
  const StandInRun run = RunApp({{"name", "Studio\\Caf\u00e9 Game 2"}}, kEnd);
  ExpectCleanRun(run);
  const std::string folder = run.First("create-environment")["userDataFolder"];
  const std::string tail = "\\AppData\\Local\\Studio_Caf\u00e9 Game 2";
  ASSERT_GT(folder.size(), tail.size());
  EXPECT_EQ(folder.substr(folder.size() - tail.size()), tail);
  EXPECT_EQ(folder.rfind("C:\\users\\", 0), 0u) << folder;
}

TEST(WebViewCreation, BundleModeAppliesSettingsBoundsAndHandlersInOrderThenNavigates) {
  const StandInRun run = RunApp(
      {{"window", {{"width", 800}, {"height", 600}}}, {"settings", {{"enable-devtools", false}}}},
      kEnd);
  ExpectCleanRun(run);
  const std::vector<std::string> expected = {
      "setting IsScriptEnabled=true",
      "setting AreHostObjectsAllowed=false",
      "setting AreDefaultScriptDialogsEnabled=true",
      "setting IsWebMessageEnabled=true",
      "setting IsZoomControlEnabled=false",
      "setting AreDefaultContextMenusEnabled=true",
      "setting AreDevToolsEnabled=false",
      "bounds",
      "handler DocumentTitleChanged",
      std::string("filter ") + kOrigin + "* 0",
      "handler WebResourceRequested",
      "handler NavigationStarting",
      "handler PermissionRequested",
      "handler ContainsFullScreenElementChanged",
      "handler WindowCloseRequested",
      "handler NewWindowRequested",
      "handler WebMessageReceived",
      "handler DOMContentLoaded",
      "handler AcceleratorKeyPressed",
      std::string("navigate ") + kOrigin + "index.html",
  };
  EXPECT_EQ(ControllerSteps(run), expected);
  EXPECT_EQ(run.First("bounds")["rect"], json::array({0, 0, 800, 600}))
      << "the client rectangle when the controller arrives";
  for (const json& handler : run.Events("add-handler")) {
    EXPECT_EQ(handler["token"], true) << "a place for the token is passed";
  }
}

TEST(WebViewCreation, RemoteModeRegistersNoFilterNoResourceAndNoNavigationHandler) {
  const StandInRun run = RunApp(
      {{"main", "https://Games.example.com/Play?level=1"}, {"settings", {{"content-mode", "remote"}}}},
      kEnd);
  ExpectCleanRun(run);
  const std::vector<std::string> expected = {
      "setting IsScriptEnabled=true",
      "setting AreHostObjectsAllowed=false",
      "setting AreDefaultScriptDialogsEnabled=true",
      "setting IsWebMessageEnabled=true",
      "setting IsZoomControlEnabled=false",
      "setting AreDefaultContextMenusEnabled=true",
      "setting AreDevToolsEnabled=true",
      "bounds",
      "handler DocumentTitleChanged",
      "handler PermissionRequested",
      "handler ContainsFullScreenElementChanged",
      "handler WindowCloseRequested",
      "handler NewWindowRequested",
      "handler WebMessageReceived",
      "handler DOMContentLoaded",
      "handler AcceleratorKeyPressed",
      "navigate https://Games.example.com/Play?level=1",
  };
  EXPECT_EQ(ControllerSteps(run), expected);
  EXPECT_TRUE(run.Events("response").empty()) << "no local content in remote mode";
}

TEST(WebViewCreation, FirstPageIsMainUnderTheOrigin) {
  const StandInRun byDefault = RunApp(json::object(), kEnd, "Default");
  EXPECT_EQ(byDefault.First("navigate")["uri"], std::string(kOrigin) + "index.html");
  // This app has no www folder: the start page is answered "not found",
  // never left hanging.
  const json response = byDefault.First("response");
  EXPECT_EQ(response["uri"], std::string(kOrigin) + "index.html");
  EXPECT_EQ(response["status"], 404);
  EXPECT_EQ(response["reason"], "Not Found");
  EXPECT_EQ(response["headers"], json::array({"Cache-Control: no-store"}));
  EXPECT_EQ(response["body"], "File not found");

  const StandInRun subfolder = RunApp({{"main", "levels/start page.html"}}, kEnd, "Subfolder");
  EXPECT_EQ(subfolder.First("navigate")["uri"], std::string(kOrigin) + "levels/start page.html");
  EXPECT_EQ(subfolder.First("navigation")["cancelled"], false);
}

TEST(WebViewCreation, EveryCreationFailureShowsTheErrorBoxAndExitsWithOne) {
  const json failures[] = {
      {{"environment", "error"}}, {{"environment", "null"}}, {{"environment", "call-fails"}},
      {{"controller", "error"}},  {{"controller", "null"}},  {{"controller", "call-fails"}},
      {{"webView2", false}},
  };
  int index = 0;
  for (const json& failure : failures) {
    SCOPED_TRACE(failure.dump());
    // No step ends these runs: Kiln must end each itself.
    json scenario = failure;
    scenario["steps"] = json::array();
    const StandInRun run =
        RunApp({{"window", {{"title", "Broken Game"}}}}, scenario, std::to_string(index++));
    ASSERT_FALSE(run.run.TimedOut());
    const std::vector<json> dialogs = run.run.Dialogs();
    ASSERT_EQ(dialogs.size(), 1u);
    EXPECT_EQ(dialogs[0]["caption"], "Broken Game");
    EXPECT_EQ(dialogs[0]["text"], kCreationFailedText);
    EXPECT_EQ(dialogs[0]["icon"], "error");
    EXPECT_EQ(run.run.ExitCode(), 1);
    EXPECT_TRUE(run.Events("navigate").empty());
    EXPECT_TRUE(run.Events("visible").empty()) << "the window is never shown";
    ExpectCleanRun(run, false);
  }
}

TEST(WebViewCreation, WebViewWithoutTheSecondInterfaceIsReleasedCleanly) {
  const StandInRun run = RunApp({{"window", {{"title", "Old Runtime"}}}},
                                {{"webView2", false}, {"steps", json::array()}});
  EXPECT_EQ(run.run.ExitCode(), 1);
  ExpectCleanRun(run);
}

}  // namespace
}  // namespace kiln::testing

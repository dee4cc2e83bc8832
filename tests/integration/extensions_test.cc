// Extension DLLs in the real kiln.exe under Wine: which are loaded, what they
// are told and when, and the page's messages to them and theirs to the page.
// The extensions are copies of the recorder (tests/extensions), configured by
// "<tag>.ext.json" and logging to "extensions.log" in the app folder.
#include <algorithm>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "page_steps.h"

namespace kiln::testing {
namespace {

using Lines = std::vector<std::string>;

class ExtensionsTest : public ::testing::Test {
 protected:
  ExtensionsTest() : app_(CurrentTestName()) {
    app_.WritePackageJson(
        json({{"name", "kiln-extensions"}, {"settings", {{"distribution-mode", "fixed"}}}}).dump());
    InstallFixedRuntime(app_);
  }

  // Copies the recorder in as "<tag>.ext.dll", configured by config.
  void AddRecorder(const std::string& tag, const json& config = json::object()) {
    AddRecorderAs(tag + ".ext.dll", config);
  }
  void AddRecorderAs(const std::string& file, const json& config) { AddRecorderExtension(app_, file, config); }

  StandInRun Run(const json& steps) { return RunWithStandIn(app_, {{"steps", steps}}); }

  Lines Log() const {
    std::istringstream text(ReadFile(app_.Path("extensions.log")));
    Lines lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line);
    return lines;
  }

  TestApp app_;
};

size_t IndexOf(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) - lines.begin();
}

bool Contains(const Lines& lines, const std::string& line) { return IndexOf(lines, line) < lines.size(); }

Lines Matching(const Lines& lines, const std::string& part) {
  Lines found;
  for (const std::string& line : lines) {
    if (line.find(part) != std::string::npos) found.push_back(line);
  }
  return found;
}

// The messages the extensions posted to the page, parsed, by message id.
json PostedByMessageId(const StandInRun& run, const std::string& messageId) {
  for (const std::string& text : PostedTexts(run)) {
    const json message = json::parse(text);
    if (message.value("messageId", "") == messageId) return message;
  }
  ADD_FAILURE() << "nothing posted as " << messageId;
  return json::object();
}

std::string PostedTextOf(const StandInRun& run, const std::string& messageId) {
  for (const std::string& text : PostedTexts(run)) {
    if (json::parse(text).value("messageId", "") == messageId) return text;
  }
  ADD_FAILURE() << "nothing posted as " << messageId;
  return std::string();
}

TEST_F(ExtensionsTest, PageMessagesReachTheOwnerConvertedAndDropTheMalformed) {
  AddRecorder("conv", {{"ids", {"conv"}}});
  const StandInRun run = Run({
      Step("dom-content-loaded"),
      Post(ExtensionMessage("conv", "echo",
                            {42.5, "Caf\u00e9 \u2713", true, false, nullptr, {1, {2}}, {{"k", 1}}},
                            7)),
      Post(ExtensionMessage("conv", "echo", json::array(), 2.5)),
      Post(ExtensionMessage("conv", "params-object", {{"a", 1}})),
      Post({{"type", "extension-message"}, {"componentId", "conv"}, {"messageId", "no-params"}}),
      Post(ExtensionMessage("unknown", "unknown-id")),
      Post(ExtensionMessage("Conv", "other-case-id")),
      Post(ExtensionMessage("", "empty-id")),
      Post(ExtensionMessage("conv", "")),
      Post({{"type", "extension-message"}, {"componentId", 7}, {"messageId", "number-id"}, {"params", json::array()}}),
      Post(ExtensionMessage("conv", "async-missing")),
      Post(ExtensionMessage("conv", "async-text", json::array(), "7")),
      Post(ExtensionMessage("conv", "async-integer", json::array(), 7)),
      Post(ExtensionMessage("conv", "async-negative", json::array(), -3.75)),
      Step("end"),
  });
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0);

  EXPECT_EQ(Matching(Log(), "OnWebMessage"),
            (Lines{"conv OnWebMessage echo 7 7.000000 Number:42.500000 String:Caf\u00e9 \u2713 "
                   "Boolean:1.000000 Boolean:0.000000 Other:3 Other:3 Other:3",
                   "conv OnWebMessage echo 0 2.500000 null",
                   "conv OnWebMessage async-missing 0 -1.000000 null",
                   "conv OnWebMessage async-text 0 -1.000000 null",
                   "conv OnWebMessage async-integer 0 7.000000 null",
                   "conv OnWebMessage async-negative 0 -3.750000 null"}));
  // The answers went back with what the extension passed, compact and with
  // member names in ascending byte order.
  EXPECT_EQ(PostedTexts(run),
            (Lines{R"({"asyncId":7.0,"componentId":"conv","messageId":"echo","params":{"0":42.5,)"
                   "\"1\":\"Caf\u00e9 \u2713\","
                   R"("2":true,"3":false,"4":null,"5":null,"6":null},"type":"extension-message"})",
                   R"({"asyncId":2.5,"componentId":"conv","messageId":"echo","params":{},)"
                   R"("type":"extension-message"})"}));
}

TEST_F(ExtensionsTest, ExtensionMessagesReachThePageAsTheServicesPromise) {
  AddRecorder("conv", {{"ids", {"conv"}}});
  AddRecorder("multi", {{"ids", {"first", "second"}}});
  AddRecorder("silent", {{"shareApplication", "silent-app"}});
  const auto send = [](const json& params, int asyncId) {
    return Post(ExtensionMessage("conv", "send", params, asyncId));
  };
  const StandInRun run = Run({
      Step("dom-content-loaded"),
      send({"repeated", "a", 1, 1, "a", 1, 2, "b", 2, "x", "b", 1, 3}, 11),
      send({"booleans", "half", 0, 0.5, "two", 0, 2, "zero", 0, 0, "nan", 0, "nan", "minus", 0, -1},
           12),
      send({"numbers", "nan", 1, "nan", "inf", 1, "inf", "ninf", 1, "-inf", "quarter", 1, 3.25}, 13),
      send({"types", "seven", 7, 1, "nine", 9, 1, "other", 3, 5, "text", 2, "x"}, 14),
      send({"nothing"}, 15),
      send({"order", "b", 1, 1, "B", 1, 2, "a", 1, 3, "\u00e9", 1, 4, "aa", 1, 5, "", 1, 6}, 16),
      Post(ExtensionMessage("first", "send", {"from-first"}, 21)),
      Post(ExtensionMessage("second", "send", {"from-second"}, 22)),
      Post(ExtensionMessage("conv", "send-via", {"silent-app", "from-silent", "k", 2, "v"}, 23)),
      Post(ExtensionMessage("conv", "folders", json::array(), 31)),
      Step("end"),
  });
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0);

  EXPECT_EQ(PostedTextOf(run, "repeated"),
            R"({"asyncId":11.0,"componentId":"conv","messageId":"repeated",)"
            R"("params":{"a":1.0,"b":"x"},"type":"extension-message"})")
      << "the first of repeated names wins";
  EXPECT_EQ(PostedByMessageId(run, "booleans")["params"],
            json({{"half", true}, {"two", true}, {"zero", false}, {"nan", true}, {"minus", true}}));
  EXPECT_EQ(PostedByMessageId(run, "numbers")["params"],
            json({{"nan", nullptr}, {"inf", nullptr}, {"ninf", nullptr}, {"quarter", 3.25}}));
  EXPECT_EQ(PostedByMessageId(run, "types")["params"],
            json({{"seven", nullptr}, {"nine", nullptr}, {"other", nullptr}, {"text", "x"}}));
  EXPECT_EQ(PostedTextOf(run, "nothing"),
            R"({"asyncId":15.0,"componentId":"conv","messageId":"nothing","params":{},)"
            R"("type":"extension-message"})")
      << "count 0 with a null pointer";
  EXPECT_EQ(PostedTextOf(run, "order"),
            R"({"asyncId":16.0,"componentId":"conv","messageId":"order",)"
            "\"params\":{\"\":6.0,\"B\":2.0,\"a\":3.0,\"aa\":5.0,\"b\":1.0,\"\u00e9\":4.0},"
            R"("type":"extension-message"})");

  // Both ids reach the one extension; its messages carry the id it registered last.
  EXPECT_TRUE(Contains(Log(), "multi OnWebMessage send 1 21.000000 String:from-first"));
  EXPECT_TRUE(Contains(Log(), "multi OnWebMessage send 1 22.000000 String:from-second"));
  EXPECT_EQ(PostedByMessageId(run, "from-first")["componentId"], "second");
  EXPECT_EQ(PostedByMessageId(run, "from-second")["componentId"], "second");
  const json silent = PostedByMessageId(run, "from-silent");
  EXPECT_EQ(silent["componentId"], "") << "an extension that registered no id";
  EXPECT_EQ(silent["asyncId"], 23.0);
  EXPECT_EQ(silent["params"], json({{"k", "v"}}));

  const json folders = PostedByMessageId(run, "folders")["params"];
  const std::string appFolder = WinePath(app_.folder()) + "\\";
  EXPECT_EQ(folders["app"], appFolder) << "ends in a backslash";
  EXPECT_EQ(folders["content"], appFolder + "www\\");
  const std::string userData = folders["userData"];
  EXPECT_EQ(userData.substr(userData.find_last_of('\\') + 1), "kiln-extensions");
  for (const char* tag : {"conv", "multi", "silent"}) {
    EXPECT_TRUE(Contains(Log(), std::string(tag) + " WrapperExtInit content="))
        << tag << ": no content folder before the web view host exists";
  }
}

TEST_F(ExtensionsTest, SharedValuesAreSeenAcrossExtensionsUntilRemoved) {
  AddRecorder("one", {{"ids", {"one"}}});
  AddRecorder("two", {{"ids", {"two"}}});
  const StandInRun run = Run({
      Step("dom-content-loaded"),
      Post(ExtensionMessage("one", "share", {"key"})),
      Post(ExtensionMessage("two", "read-shared", {"key"}, 1)),
      Post(ExtensionMessage("two", "remove-shared", {"key"})),
      Post(ExtensionMessage("one", "read-shared", {"key"}, 2)),
      Post(ExtensionMessage("two", "remove-shared", {"key"})),
      Step("end"),
  });
  ExpectCleanRun(run);
  const Lines posted = PostedTexts(run);
  ASSERT_EQ(posted.size(), 2u);
  EXPECT_EQ(json::parse(posted[0])["params"], json({{"value", "one"}}));
  EXPECT_EQ(json::parse(posted[1])["params"], json({{"value", nullptr}}));
  EXPECT_EQ(run.run.ExitCode(), 0);
}

TEST_F(ExtensionsTest, AnExceptionLeavingOnWebMessageEndsOnlyThatMessage) {
  // Both builds stop what MSVC throws, the object it threw destroyed; the
  // 64-bit one also what GCC throws (see include/kiln/extension.h).
  const bool shipped = WinBuildDir().filename() == "win32";
  AddRecorder("thrower", {{"ids", {"thrower"}}});
  json steps = {
      Step("dom-content-loaded"),
      Step("snapshot", {{"label", "shown"}}),
      Post(ExtensionMessage("thrower", "throw-msvc")),
      Post(ExtensionMessage("thrower", "rethrow-msvc")),
  };
  if (!shipped) {
    steps.push_back(Post(ExtensionMessage("thrower", "throw")));
    steps.push_back(Post(ExtensionMessage("thrower", "throw-int")));
  }
  steps.push_back(Post(ExtensionMessage("thrower", "echo", {"still here"}, 5)));
  steps.push_back(Post({{"type", "wrapper-init"}}));
  steps.push_back(Step("end"));
  const StandInRun run = Run(steps);
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0);
  EXPECT_TRUE(run.run.Dialogs().empty());
  EXPECT_EQ(Snapshot(run, "shown")["visible"], true);
  std::vector<int> answers(shipped ? 2 : 4, 0);
  answers.insert(answers.end(), {1, 1});
  EXPECT_EQ(AnswersPerMessage(run), answers);
  // The exe's RtlUnwind behaved as Windows' own while it stopped them.
  if (shipped) {
    EXPECT_TRUE(Contains(Log(), "thrower RtlUnwind as on Windows"));
  }
  // Once: a rethrow does not name the object it carries on.
  const Lines log = Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "thrower thrown object destroyed"), 1);
  EXPECT_EQ(PostedByMessageId(run, "echo")["params"], json({{"0", "still here"}}));
  EXPECT_TRUE(Contains(log, "thrower Destroy"));
}

TEST_F(ExtensionsTest, AnExtensionMayShowAMessageBoxWhileItHandlesAMessage) {
  // The box comes up from Kiln's message loop, never inside WebView2's
  // handler, where the stand-in would record a nested message loop.
  AddRecorder("asker", {{"ids", {"asker"}}});
  const StandInRun run = Run({
      Step("dom-content-loaded"),
      Post(ExtensionMessage("asker", "message-box")),
      Post(ExtensionMessage("asker", "echo", {"after the box"}, 5)),
      // Until someone presses OK.
      Step("await", {{"event", "post-json"}}),
      Step("end"),
  });
  ExpectCleanRun(run);
  const std::vector<json> dialogs = run.run.Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["caption"], "Recorder");
  EXPECT_EQ(dialogs[0]["text"], "Save the game?");
  EXPECT_TRUE(Contains(Log(), "asker message box closed"));
  EXPECT_EQ(PostedByMessageId(run, "echo")["params"], json({{"0", "after the box"}}));
  EXPECT_EQ(run.run.ExitCode(), 0);
}

TEST_F(ExtensionsTest, ACrashInOnWebMessageIsNotSwallowed) {
  AddRecorder("faulty", {{"ids", {"faulty"}}});
  const StandInRun run = Run({
      Step("dom-content-loaded"),
      Post(ExtensionMessage("faulty", "fault")),
      Post(ExtensionMessage("faulty", "echo", {"too late"}, 5)),
      Step("end"),
  });
  ASSERT_FALSE(run.run.TimedOut());
  EXPECT_NE(run.run.ExitCode(), 0);
  EXPECT_EQ(AnswersPerMessage(run), std::vector<int>{0});
  EXPECT_FALSE(Contains(Log(), "faulty Destroy"));
}

TEST_F(ExtensionsTest, LoadingKeepsItsOrderAndSkipsWhatIsNoExtension) {
  AddRecorder("early", {{"ids", {"same", "early"}}, {"version", 2}});
  AddRecorder("late", {{"ids", {"same", "late"}}, {"versionInWindow", 2}});
  AddRecorder("plain", {{"ids", {"zeta", "Plain", ""}}});
  AddRecorder("refused", {{"ids", {"refused"}}, {"refuse", true}});
  AddRecorderAs("notext.dll", {{"ids", {"notext"}}});
  app_.CopyFrom(TestExtension("noentry.ext.dll"), "noentry.ext.dll");
  app_.WriteFile("junk.ext.dll", "MZ but not a DLL at all");
  app_.WriteFile("folder.ext.dll/inside.txt", "a folder named like an extension");
  const StandInRun run = Run({
      Step("dom-content-loaded"),
      Post({{"type", "wrapper-init"}}),
      Post(ExtensionMessage("same", "ping")),
      Post(ExtensionMessage("refused", "ping")),
      Step("end"),
  });
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0);
  EXPECT_TRUE(run.run.Dialogs().empty()) << "nothing is shown for what cannot be loaded";
  EXPECT_EQ(PostedTexts(run),
            Lines{R"({"registeredComponentIds":["","Plain","early","late","same","zeta"],)"
                  R"("type":"wrapper-init-response"})"})
      << "ascending byte order, the empty id first; no refused extension's ids";

  const Lines log = Log();
  for (const std::string& line : log) EXPECT_NE(line.rfind("notext ", 0), 0u) << line;
  // Load order is the file system's: read it from the log.
  Lines order;
  for (const std::string& line : Matching(log, " WrapperExtInit content=")) {
    const std::string tag = line.substr(0, line.find(' '));
    EXPECT_EQ(line, tag + " WrapperExtInit content=") << "no content folder yet";
    if (tag != "refused") order.push_back(tag);
  }
  ASSERT_EQ(order.size(), 3u);

  EXPECT_EQ(Matching(log, "OnExtensionsLoaded"), Lines{"early OnExtensionsLoaded"})
      << "only for version 2 set inside WrapperExtInit";
  const size_t loaded = IndexOf(log, "early OnExtensionsLoaded");
  size_t lastInit = 0;
  for (size_t i = 0; i < log.size(); ++i) {
    if (log[i].find(" WrapperExtInit ") != std::string::npos) lastInit = i;
  }
  EXPECT_LT(lastInit, loaded) << "after every extension has been loaded";
  Lines windowCreated;
  for (const std::string& tag : order) windowCreated.push_back(tag + " OnMainWindowCreated window");
  EXPECT_EQ(Matching(log, "OnMainWindowCreated"), windowCreated) << "in load order";
  EXPECT_LT(loaded, IndexOf(log, windowCreated.front()));

  // The first to register "same" keeps it and gets the page's message.
  const std::string owner = IndexOf(log, "early register same true") < log.size() ? "early" : "late";
  const std::string other = owner == "early" ? "late" : "early";
  EXPECT_TRUE(Contains(log, other + " register same false"));
  EXPECT_EQ(Matching(log, "OnWebMessage"), Lines{owner + " OnWebMessage ping 0 -1.000000 null"});

  // Refused: registered, declined, freed at once and never destroyed.
  EXPECT_LT(IndexOf(log, "refused register refused true"), IndexOf(log, "refused refusing"));
  EXPECT_LT(IndexOf(log, "refused refusing"), IndexOf(log, "refused unloaded"));
  EXPECT_FALSE(Contains(log, "refused Destroy"));
  // At the end each is destroyed, then its DLL freed, in load order.
  Lines tail;
  for (const std::string& tag : order) {
    tail.push_back(tag + " Destroy");
    tail.push_back(tag + " unloaded");
  }
  ASSERT_GE(log.size(), tail.size());
  EXPECT_EQ(Lines(log.end() - tail.size(), log.end()), tail);
}

TEST_F(ExtensionsTest, NoExtensionIsDestroyedAfterTheMainWindowFailed) {
  // The box keeps its fixed caption whatever title the app has.
  app_.WritePackageJson(json({{"name", "kiln-extensions"},
                              {"window", {{"title", "Vetoed Game"}}},
                              {"settings", {{"distribution-mode", "fixed"}}}})
                            .dump());
  AddRecorder("veto", {{"vetoMainWindow", true}});
  AddRecorder("bystander", {{"ids", {"bystander"}}, {"version", 2}});
  const StandInRun run = Run(json::array());
  ExpectCleanRun(run, false);
  const std::vector<json> dialogs = run.run.Dialogs();
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0]["text"], "Failed to create window");
  EXPECT_EQ(dialogs[0]["caption"], "Windows WebView2 wrapper");
  EXPECT_EQ(run.run.ExitCode(), 1);
  EXPECT_FALSE(run.run.Window());

  const Lines log = Log();
  EXPECT_TRUE(Contains(log, "veto vetoed the main window"));
  EXPECT_TRUE(Contains(log, "bystander OnExtensionsLoaded")) << "loading itself went on";
  EXPECT_TRUE(Matching(log, "OnMainWindowCreated").empty());
  EXPECT_TRUE(Matching(log, "Destroy").empty());
}

}  // namespace
}  // namespace kiln::testing

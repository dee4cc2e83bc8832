// saves.ext.dll in the real kiln.exe under Wine with the scripted stand-in:
// what it refuses, and what is left of the saves when kiln.exe is killed in
// the middle of writing them.
#include <signal.h>

#include <chrono>
#include <fstream>
#include <future>
#include <map>
#include <random>
#include <set>
#include <thread>

#include <gtest/gtest.h>

#include "page_steps.h"

namespace kiln::testing {
namespace {

constexpr char kAppName[] = "kiln-saves-test";

json Saves(const std::string& messageId, const json& params, int asyncId) {
  return Post(ExtensionMessage("kiln-saves", messageId, params, asyncId));
}

// The extension's answers by asyncId: messageId and params.
std::map<int, json> Answers(const StandInRun& run) {
  std::map<int, json> answers;
  for (const std::string& text : PostedTexts(run)) {
    const json message = json::parse(text);
    if (message.value("componentId", "") == "kiln-saves") {
      answers[message["asyncId"].get<int>()] = {{"messageId", message["messageId"]}, {"params", message["params"]}};
    }
  }
  return answers;
}

class SavesTest : public ::testing::Test {
 protected:
  SavesTest() : app_(CurrentTestName()) {
    app_.WritePackageJson(json({{"name", kAppName}, {"settings", {{"distribution-mode", "fixed"}}}}).dump());
    InstallFixedRuntime(app_);
    app_.CopyFrom(WinBuildDir() / "src" / "saves.ext.dll", "saves.ext.dll");
    fs::remove_all(LocalAppDataDir() / kAppName);
  }

  static fs::path Folder() { return LocalAppDataDir() / kAppName / "saves"; }

  // Every file in the saves folder with its bytes.
  static std::map<std::string, std::string> FolderContents() {
    std::map<std::string, std::string> files;
    std::error_code missing;
    for (const auto& entry : fs::directory_iterator(Folder(), missing)) {
      files[entry.path().filename().string()] = ReadFile(entry.path());
    }
    return files;
  }

  StandInRun Run(json steps, int timeoutMs = 20000) {
    steps.insert(steps.begin(), Step("dom-content-loaded"));
    RunOptions options;
    options.timeoutMs = timeoutMs;
    return RunWithStandIn(app_, {{"steps", steps}}, options);
  }

  // Runs kiln.exe once, the page asking each [messageId, params] in turn
  // with its index as asyncId; the answers by asyncId once all are in.
  std::map<int, json> Ask(const std::vector<json>& requests) {
    json steps = json::array();
    for (size_t i = 0; i < requests.size(); ++i) steps.push_back(Saves(requests[i][0], requests[i][1], i));
    steps.push_back(Step("await", {{"event", "post-json"}, {"count", requests.size()}}));
    steps.push_back(Step("end"));
    const StandInRun run = Run(steps);
    ExpectCleanRun(run);
    return Answers(run);
  }

  // Runs the steps and kills kiln.exe's Wine process, as a crash would end
  // it, afterMs after the page's answersBefore-th answer: counting answers
  // rather than time puts the kill in the middle of the writes on a fast
  // machine and a slow one alike.
  StandInRun RunKilled(const json& steps, int answersBefore, int afterMs) {
    const fs::path transcript = app_.Path("transcript.jsonl");
    fs::remove(transcript);
    auto running = std::async(std::launch::async, [&] { return Run(steps); });
    const auto answersSoFar = [&] {
      const std::string text = ReadFile(transcript);
      int count = 0;
      for (size_t at = text.find("\"post-json\""); at != std::string::npos; at = text.find("\"post-json\"", at + 1)) {
        ++count;
      }
      return count;
    };
    for (int wait = 0; wait < 15000 && answersSoFar() < answersBefore; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(afterMs));
    KillKiln();
    return running.get();
  }

  // Runs kill on kiln.exe's Wine process, as Windows may end it.
  void KillKiln() {
    const std::string exe = WinePath(app_.Path("kiln.exe"));
    for (const auto& process : fs::directory_iterator("/proc")) {
      const std::string command = ReadFile(process.path() / "cmdline");
      if (command.compare(0, exe.size() + 1, exe + '\0') == 0) kill(std::stoi(process.path().filename()), SIGKILL);
    }
  }

  // Until a line of kiln.exe's transcript holds text (at most 20 s).
  void AwaitTranscript(const std::string& text) {
    for (int wait = 0; wait < 2000 && ReadFile(app_.Path("transcript.jsonl")).find(text) == std::string::npos; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }

  // Another program (tests/tools/file_holder) holding the saves named open
  // for ms, with sharing "all" or "no-read"; the page's step AwaitHeld()
  // goes on once they are held. Its exit code, 0 when it held them all.
  std::future<int> Hold(const std::string& sharing, int ms, const std::vector<std::string>& saves) {
    fs::remove(HeldSignal());
    std::vector<std::string> arguments = {(WinBuildDir() / "tests" / "tools" / "file_holder.exe").string(), sharing,
                                          std::to_string(ms), WinePath(HeldSignal())};
    for (const std::string& save : saves) arguments.push_back(WinePath(Folder() / save));
    return std::async(std::launch::async, [arguments] { return RunWine(arguments); });
  }
  fs::path HeldSignal() const { return app_.Path("held"); }
  json AwaitHeld() const { return Step("await-file", {{"path", WinePath(HeldSignal())}}); }

  static void WriteSaveFile(const std::string& file, const std::string& bytes) {
    fs::create_directories(Folder());
    std::ofstream(Folder() / file, std::ios::binary) << bytes;
  }

  TestApp app_;
};

TEST_F(SavesTest, ASaveIsWrittenReadBackAndListedInOneRun) {
  const std::string text = "{\"level\": 3, \"name\": \"caf\u00e9 \U0001F600\"}";
  std::map<int, json> answers = Ask({{"write", {"slot-1", text}}, {"read", {"slot-1"}}, {"list", json::array()}});
  EXPECT_EQ(answers[0]["params"], json::parse(R"({"ok": true})"));
  EXPECT_EQ(answers[1]["params"], json({{"ok", true}, {"text", text}}));
  EXPECT_EQ(answers[2]["params"], json({{"ok", true}, {"names", "slot-1"}}));
  EXPECT_EQ(FolderContents(), (std::map<std::string, std::string>{{"slot-1", text}}));
}

TEST_F(SavesTest, HostileNamesAndSizesAreRefusedAndLeaveTheFolderUnchanged) {
  ASSERT_EQ(Ask({{"write", {"keep", "first"}}, {"write", {"keep", "second"}}})[1]["params"],
            json::parse(R"({"ok": true})"));
  // As many saves as an app may keep.
  for (int i = 0; i < 999; ++i) std::ofstream(Folder() / ("s" + std::to_string(i))) << i;
  const std::map<std::string, std::string> before = FolderContents();
  ASSERT_EQ(before.at("keep"), "second");
  ASSERT_EQ(before.at("keep.bak"), "first");

  const std::string characters = "a save's name holds only the letters A to Z and a to z, the digits, '-', '_' and '.'";
  const std::string device = "a save's name is not a Windows device name (CON, PRN, AUX, NUL, COM0 to COM9, "
                             "LPT0 to LPT9, with or without an extension)";
  const std::vector<std::pair<json, std::string>> hostile = {
      {{"write", {"../escape", "x"}}, characters},
      {{"write", {"..\\..\\escape", "x"}}, characters},
      {{"write", {"C:\\Windows\\x", "x"}}, characters},
      {{"write", {"keep:stream", "x"}}, characters},
      {{"write", {"caf\u00e9", "x"}}, characters},
      {{"write", {"", "x"}}, "a save's name is 1 to 64 characters long"},
      {{"write", {std::string(65, 'n'), "x"}}, "a save's name is 1 to 64 characters long"},
      {{"write", {".keep.tmp", "x"}}, "a save's name does not start with a dot"},
      {{"write", {"keep.", "x"}}, "a save's name does not end with a dot"},
      {{"write", {"keep.bak", "x"}},
       "a save's name does not end in \".bak\": that is where the previous version of a save is kept"},
      {{"write", {"CON", "x"}}, device},
      {{"write", {"lpt1.json", "x"}}, device},
      {{"write", {"keep", std::string((16u << 20) + 1, 'x')}},
       "a save holds at most 16 MiB (16777216 bytes of UTF-8); this one has 16777217"},
      {{"write", {"keep", 7}}, "\"write\" takes two strings: a name and a text"},
      {{"write", {"keep"}}, "\"write\" takes two strings: a name and a text"},
      {{"write", {"one-too-many", "x"}}, "an app keeps at most 1000 saves: remove one before writing a new one"},
      {{"remove", {"../keep"}}, characters},
      {{"remove", {nullptr}}, "\"remove\" takes one string: a name"},
      {{"read", {"NUL"}}, device},
      {{"list", {"x"}}, "\"list\" takes no parameters"},
      {{"format", json::array()}, "kiln-saves answers \"write\", \"read\", \"list\" and \"remove\", not \"format\""},
  };
  std::vector<json> requests;
  for (const auto& [request, error] : hostile) requests.push_back(request);
  std::map<int, json> answers = Ask(requests);
  for (size_t i = 0; i < hostile.size(); ++i) {
    EXPECT_EQ(answers[i]["messageId"], hostile[i].first[0]);
    EXPECT_EQ(answers[i]["params"], json({{"ok", false}, {"error", hostile[i].second}})) << hostile[i].first.dump();
  }
  EXPECT_TRUE(FolderContents() == before) << "nothing was written, moved or removed";
  EXPECT_FALSE(fs::exists(LocalAppDataDir() / "escape") || fs::exists(LocalAppDataDir() / kAppName / "escape"));
}

// Version v of a save: its length and filling follow from v, so that a cut
// or a mix of two versions shows.
std::string Version(const std::string& slot, int v) {
  std::string text = "{\"slot\": \"" + slot + "\", \"version\": " + std::to_string(v) + ", \"fill\": \"";
  text.append(100 + (v % 97) * 100, static_cast<char>('a' + v % 26));
  return text + "\"}";
}

int VersionIn(const std::string& text) {
  const json parsed = json::parse(text, nullptr, false);
  return parsed.is_object() ? parsed.value("version", -1) : -1;
}

TEST_F(SavesTest, KilledAtRandomMomentsWhileWritingEverySaveIsStillOneWholeVersion) {
  const std::vector<std::string> slots = {"slot-a", "slot-b", "slot-c"};
  constexpr int kKills = 50, kWritesPerRun = 60;
  std::map<std::string, std::set<int>> written;
  std::map<std::string, int> acknowledged;  // the last version each slot was told is on the disk
  std::mt19937 random(2026);
  int killedWhileWriting = 0;
  for (int kill = 0; kill < kKills; ++kill) {
    json steps = json::array();
    for (int i = 0; i < kWritesPerRun; ++i) {
      const int v = (kill + 1) * 1000 + i;
      const std::string& slot = slots[i % slots.size()];
      written[slot].insert(v);
      steps.push_back(Saves("write", {slot, Version(slot, v)}, v));
    }
    const StandInRun run = RunKilled(steps, std::uniform_int_distribution<int>(1, kWritesPerRun * 3 / 4)(random),
                                     std::uniform_int_distribution<int>(0, 4)(random));
    ASSERT_FALSE(run.run.TimedOut()) << "kiln.exe was killed";
    const std::map<int, json> answers = Answers(run);
    for (const auto& [v, answer] : answers) {
      ASSERT_EQ(answer["params"], json::parse(R"({"ok": true})")) << v;
      acknowledged[slots[(v % 1000) % slots.size()]] = v;
    }
    if (!answers.empty() && answers.size() < kWritesPerRun) ++killedWhileWriting;
  }
  EXPECT_GE(killedWhileWriting, kKills * 9 / 10) << "kills came between the first answer and the last";

  std::vector<json> reads;
  for (const std::string& slot : slots) reads.push_back({"read", {slot}});
  std::map<int, json> answers = Ask(reads);
  for (size_t i = 0; i < slots.size(); ++i) {
    const std::string& slot = slots[i];
    const json& params = answers[i]["params"];
    ASSERT_EQ(params["ok"], true) << slot << ": " << params.dump().substr(0, 200);
    const std::string text = params["text"];
    const int v = VersionIn(text);
    EXPECT_TRUE(written[slot].count(v)) << slot << " reads back as something never written: " << text.substr(0, 80);
    EXPECT_EQ(text, Version(slot, v)) << slot << " is one whole version";
    EXPECT_GE(v, acknowledged[slot]) << slot << ": a write answered as done was lost";
  }
  // What is on the disk beside them: whole versions too, or temporary files.
  for (const auto& [file, bytes] : FolderContents()) {
    if (file[0] == '.') continue;
    const std::string slot = file.substr(0, 6);
    EXPECT_EQ(bytes, Version(slot, VersionIn(bytes))) << file;
  }
}

TEST_F(SavesTest, WritesWaitWhileAnotherProgramHoldsTheSaveAndItsBackupThenSucceedInOrder) {
  WriteSaveFile("slot", "one");
  WriteSaveFile("slot.bak", "zero");
  // A scanner's way: everything shared, but Windows still refuses to
  // replace a file that is open.
  std::future<int> holder = Hold("all", 500, {"slot", "slot.bak"});
  const StandInRun run = Run({AwaitHeld(), Saves("write", {"slot", "two"}, 0), Saves("write", {"slot", "three"}, 1),
                              Step("await", {{"event", "post-json"}, {"count", 2}}), Step("end")});
  EXPECT_EQ(holder.get(), 0) << "the other program held both files";
  ExpectCleanRun(run);
  std::map<int, json> answers = Answers(run);
  EXPECT_EQ(answers[0]["params"], json::parse(R"({"ok": true})"));
  EXPECT_EQ(answers[1]["params"], json::parse(R"({"ok": true})"));
  EXPECT_EQ(FolderContents(), (std::map<std::string, std::string>{{"slot", "three"}, {"slot.bak", "two"}}));
}

TEST_F(SavesTest, ASaveThatIsThereButCannotBeReadIsAnErrorAndNeverItsBackup) {
  WriteSaveFile("held", "newer");
  WriteSaveFile("held.bak", "older");
  WriteSaveFile("edited", "caf\xE9");  // a player's editor saved it as Latin-1
  WriteSaveFile("edited.bak", "older");
  WriteSaveFile("gone.bak", "the only version");
  std::future<int> holder = Hold("no-read", 1000, {"held"});
  const StandInRun run = Run({AwaitHeld(), Saves("read", {"held"}, 0), Saves("read", {"edited"}, 1),
                              Saves("read", {"gone"}, 2), Step("await", {{"event", "post-json"}, {"count", 3}}),
                              Step("end")});
  EXPECT_EQ(holder.get(), 0);
  ExpectCleanRun(run);
  std::map<int, json> answers = Answers(run);
  EXPECT_EQ(answers[0]["params"],
            json({{"ok", false},
                  {"error", "cannot open the save: another program is using the file (Windows error 32)"}}));
  EXPECT_EQ(answers[1]["params"], json({{"ok", false}, {"error", "the save's file is not UTF-8 text"}}));
  EXPECT_EQ(answers[2]["params"], json({{"ok", true}, {"text", "the only version"}}))
      << "a save caught between a write's two moves is read from its backup";
}

TEST_F(SavesTest, AReadOnlySaveIsReplacedAndLeavesNothingReadOnlyBehind) {
  WriteSaveFile("slot", "one");
  WriteSaveFile("slot.bak", "zero");
  for (const char* file : {"slot", "slot.bak"}) {
    fs::permissions(Folder() / file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                    fs::perm_options::remove);  // what Windows sees as read-only under Wine
  }
  std::map<int, json> answers = Ask({{"write", {"slot", "two"}}, {"write", {"slot", "three"}}});
  EXPECT_EQ(answers[0]["params"], json::parse(R"({"ok": true})"));
  EXPECT_EQ(answers[1]["params"], json::parse(R"({"ok": true})"));
  EXPECT_EQ(FolderContents(), (std::map<std::string, std::string>{{"slot", "three"}, {"slot.bak", "two"}}));
  for (const char* file : {"slot", "slot.bak"}) {
    EXPECT_NE(fs::status(Folder() / file).permissions() & fs::perms::owner_write, fs::perms::none)
        << file << ": a read-only backup would fail every later write on Windows";
  }
}

TEST_F(SavesTest, EveryWriteQueuedWhenTheSessionEndsIsOnTheDisk) {
  WriteSaveFile("slot", Version("slot", 0));
  WriteSaveFile("slot.bak", "older");
  // Held long enough that the writes are still queued when the session
  // ends: the first of them waits for the backup to be let go.
  std::future<int> holder = Hold("all", 1500, {"slot.bak"});
  constexpr int kWrites = 20;
  json steps = {AwaitHeld()};
  for (int v = 1; v <= kWrites; ++v) steps.push_back(Saves("write", {"slot", Version("slot", v)}, v));
  steps.push_back(Step("snapshot", {{"label", "queued"}}));
  steps.push_back(Step("wait", {{"ms", 60000}}));
  fs::remove(app_.Path("transcript.jsonl"));
  auto running = std::async(std::launch::async, [&] { return Run(steps, 90000); });
  AwaitTranscript("\"queued\"");
  // Wine sends the end-session messages to every top-level window; once
  // they are answered Windows may end Kiln at any moment, as done here.
  RunWine({"wineboot", "--end-session"});
  KillKiln();
  const StandInRun run = running.get();
  EXPECT_EQ(holder.get(), 0);
  EXPECT_LT(Answers(run).size(), static_cast<size_t>(kWrites)) << "the session ended while writes were queued";
  EXPECT_EQ(FolderContents(), (std::map<std::string, std::string>{{"slot", Version("slot", kWrites)},
                                                                  {"slot.bak", Version("slot", kWrites - 1)}}));
}

}  // namespace
}  // namespace kiln::testing

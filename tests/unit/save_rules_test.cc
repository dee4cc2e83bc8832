#include "save_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace kiln::saves {
namespace {

TEST(SaveRulesTest, NamesOfSavesAreShortPlainAndNeverWhatWindowsTakesForSomethingElse) {
  const std::pair<std::string, std::string> cases[] = {
      // Accepted: empty error.
      {"slot1", ""},
      {"Auto-Save_2.json", ""},
      {"a", ""},
      {std::string(64, 'x'), ""},
      {"a.b.c", ""},
      {"console", ""},
      {"COM10", ""},
      {"con-tra.json", ""},
      {"x.bak1", ""},
      // Length.
      {"", "a save's name is 1 to 64 characters long"},
      {std::string(65, 'x'), "a save's name is 1 to 64 characters long"},
      // Characters.
      {"../escape", "a save's name holds only the letters A to Z and a to z, the digits, '-', '_' and '.'"},
      {"a/b", "a save's name holds only the letters A to Z and a to z, the digits, '-', '_' and '.'"},
      {"a\\b", "a save's name holds only the letters A to Z and a to z, the digits, '-', '_' and '.'"},
      {"a:b", "a save's name holds only the letters A to Z and a to z, the digits, '-', '_' and '.'"},
      {"two words", "a save's name holds only the letters A to Z and a to z, the digits, '-', '_' and '.'"},
      {"caf\xC3\xA9", "a save's name holds only the letters A to Z and a to z, the digits, '-', '_' and '.'"},
      {std::string("a\0b", 3), "a save's name holds only the letters A to Z and a to z, the digits, '-', '_' and '.'"},
      {"*", "a save's name holds only the letters A to Z and a to z, the digits, '-', '_' and '.'"},
      // Dots.
      {".hidden", "a save's name does not start with a dot"},
      {"..", "a save's name does not start with a dot"},
      {"slot.", "a save's name does not end with a dot"},
      {"slot.bak", "a save's name does not end in \".bak\": that is where the previous version of a save is kept"},
      {"slot.BaK", "a save's name does not end in \".bak\": that is where the previous version of a save is kept"},
      // Devices, in any case, with or without an extension.
      {"CON", "a save's name is not a Windows device name (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, "
              "with or without an extension)"},
      {"nul.json", "a save's name is not a Windows device name (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, "
                   "with or without an extension)"},
      {"Aux", "a save's name is not a Windows device name (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, "
              "with or without an extension)"},
      {"prn.a.b", "a save's name is not a Windows device name (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, "
                  "with or without an extension)"},
      {"com1", "a save's name is not a Windows device name (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, "
               "with or without an extension)"},
      {"LPT0.sav", "a save's name is not a Windows device name (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, "
                   "with or without an extension)"},
  };
  for (const auto& [name, error] : cases) EXPECT_EQ(NameError(name), error) << name;
}

ExtensionValue Text(const char* text) { return {ExtensionValueType::String, 0, text}; }
ExtensionValue Number(double number) { return {ExtensionValueType::Number, number, nullptr}; }

TEST(SaveRulesTest, RequestsTakeTheirParametersAsStringsOrAreAnsweredWithTheRule) {
  const std::string largest(kMaxSaveBytes, 'x'), tooLarge(kMaxSaveBytes + 1, 'x');
  struct Case {
    const char* messageId;
    std::vector<ExtensionValue> values;
    std::string error;  // empty: a request
    Operation operation;
  };
  const Case cases[] = {
      {"write", {Text("slot"), Text("{\"level\": 3}")}, "", Operation::Write},
      {"write", {Text("slot"), Text("")}, "", Operation::Write},
      {"write", {Text("slot"), Text(largest.c_str())}, "", Operation::Write},
      {"read", {Text("slot")}, "", Operation::Read},
      {"remove", {Text("slot")}, "", Operation::Remove},
      {"list", {}, "", Operation::List},
      {"write", {Text("slot")}, "\"write\" takes two strings: a name and a text", {}},
      {"write", {Text("slot"), Number(3)}, "\"write\" takes two strings: a name and a text", {}},
      {"write", {Text("slot"), Text("a"), Text("b")}, "\"write\" takes two strings: a name and a text", {}},
      {"read", {}, "\"read\" takes one string: a name", {}},
      {"read", {Number(1)}, "\"read\" takes one string: a name", {}},
      {"remove", {Text("a"), Text("b")}, "\"remove\" takes one string: a name", {}},
      {"list", {Text("a")}, "\"list\" takes no parameters", {}},
      {"delete", {Text("a")}, "kiln-saves answers \"write\", \"read\", \"list\" and \"remove\", not \"delete\"", {}},
      {"write", {Text("../x"), Text("a")},
       "a save's name holds only the letters A to Z and a to z, the digits, '-', '_' and '.'", {}},
      {"read", {Text("CON")},
       "a save's name is not a Windows device name (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9, "
       "with or without an extension)", {}},
      {"write", {Text("slot"), Text(tooLarge.c_str())},
       "a save holds at most 16 MiB (16777216 bytes of UTF-8); this one has 16777217", {}},
  };
  for (const Case& c : cases) {
    const Parsed parsed =
        ParseRequest(c.messageId, static_cast<int32_t>(c.values.size()), c.values.empty() ? nullptr : c.values.data());
    EXPECT_EQ(parsed.error, c.error) << c.messageId;
    ASSERT_EQ(parsed.request.has_value(), c.error.empty()) << c.messageId;
    if (!parsed.request) continue;
    EXPECT_EQ(parsed.request->operation, c.operation);
    if (!c.values.empty()) {
      EXPECT_EQ(parsed.request->name, c.values[0].text);
    }
    if (c.values.size() == 2) {
      EXPECT_EQ(parsed.request->text, c.values[1].text) << "copied whole";
    }
  }
}

TEST(SaveRulesTest, TheFolderListsEachSaveOnceWhetherItsFileOrOnlyItsBackupIsThere) {
  EXPECT_EQ(SaveNames({"b", "a", "a.bak", "c.bak", ".a.tmp", "CON", "x.bak.bak", "desktop.ini~", "Z"}),
            (std::vector<std::string>{"Z", "a", "b", "c"}));
  EXPECT_EQ(SaveNames({}), std::vector<std::string>{});
  EXPECT_EQ(BackupName("slot"), "slot.bak");
  EXPECT_EQ(TemporaryName("slot"), ".slot.tmp");
  EXPECT_NE(NameError(TemporaryName("slot")), "") << "no save can take a temporary file's name";
}

TEST(SaveRulesTest, TheThousandthSaveIsTheLastNewOneButEveryOneCanBeWrittenAgain) {
  std::vector<std::string> saves;
  for (size_t i = 0; i + 1 < kMaxSaves; ++i) saves.push_back("s" + std::to_string(i));
  EXPECT_EQ(CountError(saves, "new"), "");
  saves.push_back("Last");
  EXPECT_EQ(CountError(saves, "new"), "an app keeps at most 1000 saves: remove one before writing a new one");
  EXPECT_EQ(CountError(saves, "s7"), "");
  EXPECT_EQ(CountError(saves, "last"), "") << "Windows takes it for the same file";
}

TEST(SaveRulesTest, FilesAnotherProgramWroteAreGivenToThePageOnlyAsUtf8OfAllowedSize) {
  EXPECT_EQ(FileSizeError(kMaxSaveBytes), "");
  EXPECT_EQ(FileSizeError(kMaxSaveBytes + 1), "the save's file is larger than 16 MiB");
  EXPECT_EQ(TextError("{\"caf\xC3\xA9\": 1}"), "");
  EXPECT_EQ(TextError("caf\xE9"), "the save's file is not UTF-8 text");
}

TEST(SaveRulesTest, ReplacingAHeldFileIsTriedAgainWithGrowingPausesForTwoSecondsAtMost) {
  const struct {
    unsigned tries, waitedMs, pauseMs;
  } rows[] = {
      {0, 0, 10},      {1, 10, 20},     {2, 30, 40},      {4, 150, 160}, {5, 310, 200},
      {40, 1500, 200}, {30, 1900, 100}, {12, 1999, 1},    {9, 2000, 0},  {100, 5000, 0},
  };
  for (const auto& row : rows) {
    EXPECT_EQ(ReplaceRetryPauseMs(row.tries, row.waitedMs), row.pauseMs) << row.tries << " " << row.waitedMs;
  }
}

// Each value as the page will see it.
std::string Describe(const std::vector<NamedExtensionValue>& values) {
  std::string text;
  for (const NamedExtensionValue& value : values) {
    text += std::string(value.name) + "=";
    switch (value.value.type) {
      case ExtensionValueType::Boolean: text += value.value.number != 0 ? "true" : "false"; break;
      case ExtensionValueType::String: text += "'" + std::string(value.value.text) + "'"; break;
      case ExtensionValueType::Other: text += "null"; break;
      default: text += "?"; break;
    }
    text += " ";
  }
  return text;
}

TEST(SaveRulesTest, EachAnswerSaysOkAndWhatItsRequestAsksFor) {
  const auto answer = [](Operation operation) {
    Answer a;
    a.operation = operation;
    return a;
  };
  Answer failed = answer(Operation::Read), read = answer(Operation::Read), list = answer(Operation::List),
         empty = answer(Operation::List), removed = answer(Operation::Remove);
  failed.error = "no";
  read.text = "{}";
  list.names = {"a", "b"};
  removed.removed = true;
  const std::pair<Answer, std::string> cases[] = {
      {answer(Operation::Write), "ok=true "},
      {failed, "ok=false error='no' "},
      {answer(Operation::Read), "ok=true text=null "},
      {read, "ok=true text='{}' "},
      {list, "ok=true names='a\nb' "},
      {empty, "ok=true names='' "},
      {removed, "ok=true removed=true "},
      {answer(Operation::Remove), "ok=true removed=false "},
  };
  for (const auto& [a, expected] : cases) {
    std::string joined;
    EXPECT_EQ(Describe(AnswerValues(a, joined)), expected);
  }
}

}  // namespace
}  // namespace kiln::saves

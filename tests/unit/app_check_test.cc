// The checks over app folders that no disk holds: endless and huge ones, as
// a folder mounted inside itself or a generated asset tree would be.
#include "check/app_check.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>

#include "check/findings.h"
#include "check/kiln_exe.h"
#include "../common/tiny_pe.h"
#include "pack/kiln_exe_search.h"

namespace kiln {
namespace {

// An app folder in memory: files by path, the folders that hold them, names
// matched exactly.
class MemoryAppFolder : public AppFolder {
 public:
  MemoryAppFolder& File(const std::string& path, const std::string& bytes) {
    files_[path] = bytes;
    AddParents(path);
    return *this;
  }

  FileFacts Examine(const std::string& path) override {
    if (path.empty() || folders_.count(path)) return {true, true, 0};
    const auto file = files_.find(path);
    return file == files_.end() ? FileFacts{} : FileFacts{true, false, file->second.size()};
  }

  std::optional<std::vector<FolderEntry>> List(const std::string& path) override {
    if (!Examine(path).isFolder) return std::nullopt;
    const std::string prefix = path.empty() ? "" : path + "/";
    std::vector<FolderEntry> entries;
    for (const auto& [name, bytes] : files_) AddEntry(prefix, name, EntryKind::File, entries);
    for (const std::string& name : folders_) AddEntry(prefix, name, EntryKind::Folder, entries);
    return entries;
  }

  std::optional<std::string> Read(const std::string& path, uint64_t maxBytes) override {
    const auto file = files_.find(path);
    if (file == files_.end() || file->second.size() > maxBytes) return std::nullopt;
    return file->second;
  }

  std::string Identity(const std::string& path) override { return path; }

 private:
  void AddParents(std::string path) {
    for (size_t slash = path.rfind('/'); slash != std::string::npos; slash = path.rfind('/')) {
      path.resize(slash);
      folders_.insert(path);
    }
  }

  static void AddEntry(const std::string& prefix, const std::string& path, EntryKind kind,
                       std::vector<FolderEntry>& entries) {
    if (path.compare(0, prefix.size(), prefix) != 0 || path.size() == prefix.size()) return;
    const std::string name = path.substr(prefix.size());
    if (name.find('/') == std::string::npos) entries.push_back({name, kind});
  }

  std::map<std::string, std::string> files_;
  std::set<std::string> folders_;
};

MemoryAppFolder SmallApp() {
  MemoryAppFolder folder;
  folder.File("package.json", R"({"name": "game"})").File("www/index.html", "<p>");
  return folder;
}

std::vector<std::string> Lines(const Findings& findings) {
  std::vector<std::string> lines;
  for (const Finding& finding : findings.list()) {
    lines.push_back((finding.severity == Severity::Error ? "error: " : "warning: ") +
                    finding.where + ": " + finding.what);
  }
  return lines;
}

TEST(AppCheckTest, SmallAppHasNothingToReport) {
  MemoryAppFolder folder = SmallApp();
  EXPECT_EQ(Lines(CheckAppFolder(folder)), std::vector<std::string>{});
}

// What kiln-check says about Steam: an app id that is no app id, and the
// DLLs steam.ext.dll needs, judged like every DLL kiln.exe loads.
TEST(AppCheckTest, SteamsAppIdAndDllsAreChecked) {
  const auto steamLines = [](MemoryAppFolder& folder) {
    std::vector<std::string> lines;
    for (const std::string& line : Lines(CheckAppFolder(folder))) {
      if (line.find("steam") != std::string::npos) lines.push_back(line);
    }
    return lines;
  };
  MemoryAppFolder configured;
  configured.File("package.json", R"({"name": "game", "steam": {"app-id": 480}})").File("www/index.html", "<p>");
  EXPECT_EQ(steamLines(configured),
            (std::vector<std::string>{
                "warning: steam.ext.dll: is not beside kiln.exe, though package.json names a Steam app id: without "
                "it the page has no Kiln.steam",
                "warning: steam_api.dll: is not beside kiln.exe: copy it from the Steamworks SDK's "
                "redistributable_bin folder (Kiln does not ship it); without it Kiln.steam.available is false"}));

  MemoryAppFolder wrongId;
  wrongId.File("package.json", R"({"name": "game", "steam": {"app-id": "480"}})").File("www/index.html", "<p>");
  const std::vector<std::string> idLines = steamLines(wrongId);
  ASSERT_FALSE(idLines.empty());
  EXPECT_EQ(idLines[0], "error: package.json: steam.app-id must be the game's Steam app id, a whole number from 1 "
                        "to 4294967295; steam.ext.dll ignores it and cannot check that Steam started the game");

  MemoryAppFolder wide;
  wide.File("package.json", R"({"name": "game", "steam": {"app-id": 480}})")
      .File("www/index.html", "<p>")
      .File("steam_api.dll", testing::TinyPe({}, true));
  bool judged = false;
  for (const std::string& line : steamLines(wide)) {
    judged = judged || line.rfind("error: steam_api.dll: is ", 0) == 0;
  }
  EXPECT_TRUE(judged) << "a 64-bit steam_api.dll beside the 32-bit kiln.exe is an error";

  MemoryAppFolder plain = SmallApp();
  EXPECT_EQ(steamLines(plain), std::vector<std::string>{}) << "no Steam, no word of it";
}

// Every folder under www holds another: what a folder mounted inside itself
// looks like to anyone who does not know it, or a link that the system
// follows as if it were a folder. It may or may not say that each "loop"
// is www again.
class EndlessFolder final : public MemoryAppFolder {
 public:
  explicit EndlessFolder(bool knowsItself) : knowsItself_(knowsItself) {}
  std::string Identity(const std::string& path) override {
    return knowsItself_ && path.compare(0, 3, "www") == 0 ? "www" : path;
  }
  FileFacts Examine(const std::string& path) override {
    if (path.compare(0, 8, "www/loop") == 0) return {true, true, 0};
    return MemoryAppFolder::Examine(path);
  }
  std::optional<std::vector<FolderEntry>> List(const std::string& path) override {
    ++listed;
    if (path.compare(0, 3, "www") == 0) {
      auto entries = MemoryAppFolder::List(path).value_or(std::vector<FolderEntry>{});
      entries.push_back({"loop", EntryKind::Folder});
      return entries;
    }
    return MemoryAppFolder::List(path);
  }
  size_t listed = 0;

 private:
  bool knowsItself_;
};

TEST(AppCheckTest, EndlesslyDeepContentStopsWithOneWarning) {
  EndlessFolder folder(false);
  folder.File("package.json", R"({"name": "game"})").File("www/index.html", "<p>");
  const std::vector<std::string> lines = Lines(CheckAppFolder(folder));
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0].rfind("warning: www/loop/loop/", 0), 0u) << lines[0];
  EXPECT_NE(lines[0].find("lies 64 folders deep; what it holds was not checked"),
            std::string::npos)
      << lines[0];
  EXPECT_LT(folder.listed, 80u);
}

TEST(AppCheckTest, AFolderReachedAgainIsNotEnteredAgain) {
  EndlessFolder folder(true);
  folder.File("package.json", R"({"name": "game"})").File("www/index.html", "<p>");
  EXPECT_EQ(Lines(CheckAppFolder(folder)), std::vector<std::string>{});
  EXPECT_EQ(folder.listed, 2u) << "the app folder and www, once each";
}

// A folder with more entries than the walk takes.
class CrowdedFolder final : public MemoryAppFolder {
 public:
  std::optional<std::vector<FolderEntry>> List(const std::string& path) override {
    if (path != "www/crowd") return MemoryAppFolder::List(path);
    std::vector<FolderEntry> entries;
    for (int i = 0; i < 250000; ++i) {
      entries.push_back({"aux" + std::to_string(i), EntryKind::File});
    }
    return entries;
  }
};

TEST(AppCheckTest, HugeContentStopsWithOneWarning) {
  CrowdedFolder folder;
  folder.File("package.json", R"({"name": "game"})").File("www/index.html", "<p>");
  folder.File("www/crowd/aux0", "");
  const std::vector<std::string> lines = Lines(CheckAppFolder(folder));
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines.back(), "warning: www: holds more than 200000 entries; the rest was not checked");
  // "aux" alone is a device name; with digits after it the names are fine.
  EXPECT_EQ(lines.size(), 1u);
}

// Small images of either architecture: a DLL, a program, and a program that
// names what kiln.exe names.
std::string Image(bool wide, bool dll, const std::string& text = "") {
  std::string image = testing::TinyPe({{".rdata", text.empty() ? std::string(16, '\0') : text}}, wide);
  if (dll) testing::PutLe(image, 0x40 + 22, wide ? 0x2022 : 0x2102, 2);
  return image;
}
const std::string kKilnNames = std::string("WrapperExtInit\0p\0a\0c\0k\0a\0g\0e\0.\0j\0s\0o\0n\0", 39);
std::string KilnExe(bool wide) { return Image(wide, false, kKilnNames); }

struct ArchCase {
  const char* name;
  std::vector<std::pair<std::string, std::string>> files;  // beside package.json
  std::vector<std::string> lines;
};

const std::string kX86Loads = " is a 32-bit program and loads only 32-bit (i386) DLLs";
const std::string kX64Loads = " is a 64-bit program and loads only 64-bit (x86-64) DLLs";

const ArchCase kArchCases[] = {
    {"NoKilnExeMeansTheShippedBuild",
     {{"a.ext.dll", Image(true, true)}, {"steam_api64.dll", Image(true, true)}},
     {"error: a.ext.dll: is a 64-bit (x86-64) DLL; kiln.exe (x86, as shipped)" + kX86Loads}},
    {"X64KilnExeInTheFolder",
     {{"kiln.exe", KilnExe(true)},
      {"a.ext.dll", Image(false, true)},
      {"steam_api.dll", Image(false, true)},
      {"steam_api64.dll", Image(false, true)}},
     {"error: a.ext.dll: is a 32-bit (i386) DLL; kiln.exe (x64)" + kX64Loads,
      "error: steam_api64.dll: is a 32-bit (i386) DLL; kiln.exe (x64)" + kX64Loads}},
    {"X86KilnExeAndA64BitSteamApi",
     {{"kiln.exe", KilnExe(false)}, {"steam_api.dll", Image(true, true)}},
     {"error: steam_api.dll: is a 64-bit (x86-64) DLL; kiln.exe (x86)" + kX86Loads}},
    {"PackedExeNamedForTheGame",
     {{"A Tool.exe", Image(false, false)}, {"Game.exe", KilnExe(true)},
      {"a.ext.dll", Image(true, true)}},
     {"error: a.ext.dll: does not export WrapperExtInit; kiln.exe skips it"}},
    {"ProgramNamedKilnThatIsNot",
     {{"kiln.exe", Image(true, false)}, {"a.ext.dll", Image(true, true)}},
     {"error: a.ext.dll: is a 64-bit (x86-64) DLL; kiln.exe (x86, as shipped)" + kX86Loads}},
    {"FixedRuntimeOfX64",
     {{"kiln.exe", KilnExe(true)},
      {"webview2/EBWebView/x64/EmbeddedBrowserWebView.dll", Image(true, true)}},
     {"error: webview2/EBWebView/x64/EmbeddedBrowserWebView.dll: has no ProductVersion in its "
      "version resource; kiln.exe takes it for no runtime and stops"}},
    {"FixedRuntimeOfX86ForAnX64KilnExe",
     {{"kiln.exe", KilnExe(true)},
      {"webview2/EBWebView/x86/EmbeddedBrowserWebView.dll", Image(false, true)}},
     {"error: webview2/EBWebView/x64/EmbeddedBrowserWebView.dll: missing; webview2 holds "
      "webview2/EBWebView/x86/EmbeddedBrowserWebView.dll, which is not the x64 runtime kiln.exe "
      "(x64) needs; kiln.exe finds no runtime and stops"}},
};

void PrintTo(const ArchCase& row, std::ostream* out) { *out << row.name; }

class ArchCheckTest : public ::testing::TestWithParam<ArchCase> {};

// DLLs and the runtime are judged against the kiln.exe the folder holds.
TEST_P(ArchCheckTest, JudgesAgainstTheKilnExeInTheFolder) {
  const ArchCase& row = GetParam();
  MemoryAppFolder folder = SmallApp();
  for (const auto& [name, bytes] : row.files) {
    folder.File(name, bytes);
    if (name.rfind("webview2/", 0) == 0) {
      folder.File("package.json", R"({"name": "game", "settings": {"distribution-mode": "fixed"}})");
    }
  }
  const KilnTarget kiln = FindKilnExeIn(folder).value_or(KilnTarget{});
  EXPECT_EQ(Lines(CheckAppFolder(folder, kiln)), row.lines);
}

INSTANTIATE_TEST_SUITE_P(Folders, ArchCheckTest, ::testing::ValuesIn(kArchCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(KilnExeCandidatesTest, BesideTheProgramThenTheBuildOfTheArchitecture) {
  EXPECT_EQ(KilnExeCandidates(KilnArch::X86, "/w/build/native/src"),
            (std::vector<std::string>{"/w/build/native/src/kiln.exe", "/w/build/win32/src/kiln.exe"}));
  EXPECT_EQ(KilnExeCandidates(KilnArch::X64, "Z:/w/build/win32/src"),
            (std::vector<std::string>{"Z:/w/build/win32/src/kiln.exe", "Z:/w/build/win64/src/kiln.exe"}));
  EXPECT_EQ(KilnExeCandidates(KilnArch::X64, "C:/Kiln"), std::vector<std::string>{"C:/Kiln/kiln.exe"});
  EXPECT_EQ(KilnExeCandidates(KilnArch::X86, "/kiln"), std::vector<std::string>{"/kiln/kiln.exe"});
}

TEST(FindingsTest, ReportEndsWithTheCountsAndKeepsEachFindingOnOneLine) {
  Findings findings;
  findings.Error("www/a\nb.js", "can never be served");
  findings.Warning("package.json", "name " + Quoted("caf\xE9") + " is odd");
  EXPECT_TRUE(findings.HasErrors());
  EXPECT_EQ(FormatReport(findings.list()),
            "error: www/a\\nb.js: can never be served\n"
            "warning: package.json: name \"caf\xEF\xBF\xBD\" is odd\n"
            "1 error, 1 warning\n");
  Findings none;
  EXPECT_FALSE(none.HasErrors());
  EXPECT_EQ(FormatReport(none.list()), "no problems found\n");
}

}  // namespace
}  // namespace kiln

// Loading real extension DLLs (the recorder from tests/extensions) from an
// app folder, routing page messages to them and unloading them.
#include "extensions/extension_loader_win.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "bridge/web_message.h"
#include "common/text_win.h"
#include "extension_fakes.h"

namespace kiln {
namespace {

using testing::RecordingActions;
using testing::RecordingHost;
using Lines = std::vector<std::string>;

std::wstring TestDllFolder() {
  wchar_t path[MAX_PATH];
  const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring folder(path, length);
  return folder.substr(0, folder.find_last_of(L'\\') + 1) + L"extensions\\";
}

// A fresh application folder in the temp folder, removed afterwards.
class AppFolder {
 public:
  AppFolder() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    static int counter = 0;
    path = std::wstring(temp) + L"kiln-ext-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter) + L"\\";
    CreateDirectoryW(path.c_str(), nullptr);
  }
  ~AppFolder() { RemoveTree(path); }

  std::string Utf8() const { return WideToUtf8(path); }

  // Copies a built test DLL under the given name, with an optional config.
  void AddDll(const std::wstring& built, const std::wstring& name, const std::string& config = "") {
    ASSERT_TRUE(CopyFileW((TestDllFolder() + built).c_str(), (path + name).c_str(), FALSE))
        << "build the test extensions first";
    if (!config.empty()) {
      Write(name.substr(0, name.size() - 4) + L".json", config);
    }
  }
  void AddRecorder(const std::wstring& name, const std::string& config = "") {
    AddDll(L"recorder.ext.dll", name, config);
  }
  void Write(const std::wstring& name, const std::string& text) {
    std::ofstream(std::filesystem::path(path + name), std::ios::binary) << text;
  }
  void AddFolder(const std::wstring& name) { CreateDirectoryW((path + name).c_str(), nullptr); }

  Lines Log() const {
    std::ifstream file(std::filesystem::path(path + L"extensions.log"), std::ios::binary);
    Lines lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
  }

  std::wstring path;

 private:
  static void RemoveTree(const std::wstring& folder) {
    WIN32_FIND_DATAW entry;
    HANDLE search = FindFirstFileW((folder + L"*").c_str(), &entry);
    if (search != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(folder + name + L"\\");
        } else {
          DeleteFileW((folder + name).c_str());
        }
      } while (FindNextFileW(search, &entry));
      FindClose(search);
    }
    RemoveDirectoryW(folder.c_str());
  }
};

size_t IndexOf(const Lines& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) - lines.begin();
}

bool Contains(const Lines& lines, const std::string& line) {
  return IndexOf(lines, line) < lines.size();
}

// The tag of an extension record: its file name up to the first dot.
std::string Tag(const Extension& extension) {
  const std::string file = extension.path.substr(extension.path.find_last_of('\\') + 1);
  return file.substr(0, file.find('.'));
}

std::string ExtensionMessage(const std::string& id, const std::string& messageId,
                             const std::string& params, int asyncId = -1) {
  return R"({"type":"extension-message","componentId":")" + id + R"(","messageId":")" +
         messageId + R"(","asyncId":)" + std::to_string(asyncId) + R"(,"params":)" + params +
         "}";
}

TEST(ExtensionLoaderTest, LoadsOnlyDllsNamedLikeExtensionsThatAccept) {
  AppFolder folder;
  folder.AddRecorder(L"alpha.ext.dll", R"({"ids":["alpha"]})");
  folder.AddRecorder(L"refused.ext.dll", R"({"ids":["refused"],"refuse":true})");
  folder.AddRecorder(L"plain.dll", R"({"ids":["plain"]})");
  folder.AddRecorder(L"longer.ext.dllx", R"({"ids":["longer"]})");
  folder.AddDll(L"noentry.ext.dll", L"noentry.ext.dll");
  folder.Write(L"junk.ext.dll", "MZ? not really a DLL");
  folder.AddFolder(L"folder.ext.dll");

  AppContext app(folder.Utf8());
  LoadExtensions(app);
  ASSERT_EQ(app.extensions.size(), 1u);
  EXPECT_EQ(app.extensions[0]->path, folder.Utf8() + "alpha.ext.dll");
  ASSERT_EQ(app.components.size(), 1u);
  EXPECT_EQ(app.components.begin()->first, "alpha");

  Lines log = folder.Log();
  EXPECT_TRUE(Contains(log, "refused register refused true"));
  // Refused: freed at once, never destroyed.
  EXPECT_LT(IndexOf(log, "refused refusing"), IndexOf(log, "refused unloaded"));
  EXPECT_FALSE(Contains(log, "refused Destroy"));
  for (const auto& line : log) {
    EXPECT_NE(line.rfind("plain ", 0), 0u) << line;
    EXPECT_NE(line.rfind("longer ", 0), 0u) << line;
  }

  UnloadExtensions(app);
  EXPECT_TRUE(app.extensions.empty());
  EXPECT_TRUE(app.components.empty());
  log = folder.Log();
  ASSERT_GE(log.size(), 2u);
  EXPECT_EQ(Lines(log.end() - 2, log.end()), (Lines{"alpha Destroy", "alpha unloaded"}));
}

TEST(ExtensionLoaderTest, AnEmptyFolderLoadsNothing) {
  AppFolder folder;
  AppContext app(folder.Utf8());
  LoadExtensions(app);
  EXPECT_TRUE(app.extensions.empty());
  UnloadExtensions(app);
}

TEST(ExtensionLoaderTest, NotificationsFollowTheStartUpOrder) {
  AppFolder folder;
  folder.AddRecorder(L"early.ext.dll", R"({"version":2})");
  folder.AddRecorder(L"late.ext.dll", R"({"versionInWindow":2})");
  folder.AddRecorder(L"plain.ext.dll");
  AppContext app(folder.Utf8());
  LoadExtensions(app);
  ASSERT_EQ(app.extensions.size(), 3u);
  NotifyMainWindowCreated(app, reinterpret_cast<WindowHandle>(GetDesktopWindow()));
  Lines order;
  for (const auto& extension : app.extensions) order.push_back(Tag(*extension));
  UnloadExtensions(app);

  const Lines log = folder.Log();
  const size_t loaded = IndexOf(log, "early OnExtensionsLoaded");
  ASSERT_LT(loaded, log.size());
  EXPECT_EQ(std::count_if(log.begin(), log.end(),
                          [](const std::string& line) {
                            return line.find("OnExtensionsLoaded") != std::string::npos;
                          }),
            1);
  for (const std::string& tag : order) {
    EXPECT_LT(IndexOf(log, tag + " WrapperExtInit content="), loaded) << tag;
    EXPECT_GT(IndexOf(log, tag + " OnMainWindowCreated window"), loaded) << tag;
  }
  // Each extension is destroyed, then freed, before the next is touched.
  Lines tail(log.end() - 6, log.end());
  Lines expected;
  for (const std::string& tag : order) {
    expected.push_back(tag + " Destroy");
    expected.push_back(tag + " unloaded");
  }
  EXPECT_EQ(tail, expected);
  for (size_t i = 1; i < order.size(); ++i) {
    EXPECT_LT(IndexOf(log, order[i - 1] + " OnMainWindowCreated window"),
              IndexOf(log, order[i] + " OnMainWindowCreated window"));
  }
}

TEST(ExtensionLoaderTest, TheFirstLoadedKeepsASharedId) {
  AppFolder folder;
  folder.AddRecorder(L"one.ext.dll", R"({"ids":["one","same"]})");
  folder.AddRecorder(L"two.ext.dll", R"({"ids":["two","same"]})");
  AppContext app(folder.Utf8());
  LoadExtensions(app);
  ASSERT_EQ(app.extensions.size(), 2u);
  const Extension& first = *app.extensions[0];
  const Extension& second = *app.extensions[1];
  EXPECT_EQ(app.components.at("same"), &first);
  EXPECT_EQ(first.componentId, "same");
  EXPECT_EQ(second.componentId, Tag(second));
  EXPECT_TRUE(Contains(folder.Log(), Tag(second) + " register same false"));

  RecordingActions actions;
  HandleWebMessage(ExtensionMessage("same", "ping", "[]"), actions, app);
  EXPECT_EQ(folder.Log().back(), Tag(first) + " OnWebMessage ping 0 -1.000000 null");
  HandleWebMessage(R"({"type":"wrapper-init"})", actions, app);
  EXPECT_EQ(actions.calls, Lines{R"(post {"registeredComponentIds":["one","same","two"],)"
                                 R"("type":"wrapper-init-response"})"});
  UnloadExtensions(app);
}

class LoadedExtensionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    folder.AddRecorder(L"one.ext.dll", R"({"ids":["one"]})");
    folder.AddRecorder(L"two.ext.dll", R"({"ids":["two"]})");
    LoadExtensions(app);
    ASSERT_EQ(app.extensions.size(), 2u);
    app.contentFolder = app.exeFolder + "www\\";
    app.webViewHost = &host;
  }
  void TearDown() override { UnloadExtensions(app); }

  void Page(const std::string& text) { HandleWebMessage(text, actions, app); }

  AppFolder folder;
  AppContext app{folder.Utf8()};
  RecordingHost host;
  RecordingActions actions;
};

TEST_F(LoadedExtensionsTest, PageAndExtensionTalkBothWays) {
  Page(ExtensionMessage("one", "echo", R"([1,"x",true,null,[1]])", 7));
  EXPECT_EQ(folder.Log().back(),
            "one OnWebMessage echo 5 7.000000 Number:1.000000 String:x Boolean:1.000000 Other:3 "
            "Other:3");
  const std::string folderText = folder.Utf8();
  Page(ExtensionMessage("two", "folders", "[]", 8));
  ASSERT_EQ(host.posted.size(), 2u);
  EXPECT_EQ(host.posted[0], R"({"asyncId":7.0,"componentId":"one","messageId":"echo",)"
                            R"("params":{"0":1.0,"1":"x","2":true,"3":null,"4":null},)"
                            R"("type":"extension-message"})");
  const nlohmann::json folders = nlohmann::json::parse(host.posted[1]);
  EXPECT_EQ(folders["componentId"], "two");
  EXPECT_EQ(folders["params"]["app"], folderText);
  EXPECT_EQ(folderText.back(), '\\');
  EXPECT_EQ(folders["params"]["content"], folderText + "www\\");
  EXPECT_EQ(folders["params"]["userData"], host.userDataFolder);
  // During WrapperExtInit the content folder was still empty.
  EXPECT_TRUE(Contains(folder.Log(), "one WrapperExtInit content="));
}

TEST_F(LoadedExtensionsTest, SharedValuesCrossExtensions) {
  Page(ExtensionMessage("one", "share", R"(["key"])"));
  Page(ExtensionMessage("two", "read-shared", R"(["key"])", 1));
  Page(ExtensionMessage("two", "remove-shared", R"(["key"])"));
  Page(ExtensionMessage("one", "read-shared", R"(["key"])", 2));
  ASSERT_EQ(host.posted.size(), 2u);
  EXPECT_EQ(nlohmann::json::parse(host.posted[0])["params"]["value"], "one");
  EXPECT_TRUE(nlohmann::json::parse(host.posted[1])["params"]["value"].is_null());
}

TEST_F(LoadedExtensionsTest, AnExceptionFromAnExtensionEndsOnlyThatMessage) {
#if defined(_WIN64)
  // Unwinding crosses modules here: a GCC-built extension's throw reaches the
  // host; what MSVC throws is stopped by the host's own unwind handler.
  Page(ExtensionMessage("one", "throw", "[]"));
  Page(ExtensionMessage("one", "throw-int", "[]"));
  Page(ExtensionMessage("two", "throw", "[]"));
  Page(ExtensionMessage("two", "throw-msvc", "[]"));
  Page(ExtensionMessage("two", "rethrow-msvc", "[]"));
  const Lines log = folder.Log();
  EXPECT_EQ(std::count(log.begin(), log.end(), "two thrown object destroyed"), 1);
#else
  // On x86 the host stops what MSVC throws (GCC's own throw would end the
  // process inside the extension), after the extension's cleanup, with
  // RtlUnwind giving back registers as Windows' does.
  Page(ExtensionMessage("one", "throw-msvc", "[]"));
  const Lines log = folder.Log();
  const size_t raised = IndexOf(log, "one OnWebMessage throw-msvc 0 -1.000000 null");
  EXPECT_LT(raised, IndexOf(log, "one RtlUnwind as on Windows"));
  EXPECT_LT(IndexOf(log, "one RtlUnwind as on Windows"), IndexOf(log, "one unwound"));
  EXPECT_LT(IndexOf(log, "one unwound"), IndexOf(log, "one thrown object destroyed"));
  EXPECT_LT(IndexOf(log, "one thrown object destroyed"), log.size());
  Page(ExtensionMessage("two", "throw-msvc", "[]"));
  // A rethrow carries nothing to destroy.
  Page(ExtensionMessage("two", "rethrow-msvc", "[]"));
  const Lines after = folder.Log();
  EXPECT_LT(IndexOf(after, "two OnWebMessage rethrow-msvc 0 -1.000000 null"), after.size());
  EXPECT_EQ(std::count(after.begin(), after.end(), "two thrown object destroyed"), 1);
#endif
  Page(ExtensionMessage("one", "echo", R"(["after"])", 3));
  ASSERT_EQ(host.posted.size(), 1u);
  EXPECT_EQ(nlohmann::json::parse(host.posted[0])["params"]["0"], "after");
}

}  // namespace
}  // namespace kiln

// kiln-check over app folders made here, each with every line it must print:
// the Linux build and the Windows build under Wine read the same folder and
// must say the same. The extensions and runtimes are the project's own
// 32 and 64-bit builds.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <functional>

#include "harness.h"

namespace kiln::testing {
namespace {

using Lines = std::vector<std::string>;

const fs::path kRecorder32 = "tests/extensions/recorder.ext.dll";
const fs::path kStandIn = "tests/runtime/EmbeddedBrowserWebView.dll";

void CopyBuilt(const TestApp& app, const char* preset, const fs::path& built,
               const std::string& relative) {
  app.CopyFrom(BuiltFile(preset, built.string()), relative);
}

// The stand-in runtime with its version texts ("120.0.2210.91") rewritten.
void WriteRuntimeOfVersion(const TestApp& app, const std::string& version,
                           const std::string& relative) {
  auto utf16 = [](const std::string& text) {
    std::string wide;
    for (char c : text) wide += {c, '\0'};
    return wide;
  };
  std::string bytes = ReadFile(BuiltFile("win32", kStandIn.string()));
  const std::string from = utf16("120.0.2210.91"), to = utf16(version);
  for (size_t at = bytes.find(from); at != std::string::npos; at = bytes.find(from, at)) {
    bytes.replace(at, from.size(), to);
  }
  app.WriteFile(relative, bytes);
}

struct CheckRun {
  int exitCode;
  Lines output;
};

// kiln, when not empty, is named with --kiln.
CheckRun CheckNatively(const fs::path& folder, const fs::path& kiln = {}) {
  const fs::path output = folder.parent_path() / (folder.filename().string() + ".native.txt");
  std::vector<std::string> command = {KILN_CHECK_PROGRAM, folder.string()};
  if (!kiln.empty()) command.insert(command.end(), {"--kiln", kiln.string()});
  const int exitCode = RunNative(command, output);
  return {exitCode, ReadLines(output)};
}

CheckRun CheckUnderWine(const fs::path& folder, const fs::path& kiln = {}) {
  const fs::path output = folder.parent_path() / (folder.filename().string() + ".wine.txt");
  std::vector<std::string> command = {WinePath(WinBuildDir() / "src" / "kiln-check.exe"),
                                      WinePath(folder)};
  if (!kiln.empty()) command.insert(command.end(), {"--kiln", WinePath(kiln)});
  const int exitCode = RunWine(command, output);
  return {exitCode, ReadLines(output)};
}

struct CheckCase {
  const char* name;
  std::function<void(const TestApp&)> make;
  Lines output;  // every line, the summary last
  const char* kilnPreset = nullptr;  // names that build's kiln.exe with --kiln
};

constexpr char kPage[] = "<!doctype html><title>game</title>";

// A bundled app with a start page and the given package.json.
std::function<void(const TestApp&)> App(const std::string& packageJson,
                                        std::function<void(const TestApp&)> more = nullptr) {
  return [=](const TestApp& app) {
    app.WritePackageJson(packageJson);
    app.WriteFile("www/index.html", kPage);
    if (more) more(app);
  };
}

constexpr char kFixedMode[] = R"({"name": "game", "settings": {"distribution-mode": "fixed"}})";
constexpr char kClientDll[] = "webview2/EBWebView/x86/EmbeddedBrowserWebView.dll";

// A fixed-mode app with a build's stand-in runtime at relative.
std::function<void(const TestApp&)> FixedApp(const char* preset, const std::string& relative) {
  return App(kFixedMode, [=](const TestApp& app) { CopyBuilt(app, preset, kStandIn, relative); });
}

std::string Deep(int levels) {
  std::string path;
  for (int i = 0; i < levels; ++i) path += "/d";
  return path;
}

// An app whose page comes from the network: no www.
std::function<void(const TestApp&)> RemoteApp(const std::string& main) {
  return [=](const TestApp& app) {
    app.WritePackageJson(
        json({{"name", "game"}, {"main", main}, {"settings", {{"content-mode", "remote"}}}})
            .dump());
  };
}

const CheckCase kCases[] = {
    {"SmallApp", App(R"({"name": "game"})"), {"no problems found"}},
    {"NoPackageJson",
     [](const TestApp&) {},
     {"error: package.json: missing; kiln.exe reads its settings from package.json beside it",
      "1 error, 0 warnings"}},
    {"EmptyPackageJson",
     App(""),
     {"error: package.json: is empty", "1 error, 0 warnings"}},
    {"TrailingComma",
     App("{\n  \"name\": \"game\",\n}\n"),
     {"error: package.json:3:1: syntax error while parsing object key - unexpected '}'; "
      "expected string literal",
      "1 error, 0 warnings"}},
    {"BinaryPackageJson",
     App(std::string("\x7F" "ELF\x01\x01\x01\0\0\0", 10)),
     {"error: package.json:1:1: syntax error while parsing value - invalid literal; last read: "
      "'\\u007f'",
      "1 error, 0 warnings"}},
    {"Utf16PackageJson",
     App(std::string("\xFF\xFE{\0}\0", 6)),
     {"error: package.json: is saved as UTF-16; kiln.exe reads only UTF-8",
      "1 error, 0 warnings"}},
    {"NotAnObject",
     App(R"(["name", "game"])"),
     {"error: package.json: must hold a JSON object, found an array", "1 error, 0 warnings"}},
    {"EveryRuleThatStopsStartup",
     App(R"({"settings": {"content-mode": "Remote", "distribution-mode": "Fixed"}})"),
     {"error: package.json: name is missing; it must be a non-empty string",
      "error: package.json: settings.distribution-mode must be \"evergreen\" or \"fixed\", found "
      "\"Fixed\"",
      "error: package.json: settings.content-mode must be \"bundle\" or \"remote\", found "
      "\"Remote\"",
      "3 errors, 0 warnings"}},
    {"DefaultsAndUnknownKeys",
     App(R"({"name": "game", "main": 5, "build": {"anything": 1},
        "window": {"tittle": "Game", "width": "800", "height": 0, "resizable": 1},
        "settings": {"contentMode": "remote"},
        "messages": {"downloading": false, "extra": 1}})"),
     {"warning: package.json: main should be a string, found 5; kiln.exe uses the default "
      "\"index.html\"",
      "warning: package.json: window.width should be a number, found \"800\"; kiln.exe uses the "
      "default 1024",
      "warning: package.json: window.height is 0, which leaves the window no room for the app",
      "warning: package.json: window.resizable should be true or false, found 1; kiln.exe uses "
      "the default true",
      "warning: package.json: messages.downloading should be a string, found false; kiln.exe "
      "uses the default \"Downloading...\"",
      "warning: package.json: unknown key \"window.tittle\"; did you mean \"window.title\"?",
      "warning: package.json: unknown key \"settings.contentMode\"; did you mean "
      "\"settings.content-mode\"?",
      "warning: package.json: unknown key \"messages.extra\", which kiln.exe ignores",
      "0 errors, 8 warnings"}},
    {"GameWindowKeys",
     App(R"({"name": "game",
        "window": {"width": 800, "min-width": 1024, "min-height": "360", "fullscreen": "yes",
                   "fullscreen-keys": 0, "remember-placement": true},
        "settings": {"single-instance": 1, "single-instanse": false}})"),
     {"warning: package.json: window.fullscreen should be true or false, found \"yes\"; "
      "kiln.exe uses the default false",
      "warning: package.json: window.min-height should be a number, found \"360\"; kiln.exe "
      "ignores it",
      "warning: package.json: window.fullscreen-keys should be true or false, found 0; kiln.exe "
      "uses the default true",
      "warning: package.json: settings.single-instance should be true or false, found 1; "
      "kiln.exe uses the default true",
      "warning: package.json: unknown key \"settings.single-instanse\"; did you mean "
      "\"settings.single-instance\"?",
      "warning: package.json: window.min-width 1024 is larger than window.width 800; the window "
      "opens 1024 wide",
      "0 errors, 6 warnings"}},
    {"NoMinimumIsNoProblem",
     App(R"({"name": "game", "window": {"min-width": 0, "min-height": -1, "height": 300,)"
         R"( "fullscreen": true, "fullscreen-keys": false}, "settings": {"single-instance": false}})"),
     {"no problems found"}},
    {"GameRecipesInChromiumArgs",
     App(R"({"name": "game", "chromium-args": " --autoplay-policy=no-user-gesture-required  )"
         R"(--disable-background-timer-throttling\t--user-agent=\"Game 1.0\" --Mute-Audio"})"),
     {"no problems found"}},
    {"ChromiumArgsThatAreNoSwitches",
     App(R"({"name": "game", "chromium-args": "autoplay-policy=x -mute-audio -- --=1 --a:b --ok=\"1 2"})"),
     {"warning: package.json: chromium-args has a quote that is never closed; the browser reads "
      "everything after it as part of one entry",
      "warning: package.json: chromium-args entry \"autoplay-policy=x\" is no browser switch; "
      "write switches as \"--name\" or \"--name=value\"",
      "warning: package.json: chromium-args entry \"-mute-audio\" is no browser switch; "
      "write switches as \"--name\" or \"--name=value\"",
      "warning: package.json: chromium-args entry \"--\" is no browser switch; "
      "write switches as \"--name\" or \"--name=value\"",
      "warning: package.json: chromium-args entry \"--=1\" is no browser switch; "
      "write switches as \"--name\" or \"--name=value\"",
      "warning: package.json: chromium-args entry \"--a:b\" is no browser switch; "
      "write switches as \"--name\" or \"--name=value\"",
      "0 errors, 6 warnings"}},
    {"UserDataFolderName",
     App(R"({"name": "My Game: Deluxe"})"),
     {"warning: package.json: name \"My Game: Deluxe\" is no folder name Windows accepts; "
      "kiln.exe keeps the app's data in the folder \"My Game_ Deluxe\" instead",
      "0 errors, 1 warning"}},
    {"NoContentFolder",
     [](const TestApp& app) { app.WritePackageJson(R"({"name": "game"})"); },
     {"error: www: missing; in the bundle content mode kiln.exe serves the app from the folder "
      "www",
      "1 error, 0 warnings"}},
    {"StartPageInAnyLetterCase",
     App(R"({"name": "game", "main": "Game/Start.html?level=2"})",
         [](const TestApp& app) { app.WriteFile("www/game/start.html", kPage); }),
     {"no problems found"}},
    {"MissingStartPage",
     App(R"({"name": "game", "main": "start.html"})"),
     {"error: www/start.html: the start page is missing (main is \"start.html\")",
      "1 error, 0 warnings"}},
    {"StartFolderWithoutIndex",
     App(R"({"name": "game", "main": "levels/"})",
         [](const TestApp& app) { app.WriteFile("www/levels/one.html", kPage); }),
     {"error: www/levels/index.html: the start page is missing (main is \"levels/\")",
      "1 error, 0 warnings"}},
    {"StartPageTheServerRefuses",
     App(R"({"name": "game", "main": "/index.html"})"),
     {"error: package.json: main \"/index.html\" names no file the content server can serve: "
      "the path has an empty name (a leading \"/\" or \"//\")",
      "1 error, 0 warnings"}},
    {"NamesThatCanNeverBeServed",
     App(R"({"name": "game"})",
         [](const TestApp& app) {
           for (const char* name : {"www/aux.js", "www/sprites/Con.png", "www/what?.png",
                                    "www/notes.", "www/maps/a:b/level.json", "www/Logo.png",
                                    "www/logo.png"}) {
             app.WriteFile(name, "x");
           }
         }),
     {"warning: www/Logo.png: differs from \"logo.png\" only in letter case; on Windows one of "
      "the two takes the other's place",
      "error: www/aux.js: can never be served: Windows reserves the name for a device (CON, PRN, "
      "AUX, NUL, COM1, LPT1 and the like, with any extension)",
      "error: www/maps/a:b: can never be served: the name holds one of \\ : * ? \" < > |, which "
      "Windows forbids in names",
      "error: www/notes.: can never be served: a name ends in a dot or a space (\".\" and \"..\" "
      "too), which Windows does not keep",
      "error: www/sprites/Con.png: can never be served: Windows reserves the name for a device "
      "(CON, PRN, AUX, NUL, COM1, LPT1 and the like, with any extension)",
      "error: www/what?.png: can never be served: the name holds one of \\ : * ? \" < > |, which "
      "Windows forbids in names",
      "5 errors, 1 warning"}},
    {"RemoteAddress",
     RemoteApp("example.com/game"),
     {"error: package.json: main must be an absolute http or https address in the remote "
      "content mode, found \"example.com/game\"",
      "1 error, 0 warnings"}},
    {"RemoteAppNeedsNoContentFolder",
     RemoteApp("HTTPS://example.com/game/"),
     {"no problems found"}},
    {"IconMissing",
     App(R"({"name": "game", "window": {"icon": "icon.png"}})"),
     {"warning: icon.png: missing (window.icon); the window gets the default icon",
      "0 errors, 1 warning"}},
    {"IconNotDecodable",
     App(R"({"name": "game", "window": {"icon": "art/icon.svg"}})",
         [](const TestApp& app) {
           app.WriteFile("art/icon.svg", "<svg xmlns='http://www.w3.org/2000/svg'/>");
         }),
     {"warning: art/icon.svg: is SVG, which kiln.exe cannot make an icon of; the window gets "
      "the default icon",
      "0 errors, 1 warning"}},
    {"IconOutsideTheAppFolder",
     App(R"({"name": "game", "window": {"icon": "..\\icon.png"}})"),
     {"warning: package.json: window.icon \"..\\\\icon.png\" is no path inside the app folder "
      "that Windows opens: a name ends in a dot or a space (\".\" and \"..\" too), which Windows "
      "does not keep; the window gets the default icon",
      "0 errors, 1 warning"}},
    {"IconInASubfolder",
     App(R"({"name": "game", "window": {"icon": "art\\icon.png"}})",
         [](const TestApp& app) {
           app.CopyFrom(fs::path(KILN_SOURCE_DIR) / "tests/integration/data/red.png",
                        "art/icon.png");
         }),
     {"no problems found"}},
    {"Extensions",
     App(R"({"name": "game"})",
         [](const TestApp& app) {
           CopyBuilt(app, "win32", kRecorder32, "recorder.ext.dll");
           CopyBuilt(app, "win32", "tests/extensions/noentry.ext.dll", "noentry.ext.dll");
           CopyBuilt(app, "win32", "tests/extensions/winapi.ext.dll", "winapi.ext.dll");
           CopyBuilt(app, "win64", kRecorder32, "wide.ext.dll");
           CopyBuilt(app, "win32", kRecorder32, "plugin.dll");
           app.WriteFile("notes.ext.dll", "not a DLL");
           app.WriteFile("folder.ext.dll/readme.txt", "");
         }),
     {"warning: folder.ext.dll: is a folder; kiln.exe loads extensions from files only",
      "error: noentry.ext.dll: does not export WrapperExtInit; kiln.exe skips it",
      "error: notes.ext.dll: is not a Windows DLL",
      "warning: plugin.dll: exports WrapperExtInit, but kiln.exe loads only DLLs whose names end "
      "in \".ext.dll\"",
      "error: wide.ext.dll: is a 64-bit (x86-64) DLL; kiln.exe (x86, as shipped) is a 32-bit "
      "program and loads only 32-bit (i386) DLLs",
      "error: winapi.ext.dll: exports WrapperExtInit@4, the name of a WINAPI (__stdcall) "
      "function; kiln.exe calls WrapperExtInit, an extern \"C\" function of the default (cdecl) "
      "convention",
      "4 errors, 2 warnings"}},
    {"ExtensionCutShort",
     App(R"({"name": "game"})",
         [](const TestApp& app) {
           const std::string bytes = ReadFile(BuiltFile("win32", kRecorder32.string()));
           app.WriteFile("short.ext.dll", bytes.substr(0, bytes.size() / 2));
         }),
     {"error: short.ext.dll: is cut short: its headers or sections run past the end of the "
      "file, and Windows refuses to load it",
      "1 error, 0 warnings"}},
    {"FixedRuntime", FixedApp("win32", kClientDll), {"no problems found"}},
    {"FixedRuntimeOneLevelTooDeep",
     FixedApp("win32",
              "webview2/Microsoft.WebView2.FixedVersionRuntime.120.0.2210.91.x86/EBWebView/x86/"
              "EmbeddedBrowserWebView.dll"),
     {"error: webview2/EBWebView/x86/EmbeddedBrowserWebView.dll: missing, but a runtime lies in "
      "webview2/Microsoft.WebView2.FixedVersionRuntime.120.0.2210.91.x86; move what that folder "
      "holds up into webview2; kiln.exe finds no runtime and stops",
      "1 error, 0 warnings"}},
    {"FixedRuntimeFor64BitPrograms",
     FixedApp("win64", "webview2/EBWebView/x64/EmbeddedBrowserWebView.dll"),
     {"error: webview2/EBWebView/x86/EmbeddedBrowserWebView.dll: missing; webview2 holds "
      "webview2/EBWebView/x64/EmbeddedBrowserWebView.dll, which is not the x86 runtime kiln.exe "
      "(x86, as shipped) needs; kiln.exe finds no runtime and stops",
      "1 error, 0 warnings"}},
    {"FixedRuntime64BitInThe32BitPlace",
     FixedApp("win64", kClientDll),
     {"error: webview2/EBWebView/x86/EmbeddedBrowserWebView.dll: is a 64-bit (x86-64) DLL; "
      "kiln.exe (x86, as shipped) is a 32-bit program and loads only 32-bit (i386) DLLs",
      "1 error, 0 warnings"}},
    {"X64KilnExeInTheFolder",
     App(kFixedMode,
         [](const TestApp& app) {
           CopyBuilt(app, "win64", "src/kiln.exe", "kiln.exe");
           CopyBuilt(app, "win64", kRecorder32, "recorder.ext.dll");
           CopyBuilt(app, "win32", kRecorder32, "narrow.ext.dll");
           CopyBuilt(app, "win64", kStandIn, "webview2/EBWebView/x64/EmbeddedBrowserWebView.dll");
         }),
     {"error: narrow.ext.dll: is a 32-bit (i386) DLL; kiln.exe (x64) is a 64-bit program and "
      "loads only 64-bit (x86-64) DLLs",
      "1 error, 0 warnings"}},
    {"X86KilnExeInTheFolder",
     App(R"({"name": "game"})",
         [](const TestApp& app) {
           CopyBuilt(app, "win32", "src/kiln.exe", "kiln.exe");
           CopyBuilt(app, "win64", kStandIn, "steam_api.dll");
         }),
     {"error: steam_api.dll: is a 64-bit (x86-64) DLL; kiln.exe (x86) is a 32-bit program and "
      "loads only 32-bit (i386) DLLs",
      "1 error, 0 warnings"}},
    {"X64KilnExeNamedByItsOption",
     App(R"({"name": "game"})",
         [](const TestApp& app) { CopyBuilt(app, "win32", kRecorder32, "narrow.ext.dll"); }),
     {"error: narrow.ext.dll: is a 32-bit (i386) DLL; kiln.exe (x64) is a 64-bit program and "
      "loads only 64-bit (x86-64) DLLs",
      "1 error, 0 warnings"},
     "win64"},
    {"FixedRuntimeTooOld",
     App(kFixedMode,
         [](const TestApp& app) { WriteRuntimeOfVersion(app, "080.0.2210.91", kClientDll); }),
     {"error: webview2/EBWebView/x86/EmbeddedBrowserWebView.dll: is version 080.0.2210.91; "
      "kiln.exe needs 86.0.616.0 or newer",
      "1 error, 0 warnings"}},
    {"LoopingLinksAndDeepFolders",
     App(R"({"name": "game"})",
         [](const TestApp& app) {
           fs::create_directory_symlink(".", app.Path("www/loop"));
           fs::create_directory_symlink("..", app.Path("www/up"));
           fs::create_directories(app.Path("www" + Deep(70)));
         }),
     {"warning: www" + Deep(64) + ": lies 64 folders deep; what it holds was not checked",
      "0 errors, 1 warning"}},
    {"RuntimeFolderInEvergreenMode",
     App(R"({"name": "game"})",
         [](const TestApp& app) { CopyBuilt(app, "win32", kStandIn, kClientDll); }),
     {"warning: webview2: is never used: settings.distribution-mode is \"evergreen\", so "
      "kiln.exe uses the runtime installed on the machine",
      "0 errors, 1 warning"}},
};

void PrintTo(const CheckCase& check, std::ostream* out) { *out << check.name; }

class CheckTest : public ::testing::TestWithParam<CheckCase> {};

TEST_P(CheckTest, PrintsEveryFindingAndItsSummary) {
  const CheckCase& check = GetParam();
  TestApp app(std::string("CheckTest.") + check.name);
  // Without a kiln.exe in the folder the shipped build's rule holds; a row
  // that means another puts one there or names one.
  fs::remove(app.Path("kiln.exe"));
  check.make(app);
  const fs::path kiln = check.kilnPreset ? BuiltFile(check.kilnPreset, "src/kiln.exe") : fs::path();
  const bool errors = std::any_of(check.output.begin(), check.output.end(), [](const auto& line) {
    return line.rfind("error: ", 0) == 0;
  });
  const CheckRun native = CheckNatively(app.folder(), kiln);
  EXPECT_EQ(native.output, check.output);
  EXPECT_EQ(native.exitCode, errors ? 1 : 0);
  const CheckRun windows = CheckUnderWine(app.folder(), kiln);
  EXPECT_EQ(windows.output, check.output);
  EXPECT_EQ(windows.exitCode, errors ? 1 : 0);
}

INSTANTIATE_TEST_SUITE_P(AppFolders, CheckTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A named pipe opened for reading waits for a writer; none ever comes.
TEST(CheckFifoTest, PipesAreFilesThatCannotBeRead) {
  TestApp app(CurrentTestName());
  ASSERT_EQ(mkfifo(app.Path("package.json").c_str(), 0644), 0);
  ASSERT_EQ(mkfifo(app.Path("pipe.ext.dll").c_str(), 0644), 0);
  const fs::path output = app.Path("check.txt");
  const int exitCode =
      RunNative({"/usr/bin/timeout", "20", KILN_CHECK_PROGRAM, app.folder().string()}, output);
  EXPECT_EQ(ReadLines(output), (Lines{"error: package.json: cannot be read",
                                    "error: pipe.ext.dll: cannot be read", "2 errors, 0 warnings"}));
  EXPECT_EQ(exitCode, 1);
}

}  // namespace
}  // namespace kiln::testing

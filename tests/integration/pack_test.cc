// kiln-pack over app folders made here: the folder it writes, the exe's
// resources as Debian's icoutils and Windows itself read them, a run of a
// packed exe, and a signature osslsigncode accepts.
#include <gtest/gtest.h>

#include <functional>

#include "../common/sample_png.h"
#include "check/pe_image.h"
#include "harness.h"
#include "page_steps.h"
#include "stand_in.h"

namespace kiln::testing {
namespace {

using Lines = std::vector<std::string>;

const fs::path kKilnExe = "src/kiln.exe";

struct PackRun {
  int exitCode;
  Lines output;
  fs::path out;  // the DIR kiln-pack was given
};

// Without searchKiln, the shipped build's kiln.exe is named with --kiln;
// with it, kiln-pack finds one in the build output itself.
PackRun PackNatively(const TestApp& app, std::vector<std::string> arguments = {},
                     bool searchKiln = false) {
  const fs::path out = app.folder().string() + ".out";
  fs::remove_all(out);
  std::vector<std::string> command = {KILN_PACK_PROGRAM, app.folder().string(), "--out",
                                      out.string()};
  if (!searchKiln) {
    command.insert(command.end(), {"--kiln", BuiltFile("win32", kKilnExe.string()).string()});
  }
  command.insert(command.end(), arguments.begin(), arguments.end());
  const fs::path output = app.folder().string() + ".pack.txt";
  const int exitCode = RunNative(command, output);
  return {exitCode, ReadLines(output), out};
}

// Every file under a folder, "/" between names, in name order.
Lines FilesUnder(const fs::path& folder) {
  Lines files;
  if (!fs::exists(folder)) return files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    if (entry.is_regular_file()) files.push_back(fs::relative(entry.path(), folder).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

// What a Linux program prints, as lines.
Lines Printed(const std::vector<std::string>& command, const fs::path& output) {
  RunNative(command, output);
  return ReadLines(output);
}

std::string Utf16(const std::string& ascii) {
  std::string wide;
  for (char c : ascii) wide += {c, '\0'};
  return wide;
}

constexpr char kPage[] = "<!doctype html><title>game</title>";

std::function<void(const TestApp&)> App(const json& packageJson,
                                        std::function<void(const TestApp&)> more = nullptr) {
  return [=](const TestApp& app) {
    app.WritePackageJson(packageJson.dump());
    app.WriteFile("www/index.html", kPage);
    if (more) more(app);
  };
}

std::function<void(const TestApp&)> WithIcon(const std::string& path, const std::string& format = "") {
  return [=](const TestApp& app) {
    app.WriteFile(path, SamplePng());
    if (format.empty()) return;
    const std::string png = app.Path(path).string();
    RunNative({"/usr/bin/convert", png, format + ":" + png}, app.folder().string() + ".convert.txt");
  };
}

struct PackCase {
  const char* name;
  std::function<void(const TestApp&)> make;
  std::vector<std::string> arguments;
  Lines output;  // every line kiln-pack prints; "{out}" stands for DIR
  Lines files;   // what DIR holds afterwards
  std::vector<std::pair<std::string, std::string>> strings;  // in the version block
  bool icon = false;  // the exe has the eight-size icon group
  bool searchKiln = false;  // no --kiln: kiln-pack finds the kiln.exe of --arch
  uint16_t machine = kMachineI386;  // the packed exe's
};

const PackCase kCases[] = {
    {"TitleIconVersionAuthor",
     App({{"name", "game"},
          {"version", "2.5.1-beta.3"},
          {"author", {{"name", "Ann Author"}, {"email", "ann@example.com"}}},
          {"copyright", "(c) 2026 Ann Author"},
          {"window", {{"title", "Space Game"}, {"icon", "art\\icon.png"}}}},
         WithIcon("art/icon.png")),
     {},
     {"packed {out}/Space Game/Space Game.exe"},
     {"Space Game/Space Game.exe", "Space Game/art/icon.png", "Space Game/package.json",
      "Space Game/www/index.html"},
     {{"FileDescription", "Space Game"}, {"ProductName", "Space Game"},
      {"CompanyName", "Ann Author"}, {"FileVersion", "2.5.1.0"}, {"ProductVersion", "2.5.1.0"},
      {"InternalName", "Space Game.exe"}, {"OriginalFilename", "Space Game.exe"},
      {"LegalCopyright", "(c) 2026 Ann Author"}},
     true},
    {"NameOnlyNoIcon",
     App({{"name", "game"}, {"author", "Bo <bo@example.com> (https://example.com)"}}),
     {},
     {"warning: package.json: no window.icon, so the exe keeps Windows' default icon",
      "packed {out}/game/game.exe"},
     {"game/game.exe", "game/package.json", "game/www/index.html"},
     {{"ProductName", "game"}, {"CompanyName", "Bo"}, {"FileVersion", "1.0.0.0"}}},
    {"NameWithForbiddenCharacters",
     App({{"name", "game"}, {"window", {{"title", "Tanks: Part 2/3?"}, {"icon", "www/i.jpg"}}}},
         WithIcon("www/i.jpg", "JPEG")),
     {"--zip"},
     {"packed {out}/Tanks_ Part 2_3_/Tanks_ Part 2_3_.exe", "zipped {out}/Tanks_ Part 2_3_.zip"},
     {"Tanks_ Part 2_3_.zip", "Tanks_ Part 2_3_/Tanks_ Part 2_3_.exe",
      "Tanks_ Part 2_3_/package.json", "Tanks_ Part 2_3_/www/i.jpg",
      "Tanks_ Part 2_3_/www/index.html"},
     {{"ProductName", "Tanks: Part 2/3?"}, {"OriginalFilename", "Tanks_ Part 2_3_.exe"}},
     true},
    {"ExeNameAndIconOptions",
     App({{"name", "game"}, {"version", "3"}}, WithIcon("../other.gif", "GIF")),
     {"--exe-name", "Launcher.exe", "--icon", "{app}/../other.gif"},
     {"packed {out}/Launcher/Launcher.exe"},
     {"Launcher/Launcher.exe", "Launcher/package.json", "Launcher/www/index.html"},
     {{"ProductName", "game"}, {"FileVersion", "3.0.0.0"}, {"InternalName", "Launcher.exe"}},
     true},
    {"OnlyWhatTheGameNeeds",
     App({{"name", "game"}, {"window", {{"icon", "icon.bmp"}}}},
         [](const TestApp& app) {
           WithIcon("icon.bmp", "BMP3")(app);
           app.CopyFrom(BuiltFile("win32", "tests/extensions/recorder.ext.dll"), "recorder.ext.dll");
           app.CopyFrom(BuiltFile("win32", kKilnExe.string()), "kiln.exe");
           app.CopyFrom(BuiltFile("win32", "src/kiln-check.exe"), "kiln-check.exe");
           app.WriteFile("notes.txt", "mine");
           app.WriteFile("src/game.ts", "mine");
         }),
     {},
     {"packed {out}/game/game.exe"},
     {"game/game.exe", "game/icon.bmp", "game/package.json", "game/recorder.ext.dll",
      "game/www/index.html"},
     {},
     true},
    {"SteamLibraryGoesAlongAndSteamAppIdStaysBehind",
     App({{"name", "game"}, {"steam", {{"app-id", 480}}}, {"window", {{"icon", "icon.bmp"}}}},
         [](const TestApp& app) {
           WithIcon("icon.bmp", "BMP3")(app);
           app.CopyFrom(BuiltFile("win32", "src/steam.ext.dll"), "steam.ext.dll");
           app.CopyFrom(BuiltFile("win32", "tests/steam_api/sdk165/steam_api.dll"), "steam_api.dll");
           app.WriteFile("steam_appid.txt", "480");
         }),
     {},
     {"warning: steam_appid.txt: is left out of the build: it is for development only, and with it the game "
      "would never be restarted through Steam",
      "0 errors, 1 warning", "packed {out}/game/game.exe"},
     {"game/game.exe", "game/icon.bmp", "game/package.json", "game/steam.ext.dll", "game/steam_api.dll",
      "game/www/index.html"},
     {},
     true},
    {"FixedRuntime",
     App({{"name", "game"}, {"settings", {{"distribution-mode", "fixed"}}}},
         [](const TestApp& app) {
           app.CopyFrom(BuiltFile("win32", "tests/runtime/EmbeddedBrowserWebView.dll"),
                        "webview2/EBWebView/x86/EmbeddedBrowserWebView.dll");
         }),
     {},
     {"warning: package.json: no window.icon, so the exe keeps Windows' default icon",
      "packed {out}/game/game.exe"},
     {"game/game.exe", "game/package.json", "game/webview2/EBWebView/x86/EmbeddedBrowserWebView.dll",
      "game/www/index.html"},
     {}},
    {"CheckErrorsStopThePack",
     [](const TestApp& app) { app.WritePackageJson(R"({"name": "game"})"); },
     {},
     {"error: www: missing; in the bundle content mode kiln.exe serves the app from the folder "
      "www",
      "1 error, 0 warnings"},
     {}},
    {"NameOfForbiddenCharactersOnly",
     App({{"name", "game"}, {"window", {{"title", "???"}}}}),
     {},
     {"error: package.json: \"???\" has no character Windows accepts in a file name; name the "
      "exe with --exe-name",
      "1 error, 0 warnings"},
     {}},
    {"VersionThatIsNoNumber",
     App({{"name", "game"}, {"version", "first"}}),
     {},
     {"error: package.json: version \"first\" is no version number such as \"1.2.3\"",
      "1 error, 0 warnings"},
     {}},
    {"IconThatIsNoImage",
     App({{"name", "game"}, {"window", {{"icon", "icon.png"}}}},
         [](const TestApp& app) { app.WriteFile("icon.png", SamplePng().substr(0, 50)); }),
     {},
     {"error: icon.png: is damaged or cut short, so it cannot be decoded (outofdata)"},
     {}},
    {"MissingIcon",
     App({{"name", "game"}, {"window", {{"icon", "icon.png"}}}}),
     {},
     {"warning: icon.png: missing (window.icon); the window gets the default icon",
      "error: icon.png: is no image (window.icon); kiln-pack makes the exe's icon of it",
      "1 error, 1 warning"},
     {}},
    {"OutputInsideTheAppFolder",
     App({{"name", "game"}}),
     {"--out", "{app}/dist"},
     {"error: {app}/dist: lies inside the app folder; pack into a folder outside it"},
     {}},
    {"OutputThatCannotBeWritten",
     App({{"name", "game"}, {"window", {{"icon", "icon.png"}}}}, WithIcon("icon.png")),
     {"--out", "/proc/kiln-pack"},
     {"error: /proc/kiln-pack: cannot be made"},
     {}},
    {"X64BuildFoundInTheBuildOutput",
     App({{"name", "game"}, {"settings", {{"distribution-mode", "fixed"}}}},
         [](const TestApp& app) {
           app.CopyFrom(BuiltFile("win64", "tests/extensions/recorder.ext.dll"), "recorder.ext.dll");
           app.CopyFrom(BuiltFile("win64", "tests/runtime/EmbeddedBrowserWebView.dll"),
                        "webview2/EBWebView/x64/EmbeddedBrowserWebView.dll");
         }),
     {"--arch", "x64"},
     {"warning: package.json: no window.icon, so the exe keeps Windows' default icon",
      "packed {out}/game/game.exe"},
     {"game/game.exe", "game/package.json", "game/recorder.ext.dll",
      "game/webview2/EBWebView/x64/EmbeddedBrowserWebView.dll", "game/www/index.html"},
     {{"ProductName", "game"}},
     false,
     true,
     kMachineAmd64},
    {"X86BuildFoundInTheBuildOutputByDefault",
     App({{"name", "game"}}),
     {},
     {"warning: package.json: no window.icon, so the exe keeps Windows' default icon",
      "packed {out}/game/game.exe"},
     {"game/game.exe", "game/package.json", "game/www/index.html"},
     {},
     false,
     true},
    {"X86ExtensionInAnX64Pack",
     App({{"name", "game"}},
         [](const TestApp& app) {
           app.CopyFrom(BuiltFile("win32", "tests/extensions/recorder.ext.dll"), "recorder.ext.dll");
         }),
     {"--arch", "x64"},
     {"error: recorder.ext.dll: is a 32-bit (i386) DLL; kiln.exe (x64) is a 64-bit program and "
      "loads only 64-bit (x86-64) DLLs",
      "1 error, 0 warnings"},
     {},
     {},
     false,
     true},
    {"KilnOfAnotherArchitecture",
     App({{"name", "game"}}),
     {"--arch", "x64"},
     {"error: {win32}: is the x86 build of kiln.exe, not the x64 one --arch x64 packs; name an "
      "x64 kiln.exe, or leave out --arch"},
     {}},
    {"ArchitectureThatIsNone",
     App({{"name", "game"}}),
     {"--arch", "arm64"},
     {"error: --arch takes x86 or x64, not \"arm64\""},
     {}},
    {"ProgramThatIsNotKiln",
     App({{"name", "game"}}),
     {"--kiln", "{app}/www/index.html"},
     {"error: {app}/www/index.html: is not kiln.exe"},
     {}},
};

void PrintTo(const PackCase& pack, std::ostream* out) { *out << pack.name; }

std::string Substituted(std::string text, const TestApp& app, const fs::path& out) {
  for (const auto& [from, to] : {std::pair<std::string, std::string>{"{app}", app.folder().string()},
                                 {"{out}", out.string()},
                                 {"{win32}", BuiltFile("win32", kKilnExe.string()).string()}}) {
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from)) {
      text.replace(at, from.size(), to);
    }
  }
  return text;
}

class PackTest : public ::testing::TestWithParam<PackCase> {};

TEST_P(PackTest, WritesTheFolderAndTheExeResources) {
  const PackCase& pack = GetParam();
  TestApp app(std::string("PackTest.") + pack.name);
  pack.make(app);
  const fs::path out = app.folder().string() + ".out";
  std::vector<std::string> arguments;
  for (const std::string& argument : pack.arguments) arguments.push_back(Substituted(argument, app, out));
  const PackRun run = PackNatively(app, arguments, pack.searchKiln);
  Lines expected;
  for (const std::string& line : pack.output) expected.push_back(Substituted(line, app, out));
  EXPECT_EQ(run.output, expected);
  EXPECT_EQ(run.exitCode, pack.files.empty() ? 1 : 0);
  EXPECT_EQ(FilesUnder(run.out), pack.files) << "a failed pack leaves nothing behind";
  if (pack.files.empty()) return;
  const fs::path packedExe = [&] {
    for (const std::string& file : pack.files) {
      if (file.size() > 4 && file.compare(file.size() - 4, 4, ".exe") == 0) return run.out / file;
    }
    return fs::path();
  }();
  ASSERT_FALSE(packedExe.empty());
  const std::optional<PeImage> packedImage = ReadPeImage(ReadFile(packedExe));
  ASSERT_TRUE(packedImage);
  EXPECT_EQ(packedImage->machine, pack.machine);
  // Debian's icoutils: the group lists every size, the version block holds the texts.
  const fs::path ico = app.folder().string() + ".ico";
  RunNative({"/usr/bin/wrestool", "-x", "-t14", "-o", ico.string(), packedExe.string()},
            app.folder().string() + ".wrestool.txt");
  const Lines sizes = Printed({"/usr/bin/icotool", "-l", ico.string()}, app.folder().string() + ".icotool.txt");
  Lines expectedSizes;
  if (pack.icon) {
    int index = 0;
    for (const int side : {16, 20, 24, 32, 40, 48, 64, 256}) {
      expectedSizes.push_back("--icon --index=" + std::to_string(++index) + " --width=" + std::to_string(side) +
                              " --height=" + std::to_string(side) + " --bit-depth=32 --palette-size=0");
    }
  }
  EXPECT_EQ(sizes, expectedSizes);
  const fs::path version = app.folder().string() + ".version";
  RunNative({"/usr/bin/wrestool", "-x", "--raw", "-t16", "-o", version.string(), packedExe.string()},
            app.folder().string() + ".wrestool.txt");
  const std::string block = ReadFile(version);
  for (const auto& [key, value] : pack.strings) {
    EXPECT_NE(block.find(Utf16(key)), std::string::npos) << key;
    EXPECT_NE(block.find(Utf16(value)), std::string::npos) << key << " " << value;
  }
  // The manifest is kept as it was.
  EXPECT_NE(Printed({"/usr/bin/wrestool", "-l", packedExe.string()}, app.folder().string() + ".list.txt")
                .back()
                .find("--type=24 --name=1"),
            std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(AppFolders, PackTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace kiln::testing

namespace kiln::testing {
namespace {

// A certificate made here, kept only for the test.
TEST(PackSignTest, OsslsigncodeVerifiesTheSignedExe) {
  TestApp app(CurrentTestName());
  App({{"name", "signed"}, {"window", {{"icon", "icon.png"}}}}, WithIcon("icon.png"))(app);
  const std::string key = app.folder().string() + ".key", cert = app.folder().string() + ".crt",
                    pfx = app.folder().string() + ".pfx";
  const fs::path log = app.folder().string() + ".openssl.txt";
  ASSERT_EQ(RunNative({"/usr/bin/openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout",
                       key, "-out", cert, "-days", "2", "-subj", "/CN=Kiln Test Author",
                       "-addext", "extendedKeyUsage=codeSigning"},
                      log),
            0);
  ASSERT_EQ(RunNative({"/usr/bin/openssl", "pkcs12", "-export", "-inkey", key, "-in", cert, "-out",
                       pfx, "-passout", "pass:secret"},
                      log),
            0);
  setenv("KILN_SIGN_PASSWORD", "secret", 1);
  const PackRun run = PackNatively(app, {"--sign", pfx});
  unsetenv("KILN_SIGN_PASSWORD");
  ASSERT_EQ(run.exitCode, 0) << ::testing::PrintToString(run.output);
  const fs::path exe = run.out / "signed" / "signed.exe";
  const fs::path verify = app.folder().string() + ".verify.txt";
  EXPECT_EQ(RunNative({"/usr/bin/osslsigncode", "verify", "-CAfile", cert, "-in", exe.string()}, verify), 0)
      << ReadFile(verify);
  EXPECT_NE(ReadFile(verify).find("Kiln Test Author"), std::string::npos);
  EXPECT_EQ(FilesUnder(run.out), (Lines{"signed/icon.png", "signed/package.json", "signed/signed.exe",
                                        "signed/www/index.html"}));

  // Packing the signed exe again removes its signature before the resources change.
  const fs::path signedKiln = app.folder().string() + ".signed.exe";
  fs::copy_file(exe, signedKiln, fs::copy_options::overwrite_existing);
  const PackRun again = PackNatively(app, {"--kiln", signedKiln.string()});
  ASSERT_EQ(again.exitCode, 0) << ::testing::PrintToString(again.output);
  EXPECT_NE(ReadPeImage(ReadFile(signedKiln))->layout->directoryAddress[kCertificateDirectory], 0u);
  const std::optional<PeImage> repacked = ReadPeImage(ReadFile(again.out / "signed" / "signed.exe"));
  ASSERT_TRUE(repacked && repacked->layout);
  EXPECT_EQ(repacked->layout->directoryAddress[kCertificateDirectory], 0u);
  EXPECT_NE(RunNative({"/usr/bin/osslsigncode", "verify", "-CAfile", cert, "-in",
                       (again.out / "signed" / "signed.exe").string()},
                      verify),
            0);
}

}  // namespace
}  // namespace kiln::testing

namespace kiln::testing {
namespace {

const json kShownApp = {{"name", "game"},
                        {"version", "4.3.2"},
                        {"author", "Ann Author"},
                        {"window", {{"title", "Caf\u00e9 Game"}, {"icon", "icon.png"}}}};

// Windows' own readers, and the Windows build of kiln-pack, which packs the
// same bytes as the Linux one.
TEST(PackUnderWineTest, WindowsReadsTheVersionTextsAndTheIcon) {
  TestApp app(CurrentTestName());
  App(kShownApp, WithIcon("icon.png"))(app);
  const PackRun run = PackNatively(app);
  ASSERT_EQ(run.exitCode, 0) << ::testing::PrintToString(run.output);
  const fs::path exe = run.out / "Caf\u00e9 Game" / "Caf\u00e9 Game.exe";
  const fs::path output = app.folder().string() + ".read.txt";
  ASSERT_EQ(RunWine({WinePath(WinBuildDir() / "tests/tools/version_reader.exe"), WinePath(exe)}, output), 0);
  const json read = json::parse(ReadFile(output));
  EXPECT_EQ(read["strings"], json({{"FileDescription", "Caf\u00e9 Game"},
                                   {"ProductName", "Caf\u00e9 Game"},
                                   {"CompanyName", "Ann Author"},
                                   {"FileVersion", "4.3.2.0"},
                                   {"ProductVersion", "4.3.2.0"},
                                   {"InternalName", "Caf\u00e9 Game.exe"},
                                   {"OriginalFilename", "Caf\u00e9 Game.exe"}}));
  EXPECT_EQ(read["fileVersion"], "4.3.2.0");
  EXPECT_EQ(read["icons"], 1);
  EXPECT_EQ(read["extracted"], true);
  EXPECT_EQ(read["groupSizes"], json({16, 20, 24, 32, 40, 48, 64, 256}));

  const fs::path windowsOut = app.folder().string() + ".wine-out";
  fs::remove_all(windowsOut);
  ASSERT_EQ(RunWine({WinePath(WinBuildDir() / "src/kiln-pack.exe"), WinePath(app.folder()), "--out",
                     WinePath(windowsOut), "--kiln", WinePath(BuiltFile("win32", kKilnExe.string()))},
                    app.folder().string() + ".wine-pack.txt"),
            0)
      << ReadFile(app.folder().string() + ".wine-pack.txt");
  EXPECT_EQ(FilesUnder(windowsOut), FilesUnder(run.out));
  EXPECT_TRUE(ReadFile(windowsOut / "Caf\u00e9 Game" / "Caf\u00e9 Game.exe") == ReadFile(exe));
}

// A packed copy of the test bed's kiln.exe starts, finds its runtime and
// shows its icon, from the folder kiln-pack wrote.
TEST(PackUnderWineTest, APackedExeRuns) {
  RegisterRuntime("HKCU", kStableChannel, StageInstalledRuntime("packed", "120.0.2210.91"));
  TestApp app(CurrentTestName());
  App(kShownApp, WithIcon("icon.png"))(app);
  const PackRun run = PackNatively(app, {"--kiln", (WinBuildDir() / kKilnExe).string()});
  ASSERT_EQ(run.exitCode, 0) << ::testing::PrintToString(run.output);
  RunOptions options;
  options.program = run.out / "Caf\u00e9 Game" / "Caf\u00e9 Game.exe";
  const StandInRun started = RunWithStandIn(
      app, {{"steps", {{{"do", "snapshot"}, {"label", "icon"}}, {{"do", "end"}}}}}, options);
  ForgetRuntimes();
  ExpectCleanRun(started);
  EXPECT_EQ(started.First("snapshot")["classIcon"], true);
  EXPECT_EQ(started.run.ExitCode(), 0);
}

// The example a new user packs first, examples/hello with the example
// extension and a fixed runtime, packed by the build's own kiln-pack for the
// architecture under test, which it finds in the build output: the packed
// exe comes up with the example's title, and the extension answers the call
// the page makes once the host is ready.
TEST(PackUnderWineTest, TheHelloExampleRunsPacked) {
  TestApp app(CurrentTestName());
  const fs::path example = fs::path(KILN_SOURCE_DIR) / "examples" / "hello";
  json package = json::parse(ReadFile(example / "package.json"));
  package["settings"]["distribution-mode"] = "fixed";
  app.WritePackageJson(package.dump());
  app.CopyFrom(example / "www", "www");
  app.CopyFrom(WinBuildDir() / "examples" / "extension" / "example.ext.dll", "example.ext.dll");
  InstallFixedRuntime(app);
  const std::optional<PeImage> built = ReadPeImage(ReadFile(WinBuildDir() / kKilnExe));
  ASSERT_TRUE(built);
  const std::string arch = built->machine == kMachineAmd64 ? "x64" : "x86";
  const PackRun packed = PackNatively(app, {"--arch", arch}, true);
  ASSERT_EQ(packed.exitCode, 0) << ::testing::PrintToString(packed.output);
  EXPECT_EQ(packed.output.back(), "packed " + (packed.out / "Hello from Kiln" / "Hello from Kiln.exe").string());

  RunOptions options;
  options.program = packed.out / "Hello from Kiln" / "Hello from Kiln.exe";
  const StandInRun run = RunWithStandIn(
      app,
      {{"steps",
        {Step("dom-content-loaded"), Step("snapshot", {{"label", "shown"}}), Post({{"type", "wrapper-init"}}),
         Post(ExtensionMessage("example", "add", {2, 3.5}, 1)), Step("end")}}},
      options);
  ExpectCleanRun(run);
  EXPECT_EQ(run.run.ExitCode(), 0);
  EXPECT_EQ(Snapshot(run, "shown")["caption"], "Hello from Kiln");
  const std::vector<std::string> posted = PostedTexts(run);
  ASSERT_EQ(posted.size(), 2u) << ::testing::PrintToString(posted);
  EXPECT_EQ(json::parse(posted[0])["registeredComponentIds"], json({"example"}));
  const json answer = json::parse(posted[1]);
  EXPECT_EQ(answer["componentId"], "example");
  EXPECT_EQ(answer["asyncId"], 1);
  EXPECT_EQ(answer["params"], json({{"sum", 5.5}}));
}

}  // namespace
}  // namespace kiln::testing

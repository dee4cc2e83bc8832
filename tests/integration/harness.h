// Runs the real kiln.exe under Wine, the way a user would start it: from a
// fresh app folder, through the runner tool, which records every message box,
// the main window and the exit code.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace kiln::testing {

namespace fs = std::filesystem;
using nlohmann::json;

// The Windows build the tests run (KILN_WIN_BUILD), e.g. build/win32.
fs::path WinBuildDir();

// "Suite.Test" of the running test, which names its app folder.
std::string CurrentTestName();

// The same path as Windows programs in the prefix see it (drive Z: is /).
std::string WinePath(const fs::path& path);

// A fresh app folder holding kiln.exe, removed and made anew per test.
class TestApp {
 public:
  explicit TestApp(const std::string& name);

  const fs::path& folder() const { return folder_; }
  fs::path Path(const std::string& relative) const { return folder_ / relative; }

  void WritePackageJson(const std::string& text) const { WriteFile("package.json", text); }
  void WriteFile(const std::string& relative, const std::string& bytes) const;
  void CopyFrom(const fs::path& source, const std::string& relative) const;

 private:
  fs::path folder_;
};

struct RunOptions {
  int timeoutMs = 20000;
  // Close the main window as soon as it exists (it stays hidden until a page
  // loads, so without a web view nothing else would end the run).
  bool closeWindow = false;
  // Other window classes to record, and to close once they are seen.
  std::vector<std::string> watchClasses;
  std::vector<std::string> closeClasses;
  // Extra environment for the run, e.g. the stand-in runtime's scenario.
  std::vector<std::pair<std::string, std::string>> environment;
  // Started instead of the app's kiln.exe when set (e.g. a baseline program).
  std::optional<fs::path> program;
};

struct RunResult {
  std::vector<json> events;

  std::vector<json> Dialogs() const;
  std::optional<json> Window() const;  // the main window
  std::vector<json> Windows(const std::string& className) const;
  std::optional<int> ExitCode() const;  // none when the run timed out
  bool TimedOut() const;
};

RunResult RunKiln(const TestApp& app, const RunOptions& options = {});

// Runs a program of the Wine prefix (e.g. "reg") and returns its exit code.
int RunWine(const std::vector<std::string>& arguments);
// The same with the program's standard output written to a file.
int RunWine(const std::vector<std::string>& arguments, const fs::path& output);

// Runs a Linux program, standard output written to a file; its exit code.
int RunNative(const std::vector<std::string>& command, const fs::path& output);

// Screen DPI seen by processes started afterwards.
void SetScreenDpi(int logPixels);

// Writes a registry value of the prefix with `wine reg add`.
void SetRegistryString(const std::string& key, const std::string& name, const std::string& value);
void DeleteRegistryKey(const std::string& key);

// The prefix's local application data folder (where user data folders go).
fs::path LocalAppDataDir();

// Reads a file whole; empty when it does not exist.
std::string ReadFile(const fs::path& path);

// A text file's lines, without their line ends ("\n" or "\r\n").
std::vector<std::string> ReadLines(const fs::path& path);

// A file of another build of this checkout (preset "win32", "win64", ...).
fs::path BuiltFile(const char* preset, const std::string& relative);

// Reads a file of JSON lines, skipping blank lines.
std::vector<json> ReadJsonLines(const fs::path& path);

}  // namespace kiln::testing

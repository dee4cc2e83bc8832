#include "harness.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace kiln::testing {
namespace {

std::string RequiredEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (!value || !*value) {
    throw std::runtime_error(std::string(name) +
                             " is not set: run the integration tests through scripts/test.sh");
  }
  return value;
}

int Spawn(const std::vector<std::string>& arguments,
          const std::vector<std::pair<std::string, std::string>>& extraEnvironment,
          const std::string& output = "/dev/null") {
  std::vector<std::string> environment;
  for (char** entry = environ; *entry; ++entry) environment.emplace_back(*entry);
  for (const auto& [name, value] : extraEnvironment) environment.push_back(name + "=" + value);

  std::vector<char*> argv, envp;
  for (const std::string& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  for (const std::string& e : environment) envp.push_back(const_cast<char*>(e.c_str()));
  envp.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
  pid_t pid = 0;
  const int error = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (error != 0) throw std::runtime_error("cannot start " + arguments[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string WineLoader() { return RequiredEnvironment("WINELOADER"); }

// Under emulation every program of the shipped 32-bit build runs many times
// slower; the test command then sets KILN_TEST_TIME_SCALE to stretch each
// run's time limit alike, and names in KILN_RUNNER a runner the machine runs
// natively, so that only kiln.exe itself is emulated.
std::string RunnerProgram() {
  const char* runner = std::getenv("KILN_RUNNER");
  return runner && *runner ? runner : (WinBuildDir() / "tests" / "tools" / "runner.exe").string();
}

int ScaledTimeoutMs(int timeoutMs) {
  const char* scale = std::getenv("KILN_TEST_TIME_SCALE");
  const int factor = scale ? std::atoi(scale) : 1;
  return factor > 1 ? timeoutMs * factor : timeoutMs;
}

}  // namespace

fs::path WinBuildDir() { return RequiredEnvironment("KILN_WIN_BUILD"); }

std::string CurrentTestName() {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  return std::string(info->test_suite_name()) + "." + info->name();
}

std::string WinePath(const fs::path& path) {
  std::string text = "Z:" + fs::absolute(path).lexically_normal().string();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

TestApp::TestApp(const std::string& name) : folder_(WinBuildDir().parent_path() / "it" / name) {
  fs::remove_all(folder_);
  fs::create_directories(folder_);
  fs::copy_file(WinBuildDir() / "src" / "kiln.exe", folder_ / "kiln.exe");
}

void TestApp::WriteFile(const std::string& relative, const std::string& bytes) const {
  const fs::path path = folder_ / relative;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

void TestApp::CopyFrom(const fs::path& source, const std::string& relative) const {
  const fs::path path = folder_ / relative;
  fs::create_directories(path.parent_path());
  fs::copy(source, path, fs::copy_options::overwrite_existing | fs::copy_options::recursive);
}

std::vector<json> RunResult::Dialogs() const {
  std::vector<json> dialogs;
  for (const json& e : events) {
    if (e.value("event", "") == "dialog") dialogs.push_back(e);
  }
  return dialogs;
}

std::vector<json> RunResult::Windows(const std::string& className) const {
  std::vector<json> windows;
  for (const json& e : events) {
    if (e.value("event", "") == "window" && e.value("class", "") == className) {
      windows.push_back(e);
    }
  }
  return windows;
}

std::optional<json> RunResult::Window() const {
  const std::vector<json> windows = Windows("WindowsWebview2Wrapper");
  if (windows.empty()) return std::nullopt;
  return windows.front();
}

std::optional<int> RunResult::ExitCode() const {
  for (const json& e : events) {
    if (e.value("event", "") == "exit") return e["code"].get<int>();
  }
  return std::nullopt;
}

bool RunResult::TimedOut() const {
  for (const json& e : events) {
    if (e.value("event", "") == "timeout") return true;
  }
  return false;
}

RunResult RunKiln(const TestApp& app, const RunOptions& options) {
  const fs::path record = app.Path("runner.jsonl");
  fs::remove(record);
  std::vector<std::string> arguments = {
      WineLoader(), RunnerProgram(),
      "--out", WinePath(record), "--timeout", std::to_string(ScaledTimeoutMs(options.timeoutMs))};
  if (options.closeWindow) arguments.push_back("--close-window");
  for (const std::string& name : options.watchClasses) {
    arguments.insert(arguments.end(), {"--watch-class", name});
  }
  for (const std::string& name : options.closeClasses) {
    arguments.insert(arguments.end(), {"--close-class", name});
  }
  arguments.push_back("--");
  arguments.push_back(WinePath(options.program.value_or(app.Path("kiln.exe"))));
  Spawn(arguments, options.environment);
  return RunResult{ReadJsonLines(record)};
}

int RunWine(const std::vector<std::string>& arguments) { return RunWine(arguments, "/dev/null"); }

int RunWine(const std::vector<std::string>& arguments, const fs::path& output) {
  std::vector<std::string> command = {WineLoader()};
  command.insert(command.end(), arguments.begin(), arguments.end());
  return Spawn(command, {}, output);
}

int RunNative(const std::vector<std::string>& command, const fs::path& output) {
  return Spawn(command, {}, output);
}

void SetScreenDpi(int logPixels) {
  RunWine({"reg", "add", "HKCU\\Control Panel\\Desktop", "/v", "LogPixels", "/t", "REG_DWORD",
           "/d", std::to_string(logPixels), "/f"});
}

void SetRegistryString(const std::string& key, const std::string& name, const std::string& value) {
  RunWine({"reg", "add", key, "/v", name, "/t", "REG_SZ", "/d", value, "/f"});
}

void DeleteRegistryKey(const std::string& key) { RunWine({"reg", "delete", key, "/f"}); }

fs::path LocalAppDataDir() {
  const fs::path users = fs::path(RequiredEnvironment("WINEPREFIX")) / "drive_c" / "users";
  for (const auto& user : fs::directory_iterator(users)) {
    const fs::path local = user.path() / "AppData" / "Local";
    if (user.path().filename() != "Public" && fs::is_directory(local)) return local;
  }
  throw std::runtime_error("no user profile in the Wine prefix");
}

std::string ReadFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::vector<json> ReadJsonLines(const fs::path& path) {
  std::vector<json> lines;
  std::istringstream in(ReadFile(path));
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(json::parse(line));
  }
  return lines;
}

std::vector<std::string> ReadLines(const fs::path& path) {
  std::vector<std::string> lines;
  std::istringstream text(ReadFile(path));
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

fs::path BuiltFile(const char* preset, const std::string& relative) {
  return WinBuildDir().parent_path() / preset / relative;
}

}  // namespace kiln::testing

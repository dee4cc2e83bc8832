#include "stand_in.h"

#include <gtest/gtest.h>

namespace kiln::testing {
namespace {

// The architecture folder the Windows build under test loads runtimes from.
std::string Architecture() { return WinBuildDir().filename() == "win32" ? "x86" : "x64"; }

fs::path StandInDll() {
  return WinBuildDir() / "tests" / "runtime" / "EmbeddedBrowserWebView.dll";
}

void CopyStandIn(const fs::path& runtimeFolder) {
  const fs::path target = runtimeFolder / "EBWebView" / Architecture();
  fs::create_directories(target);
  fs::copy_file(StandInDll(), target / "EmbeddedBrowserWebView.dll",
                fs::copy_options::overwrite_existing);
}

std::string ClientStateKey(const std::string& hive, const char* channel) {
  return hive + "\\Software\\Microsoft\\EdgeUpdate\\ClientState\\" + channel;
}

}  // namespace

void InstallFixedRuntime(const TestApp& app) { CopyStandIn(app.Path("webview2")); }

fs::path StageInstalledRuntime(const std::string& name, const std::string& version) {
  const fs::path folder = WinBuildDir().parent_path() / "runtimes" / name / version;
  fs::remove_all(folder.parent_path());
  CopyStandIn(folder);
  return folder;
}

void RegisterRuntime(const std::string& hive, const char* channel, const fs::path& folder) {
  RunWine({"reg", "add", ClientStateKey(hive, channel), "/v", "EBWebView", "/t", "REG_SZ", "/d",
           WinePath(folder), "/f", "/reg:32"});
}

void ForgetRuntimes() {
  for (const char* hive : {"HKLM", "HKCU"}) {
    RunWine({"reg", "delete", std::string(hive) + "\\Software\\Microsoft\\EdgeUpdate\\ClientState",
             "/f", "/reg:32"});
  }
}

std::vector<json> StandInRun::Events(const std::string& event) const {
  std::vector<json> lines;
  for (const json& line : transcript) {
    if (line.value("event", "") == event) lines.push_back(line);
  }
  return lines;
}

json StandInRun::First(const std::string& event) const {
  for (const json& line : transcript) {
    if (line.value("event", "") == event) return line;
  }
  return json::object();
}

json StandInRun::Evaluated(const std::string& label) const {
  for (const json& line : Events("evaluated")) {
    if (line.value("label", "") == label) {
      EXPECT_FALSE(line.contains("error")) << label << ": " << line["error"];
      return line.value("value", json());
    }
  }
  ADD_FAILURE() << "nothing evaluated as " << label;
  return json();
}

StandInRun RunWithStandIn(const TestApp& app, const json& scenario, RunOptions options) {
  app.WriteFile("scenario.json", scenario.dump());
  const fs::path transcript = app.Path("transcript.jsonl");
  fs::remove(transcript);
  options.environment.emplace_back("KILN_TEST_SCENARIO", WinePath(app.Path("scenario.json")));
  options.environment.emplace_back("KILN_TEST_TRANSCRIPT", WinePath(transcript));
  StandInRun result;
  result.run = RunKiln(app, options);
  result.transcript = ReadJsonLines(transcript);
  return result;
}

void ExpectCleanRun(const StandInRun& run, bool ended) {
  for (const json& error : run.Events("error")) ADD_FAILURE() << "stand-in: " << error.dump();
  for (const json& failure : run.Events("handler-failed")) ADD_FAILURE() << failure.dump();
  if (!ended) return;
  std::vector<std::string> released;
  for (const json& line : run.Events("released")) released.push_back(line["object"]);
  EXPECT_EQ(released, (std::vector<std::string>{"controller", "web view", "environment"}))
      << "every WebView2 object Kiln held is released at exit";
}

}  // namespace kiln::testing

// Runs the real kiln.exe against the stand-in WebView2 runtime
// (tests/runtime): installs it where Kiln's loader looks, hands it a
// scenario and reads back its transcript.
#pragma once

#include <string>
#include <vector>

#include "harness.h"

namespace kiln::testing {

// The channels of installed runtimes, by their client-state GUIDs.
inline constexpr char kStableChannel[] = "{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
inline constexpr char kBetaChannel[] = "{2CD8A007-E189-409D-A2C8-9AF4EF3C72AA}";
inline constexpr char kDevChannel[] = "{0D50BFEC-CD6A-4F9A-964C-C7416E3ACB10}";
inline constexpr char kCanaryChannel[] = "{65C35B14-6C1D-4122-AC46-7148CC9D6497}";

// The virtual origin Kiln serves a bundled app from.
inline constexpr char kOrigin[] = "https://app.kiln.localhost/";

// Puts the stand-in into <app>\webview2, laid out as a fixed runtime.
void InstallFixedRuntime(const TestApp& app);

// A runtime folder as the evergreen installer lays it out, named after its
// version: <build>/runtimes/<name>/<version>/EBWebView/<arch>/.
fs::path StageInstalledRuntime(const std::string& name, const std::string& version);

// Registers folder as the channel's runtime, in "HKLM" or "HKCU" as a 32-bit
// process sees them.
void RegisterRuntime(const std::string& hive, const char* channel, const fs::path& folder);
// Removes every registration RegisterRuntime can make.
void ForgetRuntimes();

struct StandInRun {
  RunResult run;
  std::vector<json> transcript;

  // Transcript lines of one event kind, in order.
  std::vector<json> Events(const std::string& event) const;
  // The first such line, or an empty object.
  json First(const std::string& event) const;
  // The value the page's evaluate step labelled label gave; a failure when
  // it threw or never ran.
  json Evaluated(const std::string& label) const;
};

// Writes the scenario into the app folder and runs kiln.exe with it.
StandInRun RunWithStandIn(const TestApp& app, const json& scenario, RunOptions options = {});

// What every run should leave behind: no errors reported by the stand-in,
// and, after a normal end, every WebView2 object released.
void ExpectCleanRun(const StandInRun& run, bool ended = true);

}  // namespace kiln::testing

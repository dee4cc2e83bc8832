// kiln-check [APP_FOLDER]: tells an app's author what kiln.exe would make of
// their app folder. Exit code 0 without errors, 1 with errors, 2 when the
// folder cannot be read.
#include <memory>
#include <string>
#include <vector>

#include "check/app_check.h"
#include "check/app_folder.h"
#include "check/console.h"

namespace {

constexpr char kUsage[] =
    "usage: kiln-check [APP_FOLDER]\n"
    "Checks the app folder (by default the current folder) as kiln.exe would read it:\n"
    "package.json, www, the icon, extensions and a fixed WebView2 runtime.\n"
    "Prints one line per finding, \"error:\" for what stops kiln.exe or breaks the app,\n"
    "\"warning:\" for what works but is probably not meant, then a summary line.\n"
    "Exit code: 0 without errors, 1 with errors, 2 when the folder cannot be read.\n";

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = kiln::CommandLineArguments(argc, argv);
  if (!arguments.empty() && (arguments[0] == "-h" || arguments[0] == "--help")) {
    kiln::WriteOutput(kUsage);
    return 0;
  }
  if (arguments.size() > 1 || (!arguments.empty() && arguments[0].empty())) {
    kiln::WriteOutput(kUsage);
    return 2;
  }
  const std::string path = arguments.empty() ? "." : arguments[0];
  const std::unique_ptr<kiln::AppFolder> folder = kiln::OpenAppFolder(path);
  if (!folder) {
    kiln::WriteOutput("error: " + path + ": cannot be read as a folder\n");
    return 2;
  }
  const kiln::Findings findings = kiln::CheckAppFolder(*folder);
  kiln::WriteOutput(kiln::FormatReport(findings.list()));
  return findings.HasErrors() ? 1 : 0;
}

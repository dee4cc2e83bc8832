// kiln-check [APP_FOLDER] [--kiln KILN_EXE]: tells an app's author what
// kiln.exe would make of their app folder. Exit code 0 without errors, 1
// with errors, 2 when the folder or the named kiln.exe cannot be read.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "check/app_check.h"
#include "check/app_folder.h"
#include "check/console.h"
#include "check/kiln_exe.h"

namespace {

constexpr char kUsage[] =
    "usage: kiln-check [APP_FOLDER] [--kiln KILN_EXE]\n"
    "Checks the app folder (by default the current folder) as kiln.exe would read it:\n"
    "package.json, www, the icon, extensions, steam_api.dll and a fixed WebView2 runtime.\n"
    "DLLs and the runtime are judged against the architecture (x86 or x64) of the kiln.exe\n"
    "--kiln names, else of the folder's kiln.exe (or of another exe in it that is kiln.exe,\n"
    "one packed for the game), else of the shipped build, x86.\n"
    "Prints one line per finding, \"error:\" for what stops kiln.exe or breaks the app,\n"
    "\"warning:\" for what works but is probably not meant, then a summary line.\n"
    "Exit code: 0 without errors, 1 with errors, 2 when the folder or the kiln.exe\n"
    "cannot be read.\n";

#ifdef _WIN32
constexpr char kSeparators[] = "/\\";
#else
constexpr char kSeparators[] = "/";
#endif

// The kiln.exe at path, read through the folder that holds it.
std::optional<kiln::KilnTarget> ReadKilnExe(const std::string& path) {
  const size_t separator = path.find_last_of(kSeparators);
  const std::string name = separator == std::string::npos ? path : path.substr(separator + 1);
  std::string parent = separator == std::string::npos ? "." : path.substr(0, separator);
  // "/kiln.exe" and "C:\kiln.exe" lie in a root, which keeps its separator.
  if (parent.empty() || parent.back() == ':') parent = path.substr(0, separator + 1);
  const std::unique_ptr<kiln::AppFolder> folder = kiln::OpenAppFolder(parent);
  if (!folder || name.empty()) return std::nullopt;
  const std::optional<std::string> bytes = folder->Read(name, uint64_t{256} << 20);
  const std::optional<kiln::PeImage> image =
      bytes ? kiln::ReadPeImage(*bytes) : std::optional<kiln::PeImage>();
  const std::optional<kiln::KilnArch> arch =
      image ? kiln::KilnExeArch(*bytes, *image) : std::optional<kiln::KilnArch>();
  if (!arch) return std::nullopt;
  return kiln::KilnTarget{*arch, name};
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = kiln::CommandLineArguments(argc, argv);
  std::optional<std::string> path, kilnPath;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-h" || argument == "--help") {
      kiln::WriteOutput(kUsage);
      return 0;
    } else if (argument == "--kiln" && !kilnPath && i + 1 < arguments.size() &&
               !arguments[i + 1].empty()) {
      kilnPath = arguments[++i];
    } else if (!path && !argument.empty() && argument[0] != '-') {
      path = argument;
    } else {
      kiln::WriteOutput(kUsage);
      return 2;
    }
  }
  if (!path) path = ".";
  const std::unique_ptr<kiln::AppFolder> folder = kiln::OpenAppFolder(*path);
  if (!folder) {
    kiln::WriteOutput("error: " + *path + ": cannot be read as a folder\n");
    return 2;
  }
  std::optional<kiln::KilnTarget> target;
  if (kilnPath) {
    target = ReadKilnExe(*kilnPath);
    if (!target) {
      kiln::WriteOutput("error: " + *kilnPath + ": cannot be read, or is not kiln.exe\n");
      return 2;
    }
  } else {
    target = kiln::FindKilnExeIn(*folder);
  }
  const kiln::Findings findings = kiln::CheckAppFolder(*folder, target.value_or(kiln::KilnTarget{}));
  kiln::WriteOutput(kiln::FormatReport(findings.list()));
  return findings.HasErrors() ? 1 : 0;
}

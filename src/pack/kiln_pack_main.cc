// kiln-pack APP_FOLDER [options]: the folder players are given, made from an
// app folder. Exit code 0 when packed, 1 otherwise.
#include <string>
#include <vector>

#include "check/console.h"
#include "check/findings.h"
#include "check/kiln_exe.h"
#include "pack/pack.h"

namespace {

constexpr char kUsage[] =
    "usage: kiln-pack APP_FOLDER [--out DIR] [--zip] [--sign PFX] [--exe-name NAME]\n"
    "                 [--icon FILE] [--arch x86|x64] [--kiln KILN_EXE]\n"
    "Checks the app folder as kiln-check does, then writes DIR/<Product>/ (DIR is \"dist\"\n"
    "by default): <Product>.exe, the shipped kiln.exe named for the game with its icon\n"
    "and version information, beside package.json, www, the icon, the extensions and,\n"
    "in the fixed distribution mode, webview2. <Product> is window.title, else name.\n"
    "  --zip        also writes DIR/<Product>.zip of that folder\n"
    "  --sign PFX   signs the exe with osslsigncode (password: KILN_SIGN_PASSWORD or asked)\n"
    "  --exe-name   names the exe instead of the title\n"
    "  --icon FILE  makes the exe's icon of FILE instead of window.icon\n"
    "  --arch ARCH  packs the x86 build of kiln.exe (the default, as shipped) or the x64 one;\n"
    "               extensions, steam_api.dll (steam_api64.dll for x64) and a fixed runtime\n"
    "               (webview2/EBWebView/x86 or x64) must be of that architecture\n"
    "  --kiln FILE  the kiln.exe to pack; without --arch its architecture is packed\n"
    "Without --kiln, the kiln.exe of the architecture is the first of: kiln.exe beside\n"
    "kiln-pack (an installed Kiln), then, in a build, build/win32/src/kiln.exe (x86) or\n"
    "build/win64/src/kiln.exe (x64), found from kiln-pack's own build/<preset>/src.\n"
    "Exit code: 0 when packed, 1 otherwise.\n";

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = kiln::CommandLineArguments(argc, argv);
  kiln::PackOptions options;
  bool folderGiven = false;
  std::string arch;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size() && !arguments[i + 1].empty();
    std::string* value = argument == "--out"        ? &options.outDir
                         : argument == "--sign"     ? &options.signPfx
                         : argument == "--exe-name" ? &options.exeName
                         : argument == "--icon"     ? &options.icon
                         : argument == "--kiln"     ? &options.kiln
                         : argument == "--arch"     ? &arch
                                                    : nullptr;
    if (argument == "-h" || argument == "--help") {
      kiln::WriteOutput(kUsage);
      return 0;
    } else if (value && hasValue) {
      *value = arguments[++i];
    } else if (argument == "--zip") {
      options.zip = true;
    } else if (!value && !folderGiven && !argument.empty() && argument[0] != '-') {
      options.appFolder = argument;
      folderGiven = true;
    } else {
      kiln::WriteOutput(kUsage);
      return 1;
    }
  }
  if (!folderGiven) {
    kiln::WriteOutput(kUsage);
    return 1;
  }
  if (!arch.empty()) {
    options.arch = kiln::ArchNamed(arch);
    if (!options.arch) {
      kiln::WriteOutput("error: --arch takes x86 or x64, not " + kiln::Quoted(arch) + "\n");
      return 1;
    }
  }
  const std::unique_ptr<kiln::PackFiles> files = kiln::OpenPackFiles();
  return kiln::Pack(options, *files);
}

// kiln-pack APP_FOLDER [options]: the folder players are given, made from an
// app folder. Exit code 0 when packed, 1 otherwise.
#include <string>
#include <vector>

#include "check/console.h"
#include "pack/pack.h"

namespace {

constexpr char kUsage[] =
    "usage: kiln-pack APP_FOLDER [--out DIR] [--zip] [--sign PFX] [--exe-name NAME]\n"
    "                 [--icon FILE] [--kiln KILN_EXE]\n"
    "Checks the app folder as kiln-check does, then writes DIR/<Product>/ (DIR is \"dist\"\n"
    "by default): <Product>.exe, the shipped kiln.exe named for the game with its icon\n"
    "and version information, beside package.json, www, the icon, the extensions and,\n"
    "in the fixed distribution mode, webview2. <Product> is window.title, else name.\n"
    "  --zip        also writes DIR/<Product>.zip of that folder\n"
    "  --sign PFX   signs the exe with osslsigncode (password: KILN_SIGN_PASSWORD or asked)\n"
    "  --exe-name   names the exe instead of the title\n"
    "  --icon FILE  makes the exe's icon of FILE instead of window.icon\n"
    "  --kiln FILE  the kiln.exe to pack (by default the one beside kiln-pack)\n"
    "Exit code: 0 when packed, 1 otherwise.\n";

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments = kiln::CommandLineArguments(argc, argv);
  kiln::PackOptions options;
  bool folderGiven = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    const bool hasValue = i + 1 < arguments.size() && !arguments[i + 1].empty();
    std::string* value = argument == "--out"        ? &options.outDir
                         : argument == "--sign"     ? &options.signPfx
                         : argument == "--exe-name" ? &options.exeName
                         : argument == "--icon"     ? &options.icon
                         : argument == "--kiln"     ? &options.kiln
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
  const std::unique_ptr<kiln::PackFiles> files = kiln::OpenPackFiles();
  return kiln::Pack(options, *files);
}

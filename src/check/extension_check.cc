#include "check/extension_check.h"

#include <algorithm>

#include "check/dll_check.h"
#include "common/ascii.h"
#include "extensions/extension_lifecycle.h"

namespace kiln {
namespace {

bool Exports(const PeImage& image, const std::string& name) {
  return std::find(image.exports.begin(), image.exports.end(), name) != image.exports.end();
}

// What a WINAPI (__stdcall) definition of the entry is exported as:
// "_WrapperExtInit@4" from MSVC, "WrapperExtInit@4" from MinGW.
std::string StdcallExport(const PeImage& image) {
  for (const char* name : {"_WrapperExtInit@4", "WrapperExtInit@4"}) {
    if (Exports(image, name)) return name;
  }
  return {};
}

bool EndsWithDll(const std::string& name) {
  return name.size() >= 4 && EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".dll");
}

void CheckExtensionEntryName(const std::string& name, const PeImage& image, Findings& findings) {
  if (Exports(image, kExtensionEntryName)) return;
  const std::string stdcall = StdcallExport(image);
  if (!stdcall.empty()) {
    findings.Error(name, "exports " + stdcall +
                             ", the name of a WINAPI (__stdcall) function; kiln.exe calls "
                             "WrapperExtInit, an extern \"C\" function of the default (cdecl) "
                             "convention");
    return;
  }
  for (const std::string& exported : image.exports) {
    if (exported.find(kExtensionEntryName) != std::string::npos) {
      findings.Error(name, "exports " + Quoted(exported) +
                               " instead of WrapperExtInit; declare it extern \"C\" so that "
                               "its name stays plain");
      return;
    }
  }
  findings.Error(name, "does not export WrapperExtInit; kiln.exe skips it");
}

}  // namespace

void CheckExtensions(AppFolder& folder, const KilnTarget& kiln, Findings& findings) {
  const std::optional<std::vector<FolderEntry>> entries = folder.List("");
  if (!entries) return;
  for (const FolderEntry& entry : *entries) {
    if (IsExtensionFileName(entry.name)) {
      // kiln.exe passes over folders; a link it loads like a file.
      if (folder.Examine(entry.name).isFolder) {
        findings.Warning(entry.name, "is a folder; kiln.exe loads extensions from files only");
      } else if (const auto image = ReadLoadableDll(folder, entry.name, kiln, findings)) {
        CheckExtensionEntryName(entry.name, *image, findings);
      }
    } else if (EndsWithDll(entry.name) && entry.kind != EntryKind::Folder) {
      const std::optional<PeImage> image = ReadAnyImage(folder, entry.name);
      if (image && (Exports(*image, kExtensionEntryName) || !StdcallExport(*image).empty())) {
        findings.Warning(entry.name, "exports WrapperExtInit, but kiln.exe loads only DLLs "
                                     "whose names end in \".ext.dll\"");
      }
    }
  }
}

void CheckSteamApi(AppFolder& folder, const KilnTarget& kiln, Findings& findings) {
  const std::string name = kiln.arch == KilnArch::X64 ? "steam_api64.dll" : "steam_api.dll";
  const FileFacts facts = folder.Examine(name);
  if (!facts.exists) return;
  if (facts.isFolder) {
    findings.Error(name, "is a folder; the Steam extension loads the Steamworks library from a "
                         "file of this name");
  } else {
    ReadLoadableDll(folder, name, kiln, findings);
  }
}

}  // namespace kiln

#include "check/runtime_folder_check.h"

#include <algorithm>
#include <utility>
#include <vector>

#include "check/dll_check.h"
#include "check/folder_walk.h"
#include "common/ascii.h"
#include "webview/webview2/runtime_search.h"

namespace kiln {
namespace {

// Far enough for a runtime unpacked a level or two too deep.
constexpr WalkBounds kSearchBounds = {8, 20000};

// The runtime search as kiln.exe runs it, over this folder. The search
// joins names with "\" onto the executable's folder, given here as empty,
// so each path it asks about is a path in the app folder.
class AppFolderProbe final : public RuntimeProbe {
 public:
  explicit AppFolderProbe(AppFolder& folder) : folder_(folder) {}

  static std::string InFolder(std::string path) {
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    return path.substr(std::min(path.find_first_not_of('/'), path.size()));
  }

  std::string RegistryText(RegistryHive, const std::string&, const std::string&) override {
    return {};
  }
  bool IsFile(const std::string& path) override {
    const FileFacts facts = folder_.Examine(InFolder(path));
    return facts.exists && !facts.isFolder;
  }
  std::string ProductVersion(const std::string& dllPath) override {
    const std::optional<PeImage> image = ReadAnyImage(folder_, InFolder(dllPath));
    return image ? image->productVersion : std::string();
  }

 private:
  AppFolder& folder_;
};

// Every file under the runtime folder named like the client DLL.
class ClientDllSearch final : public FolderWalker {
 public:
  explicit ClientDllSearch(std::string name) : name_(std::move(name)) {}
  bool Visit(const std::string& path, const FolderEntry& entry) override {
    if (entry.kind != EntryKind::Folder && EqualsIgnoringAsciiCase(entry.name, name_)) {
      found.push_back(path);
    }
    return true;
  }
  std::vector<std::string> found;

 private:
  std::string name_;
};

// Says where the client DLL lies instead, when it lies anywhere under
// webview2: the runtime unpacked with its own top folder, or the runtime of
// another architecture.
void ReportMissingRuntime(AppFolder& folder, const std::string& expected, const KilnTarget& kiln,
                          Findings& findings) {
  const char* stops = "; kiln.exe finds no runtime and stops";
  const std::string arch = ArchName(kiln.arch);
  // "EBWebView/x86/EmbeddedBrowserWebView.dll", as the search spells it.
  const std::string layout = AppFolderProbe::InFolder(ClientDllPath("", arch));
  const std::string tail = "/" + LowerAscii(layout);
  ClientDllSearch search(layout.substr(layout.rfind('/') + 1));
  WalkFolder(folder, kFixedRuntimeFolder, kSearchBounds, search);
  const std::vector<std::string>& found = search.found;
  for (const std::string& dll : found) {
    const std::string lower = LowerAscii(dll);
    if (lower.size() > tail.size() && lower.substr(lower.size() - tail.size()) == tail) {
      findings.Error(expected, "missing, but a runtime lies in " +
                                   dll.substr(0, dll.size() - tail.size()) +
                                   "; move what that folder holds up into webview2" + stops);
      return;
    }
  }
  if (!found.empty()) {
    findings.Error(expected, "missing; webview2 holds " + found.front() + ", which is not the " +
                                 arch + " runtime " + KilnDescription(kiln) + " needs" + stops);
    return;
  }
  findings.Error(expected, "missing; the fixed distribution mode needs the " + arch +
                               " WebView2 fixed version runtime in webview2" + stops);
}

void CheckFixedRuntime(AppFolder& folder, const KilnTarget& kiln, Findings& findings) {
  AppFolderProbe probe(folder);
  const RuntimeRequest request{kFixedRuntimeFolder, "", ArchName(kiln.arch)};
  const std::optional<RuntimeLocation> runtime = FindRuntime(request, probe);
  const std::string expected = AppFolderProbe::InFolder(
      runtime ? runtime->clientDll : ClientDllPath(kFixedRuntimeFolder, ArchName(kiln.arch)));
  if (!runtime) {
    ReportMissingRuntime(folder, expected, kiln, findings);
    return;
  }
  if (!ReadLoadableDll(folder, expected, kiln, findings)) return;
  const std::string version = AvailableRuntimeVersion(request, probe);
  if (version.empty()) {
    findings.Error(expected, "has no ProductVersion in its version resource; kiln.exe takes it "
                             "for no runtime and stops");
  } else if (!IsRuntimeVersion(version)) {
    findings.Warning(expected, "has the version " + Quoted(version) +
                                   ", which is no runtime version kiln.exe can compare with "
                                   "the oldest it works with, " +
                                   kMinimumRuntimeVersion);
  } else if (!IsSupportedRuntimeVersion(version)) {
    findings.Error(expected, "is version " + version + "; kiln.exe needs " +
                                 kMinimumRuntimeVersion + " or newer");
  }
}

}  // namespace

void CheckRuntimeFolder(AppFolder& folder, const AppConfig& config, const KilnTarget& kiln,
                        Findings& findings) {
  if (config.distributionMode == DistributionMode::Fixed) {
    CheckFixedRuntime(folder, kiln, findings);
  } else if (folder.Examine(kFixedRuntimeFolder).exists) {
    findings.Warning(kFixedRuntimeFolder, "is never used: settings.distribution-mode is "
                                          "\"evergreen\", so kiln.exe uses the runtime installed "
                                          "on the machine");
  }
}

}  // namespace kiln

#include "pack/pack_plan.h"

#include <algorithm>

#include <nlohmann/json.hpp>

#include "app/app_config.h"
#include "app/user_data_folder.h"
#include "check/folder_walk.h"
#include "common/ascii.h"
#include "extensions/extension_lifecycle.h"
#include "webview/content_answer.h"
#include "webview/webview2/runtime_search.h"

namespace kiln {
namespace {

constexpr uint64_t kMaxPackageJsonBytes = uint64_t{16} << 20;

std::string Trimmed(const std::string& text) {
  const size_t start = text.find_first_not_of(" \t");
  if (start == std::string::npos) return {};
  return text.substr(start, text.find_last_not_of(" \t") - start + 1);
}

std::string TextOf(const nlohmann::json& object, const char* key) {
  if (!object.is_object()) return {};
  const auto found = object.find(key);
  return found != object.end() && found->is_string() ? Trimmed(found->get<std::string>()) : "";
}

// Every file under a folder; links to files are packed as the files they
// lead to, links to folders are left out with a warning.
class FileLister final : public FolderWalker {
 public:
  FileLister(AppFolder& folder, std::vector<std::string>& files, Findings& findings)
      : folder_(folder), files_(files), findings_(findings) {}

  bool Visit(const std::string& path, const FolderEntry& entry) override {
    if (entry.kind == EntryKind::Folder) return true;
    if (entry.kind == EntryKind::Link && folder_.Examine(path).isFolder) {
      findings_.Warning(path, "is a link to a folder, which kiln-pack leaves out");
    } else if (entry.kind != EntryKind::Other) {
      files_.push_back(path);
    }
    return false;
  }
  void TooDeep(const std::string& path) override {
    findings_.Error(path, "lies too deep to pack");
  }
  void TooMany() override { findings_.Error("", "holds too many files to pack"); }

 private:
  AppFolder& folder_;
  std::vector<std::string>& files_;
  Findings& findings_;
};

// Valve's Steam library, which the author puts beside kiln.exe for
// steam.ext.dll (Kiln never ships it): steam_api.dll for the 32-bit kiln.exe,
// steam_api64.dll for the 64-bit one.
bool IsSteamLibraryName(const std::string& name) {
  return EqualsIgnoringAsciiCase(name, "steam_api.dll") || EqualsIgnoringAsciiCase(name, "steam_api64.dll");
}

constexpr char kSteamAppIdFile[] = "steam_appid.txt";

}  // namespace

std::string ProductFileName(const std::string& name) {
  const std::string file = UserDataFolderName(name);
  for (size_t i = 0; i < name.size(); ++i) {
    if (file[i] == name[i] && name[i] != ' ') return file;
  }
  return {};
}

std::string AuthorName(const nlohmann::json& author) {
  if (author.is_object()) return TextOf(author, "name");
  if (!author.is_string()) return {};
  const std::string text = author.get<std::string>();
  return Trimmed(text.substr(0, text.find_first_of("<(")));
}

std::optional<PackPlan> PlanPack(AppFolder& folder, const std::string& exeName,
                                 Findings& findings) {
  const std::optional<std::string> text = folder.Read(kConfigFileName, kMaxPackageJsonBytes);
  if (!text) return std::nullopt;
  nlohmann::json root;
  AppConfig config;
  try {
    root = ParsePackageJson(*text);
    ParseAppConfig(*text, config);
  } catch (const std::exception&) {
    return std::nullopt;  // kiln-check has said why
  }
  PackPlan plan;
  const std::string title = root.contains("window") ? TextOf(root["window"], "title") : "";
  const std::string shown = title.empty() ? Trimmed(config.name) : title;
  std::string named = exeName;
  if (named.size() > 4 && named.compare(named.size() - 4, 4, ".exe") == 0) named.resize(named.size() - 4);
  plan.product = ProductFileName(named.empty() ? shown : named);
  if (plan.product.empty()) {
    findings.Error(named.empty() ? kConfigFileName : "--exe-name",
                   Quoted(named.empty() ? shown : named) +
                       " has no character Windows accepts in a file name; name the exe "
                       "with --exe-name");
    return std::nullopt;
  }

  const std::string version = TextOf(root, "version");
  if (!version.empty()) {
    const std::optional<VersionNumbers> numbers = ParseVersionNumbers(version);
    if (!numbers) {
      findings.Error(kConfigFileName, "version " + Quoted(version) +
                                          " is no version number such as \"1.2.3\"");
      return std::nullopt;
    }
    plan.version.numbers = *numbers;
  }
  const std::string versionText = VersionText(plan.version.numbers);
  const std::string exe = plan.product + ".exe";
  plan.version.strings = {{"FileDescription", shown}, {"ProductName", shown}};
  const std::string company = root.contains("author") ? AuthorName(root["author"]) : "";
  if (!company.empty()) plan.version.strings.push_back({"CompanyName", company});
  plan.version.strings.push_back({"FileVersion", versionText});
  plan.version.strings.push_back({"ProductVersion", versionText});
  plan.version.strings.push_back({"InternalName", exe});
  plan.version.strings.push_back({"OriginalFilename", exe});
  const std::string copyright = TextOf(root, "copyright");
  if (!copyright.empty()) plan.version.strings.push_back({"LegalCopyright", copyright});

  // package.json, the extensions and the icon beside it, then the folders.
  const std::optional<std::vector<FolderEntry>> entries = folder.List("");
  if (!entries) return std::nullopt;
  for (const FolderEntry& entry : *entries) {
    if (EqualsIgnoringAsciiCase(entry.name, kConfigFileName) ||
        ((IsExtensionFileName(entry.name) || IsSteamLibraryName(entry.name)) &&
         !folder.Examine(entry.name).isFolder)) {
      plan.files.push_back(entry.name);
    }
    if (EqualsIgnoringAsciiCase(entry.name, kSteamAppIdFile)) {
      findings.Warning(entry.name, "is left out of the build: it is for development only, and with it the "
                                   "game would never be restarted through Steam");
    }
  }
  std::string icon = config.icon;
  for (char& c : icon) {
    if (c == '\\') c = '/';
  }
  const FileFacts iconFacts = folder.Examine(icon);
  if (!icon.empty() && (!iconFacts.exists || iconFacts.isFolder)) {
    findings.Error(icon, "is no image (window.icon); kiln-pack makes the exe's icon of it");
  } else {
    plan.iconPath = icon;
  }
  FileLister lister(folder, plan.files, findings);
  WalkFolder(folder, kContentFolderName, WalkBounds{}, lister);
  if (config.distributionMode == DistributionMode::Fixed) {
    WalkFolder(folder, kFixedRuntimeFolder, WalkBounds{}, lister);
  }
  const std::string iconFolder = icon.substr(0, icon.find('/'));
  const bool iconPacked = !plan.iconPath.empty() &&
                          (EqualsIgnoringAsciiCase(iconFolder, kContentFolderName) ||
                           std::find(plan.files.begin(), plan.files.end(), plan.iconPath) !=
                               plan.files.end());
  if (!plan.iconPath.empty() && !iconPacked) plan.files.push_back(plan.iconPath);
  if (findings.HasErrors()) return std::nullopt;
  return plan;
}

}  // namespace kiln

#include "check/steam_check.h"

#include <nlohmann/json.hpp>

#include "app/app_config.h"

namespace kiln {
namespace {

constexpr uint64_t kMaxConfigBytes = 16u << 20;
constexpr char kSteamExtension[] = "steam.ext.dll";

bool IsFile(AppFolder& folder, const char* name) {
  const FileFacts facts = folder.Examine(name);
  return facts.exists && !facts.isFolder;
}

}  // namespace

void CheckSteam(AppFolder& folder, const KilnTarget& kiln, Findings& findings) {
  const char* library = kiln.arch == KilnArch::X64 ? "steam_api64.dll" : "steam_api.dll";
  const std::optional<std::string> text = folder.Read(kConfigFileName, kMaxConfigBytes);
  const nlohmann::json root = text ? nlohmann::json::parse(*text, nullptr, false) : nlohmann::json();
  const bool configured = root.is_object() && root.contains("steam");
  if (configured) {
    const nlohmann::json& steam = root["steam"];
    const nlohmann::json id = steam.is_object() && steam.contains("app-id") ? steam["app-id"] : nlohmann::json();
    const bool valid = id.is_number_integer() && !(id.is_number_unsigned() ? id.get<uint64_t>() > 4294967295u
                                                                           : id.get<int64_t>() > 4294967295) &&
                       id.get<int64_t>() >= 1;
    if (!valid) {
      findings.Error(kConfigFileName, "steam.app-id must be the game's Steam app id, a whole number from 1 to "
                                      "4294967295; steam.ext.dll ignores it and cannot check that Steam started "
                                      "the game");
    }
  }
  const bool extension = IsFile(folder, kSteamExtension);
  if (!configured && !extension) return;
  if (configured && !extension) {
    findings.Warning(kSteamExtension, "is not beside kiln.exe, though package.json names a Steam app id: "
                                      "without it the page has no Kiln.steam");
  }
  // A library that is there is judged with the other DLLs kiln.exe loads.
  if (!folder.Examine(library).exists) {
    findings.Warning(library, "is not beside kiln.exe: copy it from the Steamworks SDK's "
                              "redistributable_bin folder (Kiln does not ship it); without it "
                              "Kiln.steam.available is false");
  }
}

}  // namespace kiln

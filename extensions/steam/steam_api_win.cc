#include "steam_api_win.h"

#include <vector>

namespace kiln::steam {
namespace {

std::wstring Wide(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
  return wide;
}

// Steam's message goes to the page, which takes only valid UTF-8: keep its
// printable ASCII.
std::string SteamMessage(const char* buffer, size_t size) {
  std::string text;
  for (size_t i = 0; i < size && buffer[i]; ++i) {
    const char c = buffer[i];
    text.push_back(c >= ' ' && c <= '~' ? c : ' ');
  }
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

class Resolver {
 public:
  explicit Resolver(HMODULE module) : module_(module) {}

  template <typename Function>
  void Need(Function& slot, const char* name) {
    Optional(slot, name);
    if (!slot && missing_.empty()) missing_ = name;
  }

  template <typename Function>
  void Optional(Function& slot, const char* name) {
    slot = reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module_, name)));
  }

  const std::string& missing() const { return missing_; }

 private:
  HMODULE module_;
  std::string missing_;
};

// Fills every slot; the first export missing, or empty.
std::string Resolve(SteamApi& api) {
  Resolver r(api.module);
  r.Need(api.restartAppIfNecessary, "SteamAPI_RestartAppIfNecessary");
  r.Optional(api.initFlat, "SteamAPI_InitFlat");
  r.Optional(api.internalInit, "SteamInternal_SteamAPI_Init");
  r.Optional(api.init, "SteamAPI_Init");
  if (!api.initFlat && !api.internalInit) r.Need(api.init, "SteamAPI_Init");
  r.Need(api.shutdown, "SteamAPI_Shutdown");
  r.Need(api.isSteamRunning, "SteamAPI_IsSteamRunning");
  r.Need(api.getPipe, "SteamAPI_GetHSteamPipe");
  r.Need(api.manualDispatchInit, "SteamAPI_ManualDispatch_Init");
  r.Need(api.runFrame, "SteamAPI_ManualDispatch_RunFrame");
  r.Need(api.getNextCallback, "SteamAPI_ManualDispatch_GetNextCallback");
  r.Need(api.freeLastCallback, "SteamAPI_ManualDispatch_FreeLastCallback");
  r.Need(api.getCallResult, "SteamAPI_ManualDispatch_GetAPICallResult");
  for (int i = 0; i < static_cast<int>(Interface::Count); ++i) {
    const Interface which = static_cast<Interface>(i);
    // A DLL exports one version of each accessor: the newest we know wins.
    for (const Accessor& accessor : Accessors(which)) {
      r.Optional(api.accessors[i], accessor.exportName);
      if (api.accessors[i]) {
        api.versionTexts[i] = accessor.versionText;
        break;
      }
    }
    if (!api.accessors[i]) r.Need(api.accessors[i], Accessors(which).back().exportName);
  }

  r.Need(api.getAchievement, "SteamAPI_ISteamUserStats_GetAchievement");
  r.Need(api.setAchievement, "SteamAPI_ISteamUserStats_SetAchievement");
  r.Need(api.clearAchievement, "SteamAPI_ISteamUserStats_ClearAchievement");
  r.Need(api.indicateProgress, "SteamAPI_ISteamUserStats_IndicateAchievementProgress");
  r.Need(api.getNumAchievements, "SteamAPI_ISteamUserStats_GetNumAchievements");
  r.Need(api.getAchievementName, "SteamAPI_ISteamUserStats_GetAchievementName");
  r.Need(api.getStatInt, "SteamAPI_ISteamUserStats_GetStatInt32");
  r.Need(api.getStatFloat, "SteamAPI_ISteamUserStats_GetStatFloat");
  r.Need(api.setStatInt, "SteamAPI_ISteamUserStats_SetStatInt32");
  r.Need(api.setStatFloat, "SteamAPI_ISteamUserStats_SetStatFloat");
  r.Need(api.storeStats, "SteamAPI_ISteamUserStats_StoreStats");
  r.Optional(api.requestCurrentStats, "SteamAPI_ISteamUserStats_RequestCurrentStats");
  r.Need(api.findLeaderboard, "SteamAPI_ISteamUserStats_FindLeaderboard");
  r.Need(api.findOrCreateLeaderboard, "SteamAPI_ISteamUserStats_FindOrCreateLeaderboard");
  r.Need(api.uploadScore, "SteamAPI_ISteamUserStats_UploadLeaderboardScore");
  r.Need(api.downloadEntries, "SteamAPI_ISteamUserStats_DownloadLeaderboardEntries");
  r.Need(api.getDownloadedEntry, "SteamAPI_ISteamUserStats_GetDownloadedLeaderboardEntry");
  r.Need(api.getSteamId, "SteamAPI_ISteamUser_GetSteamID");
  r.Need(api.getPersonaName, "SteamAPI_ISteamFriends_GetPersonaName");
  r.Need(api.setRichPresence, "SteamAPI_ISteamFriends_SetRichPresence");
  r.Need(api.clearRichPresence, "SteamAPI_ISteamFriends_ClearRichPresence");
  r.Need(api.getFriendPersonaName, "SteamAPI_ISteamFriends_GetFriendPersonaName");
  r.Need(api.activateOverlay, "SteamAPI_ISteamFriends_ActivateGameOverlay");
  r.Need(api.activateOverlayToWebPage, "SteamAPI_ISteamFriends_ActivateGameOverlayToWebPage");
  r.Need(api.activateOverlayToStore, "SteamAPI_ISteamFriends_ActivateGameOverlayToStore");
  r.Need(api.getAppId, "SteamAPI_ISteamUtils_GetAppID");
  r.Need(api.isBigPicture, "SteamAPI_ISteamUtils_IsSteamInBigPictureMode");
  r.Optional(api.isSteamDeck, "SteamAPI_ISteamUtils_IsSteamRunningOnSteamDeck");
  r.Optional(api.hardwareType, "SteamAPI_ISteamUtils_IsRunningOnSteamHardware");
  r.Need(api.showGamepadTextInput, "SteamAPI_ISteamUtils_ShowGamepadTextInput");
  r.Need(api.getEnteredGamepadText, "SteamAPI_ISteamUtils_GetEnteredGamepadTextInput");
  r.Need(api.getCurrentGameLanguage, "SteamAPI_ISteamApps_GetCurrentGameLanguage");
  r.Need(api.isDlcInstalled, "SteamAPI_ISteamApps_BIsDlcInstalled");
  return r.missing();
}

bool FileExists(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

StartResult StartSteam(SteamApi& api, const std::string& appFolder, std::optional<uint32_t> appId) {
  StartResult result;
  const bool wide = sizeof(void*) == 8;
  // The full path: never a steam_api.dll found elsewhere on the search path.
  // Its own dependencies are looked for in its folder first.
  const std::wstring path = Wide(appFolder + LibraryName(wide));
  api.module = LoadLibraryExW(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!api.module) {
    const DWORD error = GetLastError();
    if (error == ERROR_MOD_NOT_FOUND || error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      result.failure = FileExists(appFolder + LibraryName(wide)) ? Failure::CannotLoad : Failure::NoLibrary;
    } else if (error == ERROR_BAD_EXE_FORMAT) {
      result.failure = Failure::WrongArchitecture;
    } else {
      result.failure = Failure::CannotLoad;
    }
    result.detail = std::to_string(error);
    return result;
  }
  // Before SDK 1.48 there were no versioned accessors and no manual dispatch.
  bool anyAccessor = false;
  for (const Accessor& accessor : Accessors(Interface::UserStats)) {
    anyAccessor = anyAccessor || GetProcAddress(api.module, accessor.exportName) != nullptr;
  }
  if (!anyAccessor && !GetProcAddress(api.module, "SteamAPI_ManualDispatch_Init")) {
    FreeLibrary(api.module);
    api = SteamApi();
    result.failure = Failure::TooOld;
    return result;
  }
  const std::string missing = Resolve(api);
  if (!missing.empty()) {
    FreeLibrary(api.module);
    api = SteamApi();
    result.failure = Failure::MissingExport;
    result.detail = missing;
    return result;
  }

  // From here on the DLL has run code and may hold threads: it stays loaded
  // for the life of the process, whatever happens.
  if (appId && !FileExists(appFolder + "steam_appid.txt") && api.restartAppIfNecessary(*appId)) {
    result.restart = true;
    return result;
  }

  char message[1024] = {};
  int32_t initResult = 0;
  if (api.initFlat) {
    initResult = api.initFlat(message);
  } else if (api.internalInit) {
    std::vector<const char*> versions(api.versionTexts, api.versionTexts + static_cast<int>(Interface::Count));
    const std::string list = VersionList(versions);
    initResult = api.internalInit(list.c_str(), message);
  } else {
    // Before SDK 1.58 the init says only yes or no.
    initResult = api.init() ? 0 : (api.isSteamRunning() ? 1 : 2);
  }
  message[sizeof(message) - 1] = '\0';
  result.failure = InitFailure(initResult);
  if (result.failure != Failure::None) {
    result.detail = SteamMessage(message, sizeof(message));
    return result;
  }

  api.manualDispatchInit();
  api.pipe = api.getPipe();
  void** interfaces[] = {&api.userStats, &api.user, &api.friends, &api.utils, &api.apps};
  for (int i = 0; i < static_cast<int>(Interface::Count); ++i) {
    *interfaces[i] = api.accessors[i]();
    if (!*interfaces[i]) {
      api.shutdown();
      result.failure = Failure::NoInterface;
      result.detail = InterfaceName(static_cast<Interface>(i));
      return result;
    }
  }
  // Up to SDK 1.60 the stats are not there until asked for; later Steam
  // loads them before the game starts.
  if (api.requestCurrentStats) api.requestCurrentStats(api.userStats);
  return result;
}

void StopSteam(SteamApi& api) {
  if (api.userStats && api.shutdown) api.shutdown();
  api.userStats = api.user = api.friends = api.utils = api.apps = nullptr;
}

}  // namespace kiln::steam

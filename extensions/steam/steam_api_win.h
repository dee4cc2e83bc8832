// steam_api.dll (steam_api64.dll in the 64-bit build) loaded from the app's
// folder at run time, every export resolved by name against our own
// declarations, and Steam started with the newest init the DLL has.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

#include "steam_flat.h"
#include "steam_rules.h"

namespace kiln::steam {

struct SteamApi {
  HMODULE module = nullptr;
  flat::HSteamPipe pipe = 0;
  void* userStats = nullptr;
  void* user = nullptr;
  void* friends = nullptr;
  void* utils = nullptr;
  void* apps = nullptr;

  // Start and dispatch.
  flat::RestartAppIfNecessary restartAppIfNecessary = nullptr;
  flat::InitFlat initFlat = nullptr;          // SDK 1.59 on
  flat::InternalInit internalInit = nullptr;  // SDK 1.58a on
  flat::InitBool init = nullptr;              // up to SDK 1.57
  flat::Void shutdown = nullptr;
  flat::BoolNoArgs isSteamRunning = nullptr;
  flat::GetPipe getPipe = nullptr;
  flat::Void manualDispatchInit = nullptr;
  flat::PipeVoid runFrame = nullptr;
  flat::GetNextCallback getNextCallback = nullptr;
  flat::PipeVoid freeLastCallback = nullptr;
  flat::GetAPICallResult getCallResult = nullptr;
  flat::Accessor accessors[static_cast<int>(Interface::Count)] = {};
  const char* versionTexts[static_cast<int>(Interface::Count)] = {};

  // ISteamUserStats.
  flat::GetAchievement getAchievement = nullptr;
  flat::SelfNameBool setAchievement = nullptr;
  flat::SelfNameBool clearAchievement = nullptr;
  flat::IndicateProgress indicateProgress = nullptr;
  flat::SelfUint32 getNumAchievements = nullptr;
  flat::GetAchievementName getAchievementName = nullptr;
  flat::GetStatInt getStatInt = nullptr;
  flat::GetStatFloat getStatFloat = nullptr;
  flat::SetStatInt setStatInt = nullptr;
  flat::SetStatFloat setStatFloat = nullptr;
  flat::SelfBool storeStats = nullptr;
  flat::SelfBool requestCurrentStats = nullptr;  // up to SDK 1.60 only
  flat::FindLeaderboard findLeaderboard = nullptr;
  flat::FindOrCreateLeaderboard findOrCreateLeaderboard = nullptr;
  flat::UploadScore uploadScore = nullptr;
  flat::DownloadEntries downloadEntries = nullptr;
  flat::GetDownloadedEntry getDownloadedEntry = nullptr;
  // ISteamUser.
  flat::SelfUint64 getSteamId = nullptr;
  // ISteamFriends.
  flat::SelfText getPersonaName = nullptr;
  flat::SetRichPresence setRichPresence = nullptr;
  flat::SelfVoid clearRichPresence = nullptr;
  flat::GetFriendPersonaName getFriendPersonaName = nullptr;
  flat::ActivateOverlay activateOverlay = nullptr;
  flat::ActivateOverlayToWebPage activateOverlayToWebPage = nullptr;
  flat::ActivateOverlayToStore activateOverlayToStore = nullptr;
  // ISteamUtils.
  flat::SelfUint32 getAppId = nullptr;
  flat::SelfBool isBigPicture = nullptr;
  flat::SelfBool isSteamDeck = nullptr;         // SDK 1.52 to 1.65
  flat::SelfInt32 hardwareType = nullptr;       // SDK 1.65a on: 1 is a Steam Deck
  flat::ShowGamepadTextInput showGamepadTextInput = nullptr;
  flat::GetEnteredGamepadText getEnteredGamepadText = nullptr;
  // ISteamApps.
  flat::SelfText getCurrentGameLanguage = nullptr;
  flat::AppIdBool isDlcInstalled = nullptr;
};

struct StartResult {
  Failure failure = Failure::None;
  std::string detail;
  bool restart = false;  // Steam starts the game again: end the process
};

// Loads the DLL from appFolder (ending in a backslash) and resolves it.
// With an app id and no steam_appid.txt beside kiln.exe, asks Steam first
// whether it must start the game itself. Then starts Steam and manual
// dispatch and fetches the interfaces. On any failure the DLL is freed.
StartResult StartSteam(SteamApi& api, const std::string& appFolder, std::optional<uint32_t> appId);

// Ends what StartSteam started.
void StopSteam(SteamApi& api);

}  // namespace kiln::steam

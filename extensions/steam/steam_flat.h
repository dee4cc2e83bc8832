// Our own declarations of the part of Steamworks' flat C API that
// steam.ext.dll calls, written from the published facts of its binary
// interface (export names, argument lists, structure layouts under Windows
// packing). No Steamworks header is used: none may be shipped with Kiln.
//
// Rules the declarations keep, which matter most in the 32-bit build:
// - every export is cdecl, the caller pops the arguments;
// - a bool result is valid in AL only, so results are declared bool (never
//   int or BOOL), and bool outputs point at one byte;
// - 64-bit values (call handles, leaderboard handles, Steam ids) are
//   uint64_t arguments and results: two stack slots, low half first, and
//   EDX:EAX on x86;
// - callback and call-result structures are packed to 8 on Windows, both
//   widths, and a Steam id inside them has alignment 1.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define KILN_STEAM_CALL __cdecl
#else
#define KILN_STEAM_CALL
#endif

namespace kiln::steam::flat {

using HSteamPipe = int32_t;
using HSteamUser = int32_t;
using SteamAPICall = uint64_t;

// Callback and call-result ids.
inline constexpr int kSteamAPICallCompleted = 703;
inline constexpr int kGameOverlayActivated = 331;
inline constexpr int kGamepadTextInputDismissed = 714;
inline constexpr int kUserStatsStored = 1102;
inline constexpr int kLeaderboardFindResult = 1104;
inline constexpr int kLeaderboardScoresDownloaded = 1105;
inline constexpr int kLeaderboardScoreUploaded = 1106;

#pragma pack(push, 8)

// A Steam id inside a structure: 8 bytes, alignment 1.
struct SteamIdBytes {
  uint8_t bytes[8];
  uint64_t Value() const {
    uint64_t value = 0;
    for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
    return value;
  }
};

struct CallbackMsg {
  HSteamUser steamUser;
  int32_t callback;
  uint8_t* param;
  int32_t paramSize;
};

struct SteamAPICallCompleted {
  SteamAPICall asyncCall;
  int32_t callback;
  uint32_t paramSize;
};

struct GameOverlayActivated {  // 1 byte before SDK 1.56, 8 before 1.58
  uint8_t active;
  bool userInitiated;
  uint32_t appId;
  uint32_t overlayPid;
};

struct GamepadTextInputDismissed {  // 8 bytes before SDK 1.56
  bool submitted;
  uint32_t submittedText;
  uint32_t appId;
};

struct UserStatsStored {
  uint64_t gameId;
  int32_t result;
};

struct LeaderboardFindResult {
  uint64_t leaderboard;
  uint8_t found;
};

struct LeaderboardScoresDownloaded {
  uint64_t leaderboard;
  uint64_t entries;
  int32_t entryCount;
};

struct LeaderboardScoreUploaded {
  uint8_t success;
  uint64_t leaderboard;
  int32_t score;
  uint8_t scoreChanged;
  int32_t globalRankNew;
  int32_t globalRankPrevious;
};

struct LeaderboardEntry {
  SteamIdBytes steamIdUser;
  int32_t globalRank;
  int32_t score;
  int32_t details;
  uint64_t ugc;
};

#pragma pack(pop)

static_assert(sizeof(SteamIdBytes) == 8 && alignof(SteamIdBytes) == 1, "a Steam id in a structure");
static_assert(offsetof(CallbackMsg, callback) == 4, "CallbackMsg_t");
static_assert(offsetof(CallbackMsg, param) == 8, "CallbackMsg_t");
static_assert(offsetof(CallbackMsg, paramSize) == (sizeof(void*) == 4 ? 12 : 16), "CallbackMsg_t");
static_assert(sizeof(CallbackMsg) == (sizeof(void*) == 4 ? 16 : 24), "CallbackMsg_t");
static_assert(sizeof(SteamAPICallCompleted) == 16 && offsetof(SteamAPICallCompleted, callback) == 8 &&
                  offsetof(SteamAPICallCompleted, paramSize) == 12, "SteamAPICallCompleted_t");
static_assert(sizeof(GameOverlayActivated) == 12 && offsetof(GameOverlayActivated, userInitiated) == 1 &&
                  offsetof(GameOverlayActivated, appId) == 4 && offsetof(GameOverlayActivated, overlayPid) == 8,
              "GameOverlayActivated_t");
static_assert(sizeof(GamepadTextInputDismissed) == 12 && offsetof(GamepadTextInputDismissed, submittedText) == 4 &&
                  offsetof(GamepadTextInputDismissed, appId) == 8, "GamepadTextInputDismissed_t");
static_assert(sizeof(UserStatsStored) == 16 && offsetof(UserStatsStored, result) == 8, "UserStatsStored_t");
static_assert(sizeof(LeaderboardFindResult) == 16 && offsetof(LeaderboardFindResult, found) == 8,
              "LeaderboardFindResult_t");
static_assert(sizeof(LeaderboardScoresDownloaded) == 24 && offsetof(LeaderboardScoresDownloaded, entries) == 8 &&
                  offsetof(LeaderboardScoresDownloaded, entryCount) == 16, "LeaderboardScoresDownloaded_t");
static_assert(sizeof(LeaderboardScoreUploaded) == 32 && offsetof(LeaderboardScoreUploaded, leaderboard) == 8 &&
                  offsetof(LeaderboardScoreUploaded, score) == 16 &&
                  offsetof(LeaderboardScoreUploaded, scoreChanged) == 20 &&
                  offsetof(LeaderboardScoreUploaded, globalRankNew) == 24 &&
                  offsetof(LeaderboardScoreUploaded, globalRankPrevious) == 28, "LeaderboardScoreUploaded_t");
static_assert(sizeof(LeaderboardEntry) == 32 && offsetof(LeaderboardEntry, globalRank) == 8 &&
                  offsetof(LeaderboardEntry, score) == 12 && offsetof(LeaderboardEntry, details) == 16 &&
                  offsetof(LeaderboardEntry, ugc) == 24, "LeaderboardEntry_t");

// The exports, by the shape of their arguments after self.
using RestartAppIfNecessary = bool(KILN_STEAM_CALL*)(uint32_t appId);
using InitFlat = int32_t(KILN_STEAM_CALL*)(char* errorMessage);  // 1024 bytes
using InternalInit = int32_t(KILN_STEAM_CALL*)(const char* versions, char* errorMessage);
using InitBool = bool(KILN_STEAM_CALL*)();
using Void = void(KILN_STEAM_CALL*)();
using BoolNoArgs = bool(KILN_STEAM_CALL*)();
using GetPipe = HSteamPipe(KILN_STEAM_CALL*)();
using Accessor = void*(KILN_STEAM_CALL*)();
using PipeVoid = void(KILN_STEAM_CALL*)(HSteamPipe pipe);
using GetNextCallback = bool(KILN_STEAM_CALL*)(HSteamPipe pipe, CallbackMsg* message);
using GetAPICallResult = bool(KILN_STEAM_CALL*)(HSteamPipe pipe, SteamAPICall call, void* result, int32_t size,
                                                int32_t expected, bool* failed);

using SelfBool = bool(KILN_STEAM_CALL*)(void* self);
using SelfVoid = void(KILN_STEAM_CALL*)(void* self);
using SelfText = const char*(KILN_STEAM_CALL*)(void* self);
using SelfUint32 = uint32_t(KILN_STEAM_CALL*)(void* self);
using SelfInt32 = int32_t(KILN_STEAM_CALL*)(void* self);
using SelfUint64 = uint64_t(KILN_STEAM_CALL*)(void* self);
using SelfNameBool = bool(KILN_STEAM_CALL*)(void* self, const char* name);
using GetAchievement = bool(KILN_STEAM_CALL*)(void* self, const char* name, bool* achieved);
using IndicateProgress = bool(KILN_STEAM_CALL*)(void* self, const char* name, uint32_t current, uint32_t max);
using GetAchievementName = const char*(KILN_STEAM_CALL*)(void* self, uint32_t index);
using GetStatInt = bool(KILN_STEAM_CALL*)(void* self, const char* name, int32_t* value);
using GetStatFloat = bool(KILN_STEAM_CALL*)(void* self, const char* name, float* value);
using SetStatInt = bool(KILN_STEAM_CALL*)(void* self, const char* name, int32_t value);
using SetStatFloat = bool(KILN_STEAM_CALL*)(void* self, const char* name, float value);
using FindLeaderboard = SteamAPICall(KILN_STEAM_CALL*)(void* self, const char* name);
using FindOrCreateLeaderboard = SteamAPICall(KILN_STEAM_CALL*)(void* self, const char* name, int32_t sort,
                                                               int32_t display);
using UploadScore = SteamAPICall(KILN_STEAM_CALL*)(void* self, uint64_t board, int32_t method, int32_t score,
                                                   const int32_t* details, int32_t detailCount);
using DownloadEntries = SteamAPICall(KILN_STEAM_CALL*)(void* self, uint64_t board, int32_t request, int32_t start,
                                                       int32_t end);
using GetDownloadedEntry = bool(KILN_STEAM_CALL*)(void* self, uint64_t entries, int32_t index,
                                                  LeaderboardEntry* entry, int32_t* details, int32_t detailsMax);
using SetRichPresence = bool(KILN_STEAM_CALL*)(void* self, const char* key, const char* value);
using GetFriendPersonaName = const char*(KILN_STEAM_CALL*)(void* self, uint64_t steamId);
using ActivateOverlay = void(KILN_STEAM_CALL*)(void* self, const char* dialog);
using ActivateOverlayToWebPage = void(KILN_STEAM_CALL*)(void* self, const char* url, int32_t mode);
using ActivateOverlayToStore = void(KILN_STEAM_CALL*)(void* self, uint32_t appId, int32_t flag);
using AppIdBool = bool(KILN_STEAM_CALL*)(void* self, uint32_t appId);
using ShowGamepadTextInput = bool(KILN_STEAM_CALL*)(void* self, int32_t mode, int32_t lineMode,
                                                    const char* description, uint32_t maxChars,
                                                    const char* existing);
using GetEnteredGamepadText = bool(KILN_STEAM_CALL*)(void* self, char* text, uint32_t size);

}  // namespace kiln::steam::flat

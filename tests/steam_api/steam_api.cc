// A stand-in steam_api.dll (steam_api64.dll in the 64-bit build), written
// from the published facts of Steamworks' flat C API and from nothing of
// steam.ext.dll, so that a mistake in one shows against the other.
//
// It plays a scenario: the JSON file named by the environment variable
// KILN_TEST_STEAM says what init answers, which achievements, stats,
// leaderboards and entries exist, who the user is, and how many pumps a call
// result is held back. Every call but the pump's own is written, with its
// arguments, as one JSON line to the file the scenario names as "log"; so
// is every broken rule of the API ("error" lines).
//
// What it proves on the 32-bit build: every bool result comes back with
// garbage above AL, so a caller that reads more than AL sees true for
// false; 64-bit handles have both halves non-zero, so a handle passed in
// one stack slot, or split the wrong way, is caught; the structures are laid
// out by the sheet's pack(8) offsets, checked at compile time below.
//
// Variants (STEAM_SDK): 165 (1.65a: InitFlat, Utils v011, hardware type),
// 157 (SteamAPI_Init only, older accessors, RequestCurrentStats, the Deck
// call), 147 (before versioned accessors), and 165 with BROKEN set (one
// method export missing).
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <deque>
#include <map>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#ifndef STEAM_SDK
#define STEAM_SDK 165
#endif

using nlohmann::json;

#define EXPORT extern "C" __declspec(dllexport)
#define CALL __cdecl

// A bool result as Steam's DLL leaves it: the upper bits of EAX (RAX) are
// whatever was there.
using BoolResult = uintptr_t;
static BoolResult Bool(bool value) {
  return (static_cast<uintptr_t>(0x5A5A5A5A5A5A5A5Aull) & ~static_cast<uintptr_t>(0xFF)) | (value ? 1 : 0);
}

// ---- Layouts from the sheet: pack(8) on Windows of both widths. ----
#pragma pack(push, 8)
struct CallbackMsg_t {
  int32_t m_hSteamUser;
  int32_t m_iCallback;
  uint8_t* m_pubParam;
  int32_t m_cubParam;
};
struct SteamAPICallCompleted_t {
  uint64_t m_hAsyncCall;
  int32_t m_iCallback;
  uint32_t m_cubParam;
};
#pragma pack(push, 1)
struct CSteamID {
  uint64_t m_steamid;
};
#pragma pack(pop)
struct LeaderboardEntry_t {
  CSteamID m_steamIDUser;
  int32_t m_nGlobalRank;
  int32_t m_nScore;
  int32_t m_cDetails;
  uint64_t m_hUGC;
};
struct LeaderboardFindResult_t {
  uint64_t m_hSteamLeaderboard;
  uint8_t m_bLeaderboardFound;
};
struct LeaderboardScoresDownloaded_t {
  uint64_t m_hSteamLeaderboard;
  uint64_t m_hSteamLeaderboardEntries;
  int32_t m_cEntryCount;
};
struct LeaderboardScoreUploaded_t {
  uint8_t m_bSuccess;
  uint64_t m_hSteamLeaderboard;
  int32_t m_nScore;
  uint8_t m_bScoreChanged;
  int32_t m_nGlobalRankNew;
  int32_t m_nGlobalRankPrevious;
};
struct GameOverlayActivated_t {
  uint8_t m_bActive;
  bool m_bUserInitiated;
  uint32_t m_nAppID;
  uint32_t m_dwOverlayPID;
};
struct UserStatsStored_t {
  uint64_t m_nGameID;
  int32_t m_eResult;
};
struct UserStatsReceived_t {
  uint64_t m_nGameID;
  int32_t m_eResult;
  CSteamID m_steamIDUser;
};
struct UserAchievementStored_t {
  uint64_t m_nGameID;
  bool m_bGroupAchievement;
  char m_rgchAchievementName[128];
  uint32_t m_nCurProgress;
  uint32_t m_nMaxProgress;
};
struct GamepadTextInputDismissed_t {
  bool m_bSubmitted;
  uint32_t m_unSubmittedText;
  uint32_t m_unAppID;
};
#pragma pack(pop)

#define AT(type, member, offset) static_assert(offsetof(type, member) == (offset), #type "::" #member)
#if defined(_WIN64)
static_assert(sizeof(CallbackMsg_t) == 24, "CallbackMsg_t on x64");
AT(CallbackMsg_t, m_pubParam, 8);
AT(CallbackMsg_t, m_cubParam, 16);
#else
static_assert(sizeof(CallbackMsg_t) == 16, "CallbackMsg_t on x86");
AT(CallbackMsg_t, m_pubParam, 8);
AT(CallbackMsg_t, m_cubParam, 12);
#endif
AT(CallbackMsg_t, m_iCallback, 4);
static_assert(sizeof(CSteamID) == 8 && alignof(CSteamID) == 1, "CSteamID");
static_assert(sizeof(SteamAPICallCompleted_t) == 16, "SteamAPICallCompleted_t");
AT(SteamAPICallCompleted_t, m_iCallback, 8);
AT(SteamAPICallCompleted_t, m_cubParam, 12);
static_assert(sizeof(LeaderboardEntry_t) == 32, "LeaderboardEntry_t");
AT(LeaderboardEntry_t, m_nGlobalRank, 8);
AT(LeaderboardEntry_t, m_nScore, 12);
AT(LeaderboardEntry_t, m_cDetails, 16);
AT(LeaderboardEntry_t, m_hUGC, 24);
static_assert(sizeof(LeaderboardFindResult_t) == 16, "LeaderboardFindResult_t");
AT(LeaderboardFindResult_t, m_bLeaderboardFound, 8);
static_assert(sizeof(LeaderboardScoresDownloaded_t) == 24, "LeaderboardScoresDownloaded_t");
AT(LeaderboardScoresDownloaded_t, m_hSteamLeaderboardEntries, 8);
AT(LeaderboardScoresDownloaded_t, m_cEntryCount, 16);
static_assert(sizeof(LeaderboardScoreUploaded_t) == 32, "LeaderboardScoreUploaded_t");
AT(LeaderboardScoreUploaded_t, m_hSteamLeaderboard, 8);
AT(LeaderboardScoreUploaded_t, m_nScore, 16);
AT(LeaderboardScoreUploaded_t, m_bScoreChanged, 20);
AT(LeaderboardScoreUploaded_t, m_nGlobalRankNew, 24);
AT(LeaderboardScoreUploaded_t, m_nGlobalRankPrevious, 28);
static_assert(sizeof(GameOverlayActivated_t) == 12, "GameOverlayActivated_t");
AT(GameOverlayActivated_t, m_bUserInitiated, 1);
AT(GameOverlayActivated_t, m_nAppID, 4);
AT(GameOverlayActivated_t, m_dwOverlayPID, 8);
static_assert(sizeof(UserStatsStored_t) == 16, "UserStatsStored_t");
AT(UserStatsStored_t, m_eResult, 8);
static_assert(sizeof(UserStatsReceived_t) == 24, "UserStatsReceived_t");
AT(UserStatsReceived_t, m_eResult, 8);
AT(UserStatsReceived_t, m_steamIDUser, 12);
static_assert(sizeof(UserAchievementStored_t) == 152, "UserAchievementStored_t");
AT(UserAchievementStored_t, m_bGroupAchievement, 8);
AT(UserAchievementStored_t, m_rgchAchievementName, 9);
AT(UserAchievementStored_t, m_nCurProgress, 140);
AT(UserAchievementStored_t, m_nMaxProgress, 144);
static_assert(sizeof(GamepadTextInputDismissed_t) == 12, "GamepadTextInputDismissed_t");
AT(GamepadTextInputDismissed_t, m_unSubmittedText, 4);
AT(GamepadTextInputDismissed_t, m_unAppID, 8);

// ---- The scenario and the record. ----
namespace {

constexpr int32_t kPipe = 0x0107;  // not 1: a caller inventing a pipe is caught
char g_userStats, g_user, g_friends, g_utils, g_apps;  // the interfaces' addresses

json g_scenario = json::object();
std::wstring g_log;
bool g_initialized = false, g_manualDispatch = false, g_holdingMessage = false;
int g_frame = 0;

struct Queued {
  int id;
  std::vector<uint8_t> bytes;
  int dueFrame;
};
std::deque<Queued> g_callbacks;
std::vector<uint8_t> g_current;  // the message GetNextCallback handed out
struct Result {
  int id;
  std::vector<uint8_t> bytes;
};
std::map<uint64_t, Result> g_results;  // call handle -> its result, once due
uint64_t g_nextCall = 0x8000000100000000ull;
std::map<std::string, uint64_t> g_boards;
std::map<uint64_t, std::vector<json>> g_downloads;  // entries handle -> rows
uint64_t g_nextEntries = 0x7000000200000000ull;
std::string g_personaBuffer, g_textBuffer;

std::wstring Wide(const std::string& text) {
  std::wstring wide(text.size() * 2 + 1, L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.c_str(), static_cast<int>(text.size()), &wide[0],
                                  static_cast<int>(wide.size())));
  return wide;
}

void Write(const json& line) {
  if (g_log.empty()) return;
  const HANDLE file = CreateFileW(g_log.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line.dump(-1, ' ', false, json::error_handler_t::replace) + "\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

void Record(const char* call, json args = json::array()) { Write({{"call", call}, {"args", std::move(args)}}); }
void Error(const std::string& text) { Write({{"error", text}}); }

std::string Decimal(uint64_t value) { return std::to_string(value); }
uint64_t FromDecimal(const json& text) { return text.is_string() ? std::stoull(text.get<std::string>()) : 0; }
json Text(const char* text) { return text ? json(text) : json(); }

void Load() {
  static bool loaded = false;
  if (loaded) return;
  loaded = true;
  wchar_t path[MAX_PATH] = {};
  if (!GetEnvironmentVariableW(L"KILN_TEST_STEAM", path, MAX_PATH)) return;
  const HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  std::string bytes(1 << 20, '\0');
  DWORD read = 0;
  ReadFile(file, &bytes[0], static_cast<DWORD>(bytes.size()), &read, nullptr);
  CloseHandle(file);
  bytes.resize(read);
  g_scenario = json::parse(bytes, nullptr, false);
  if (!g_scenario.is_object()) g_scenario = json::object();
  g_log = Wide(g_scenario.value("log", ""));
  for (const json& board : g_scenario.value("leaderboards", json::array())) {
    g_boards[board["name"].get<std::string>()] = FromDecimal(board["handle"]);
  }
}

template <typename T>
std::vector<uint8_t> Bytes(const T& value) {
  const auto* p = reinterpret_cast<const uint8_t*>(&value);
  return std::vector<uint8_t>(p, p + sizeof(value));
}

// A call result due after the scenario's number of pumps.
uint64_t Later(int id, std::vector<uint8_t> bytes) {
  const uint64_t call = g_nextCall++;
  SteamAPICallCompleted_t completed = {};
  completed.m_hAsyncCall = call;
  completed.m_iCallback = id;
  completed.m_cubParam = static_cast<uint32_t>(bytes.size());
  g_results[call] = {id, std::move(bytes)};
  g_callbacks.push_back({703, Bytes(completed), g_frame + g_scenario.value("delay", 2)});
  return call;
}

bool Check(void* self, const void* expected, const char* call) {
  if (self == expected) return true;
  Error(std::string(call) + ": self is not the interface its accessor gave");
  return false;
}

json& Achievement(const char* name) {
  static json none;
  json& all = g_scenario["achievements"];
  if (name && all.is_object() && all.contains(name)) return all[name];
  none = nullptr;
  return none;
}

json& Stat(const char* name) {
  static json none;
  json& all = g_scenario["stats"];
  if (name && all.is_object() && all.contains(name)) return all[name];
  none = nullptr;
  return none;
}

}  // namespace

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) Load();
  return TRUE;
}

// ---- Start, stop and dispatch. ----
EXPORT BoolResult CALL SteamAPI_RestartAppIfNecessary(uint32_t appId) {
  Record("SteamAPI_RestartAppIfNecessary", {appId});
  return Bool(g_scenario.value("restart", false));
}

static int32_t Init(char* message) {
  const int32_t result = g_scenario.value("init", 0);
  if (result != 0 && message) {
    const std::string text = g_scenario.value("message", "");
    strncpy(message, text.c_str(), 1023);
    message[1023] = '\0';
  }
  g_initialized = result == 0;
  return result;
}

#if STEAM_SDK >= 159
EXPORT int32_t CALL SteamAPI_InitFlat(char* message) {
  Record("SteamAPI_InitFlat");
  return Init(message);
}
#endif
#if STEAM_SDK >= 158
EXPORT int32_t CALL SteamInternal_SteamAPI_Init(const char* versions, char* message) {
  json list = json::array();
  for (const char* at = versions; at && *at; at += strlen(at) + 1) list.push_back(at);
  Record("SteamInternal_SteamAPI_Init", {list});
  return Init(message);
}
#else
EXPORT BoolResult CALL SteamAPI_Init() {
  Record("SteamAPI_Init");
  return Bool(Init(nullptr) == 0);
}
#endif
EXPORT void CALL SteamAPI_Shutdown() {
  Record("SteamAPI_Shutdown");
  g_initialized = false;
}
EXPORT BoolResult CALL SteamAPI_IsSteamRunning() {
  Record("SteamAPI_IsSteamRunning");
  return Bool(g_scenario.value("init", 0) != 2);
}
EXPORT int32_t CALL SteamAPI_GetHSteamPipe() { return g_initialized ? kPipe : 0; }
EXPORT int32_t CALL SteamAPI_GetHSteamUser() { return g_initialized ? 1 : 0; }
EXPORT void CALL SteamAPI_RunCallbacks() { Error("SteamAPI_RunCallbacks called under manual dispatch"); }

#if STEAM_SDK >= 148
EXPORT void CALL SteamAPI_ManualDispatch_Init() {
  Record("SteamAPI_ManualDispatch_Init");
  if (!g_initialized) Error("ManualDispatch_Init before a successful init");
  g_manualDispatch = true;
}
EXPORT void CALL SteamAPI_ManualDispatch_RunFrame(int32_t pipe) {
  if (pipe != kPipe || !g_manualDispatch) Error("RunFrame: wrong pipe or no ManualDispatch_Init");
  ++g_frame;
}
EXPORT BoolResult CALL SteamAPI_ManualDispatch_GetNextCallback(int32_t pipe, CallbackMsg_t* message) {
  if (pipe != kPipe) Error("GetNextCallback: wrong pipe");
  if (g_holdingMessage) Error("GetNextCallback before FreeLastCallback");
  if (g_callbacks.empty() || g_callbacks.front().dueFrame > g_frame) return Bool(false);
  Queued next = std::move(g_callbacks.front());
  g_callbacks.pop_front();
  g_current = std::move(next.bytes);
  message->m_hSteamUser = 1;
  message->m_iCallback = next.id;
  message->m_pubParam = g_current.data();
  message->m_cubParam = static_cast<int32_t>(g_current.size());
  g_holdingMessage = true;
  Record("SteamAPI_ManualDispatch_GetNextCallback", {next.id});
  return Bool(true);
}
EXPORT void CALL SteamAPI_ManualDispatch_FreeLastCallback(int32_t pipe) {
  if (pipe != kPipe || !g_holdingMessage) Error("FreeLastCallback: wrong pipe or nothing held");
  g_holdingMessage = false;
  std::fill(g_current.begin(), g_current.end(), 0xCD);  // a caller reading it later reads garbage
}
EXPORT BoolResult CALL SteamAPI_ManualDispatch_GetAPICallResult(int32_t pipe, uint64_t call, void* result, int32_t size,
                                                                int32_t expected, bool* failed) {
  Record("SteamAPI_ManualDispatch_GetAPICallResult", {Decimal(call), size, expected});
  const auto found = g_results.find(call);
  if (pipe != kPipe || found == g_results.end() || found->second.id != expected ||
      size != static_cast<int32_t>(found->second.bytes.size())) {
    Error("GetAPICallResult: unknown call, wrong pipe, id or size");
    return Bool(false);
  }
  memcpy(result, found->second.bytes.data(), found->second.bytes.size());
  // One byte: the caller's bool, nothing around it.
  *reinterpret_cast<uint8_t*>(failed) = g_scenario.value("failCalls", false) ? 1 : 0;
  g_results.erase(found);
  return Bool(true);
}

// ---- Accessors: one version per DLL. ----
#if STEAM_SDK >= 161
EXPORT void* CALL SteamAPI_SteamUserStats_v013() { return g_initialized ? &g_userStats : nullptr; }
#else
EXPORT void* CALL SteamAPI_SteamUserStats_v012() { return g_initialized ? &g_userStats : nullptr; }
#endif
EXPORT void* CALL SteamAPI_SteamUser_v023() { return g_initialized ? &g_user : nullptr; }
#if STEAM_SDK >= 162
EXPORT void* CALL SteamAPI_SteamFriends_v018() { return g_initialized ? &g_friends : nullptr; }
#else
EXPORT void* CALL SteamAPI_SteamFriends_v017() { return g_initialized ? &g_friends : nullptr; }
#endif
#if STEAM_SDK >= 165
EXPORT void* CALL SteamAPI_SteamUtils_v011() { return g_initialized ? &g_utils : nullptr; }
EXPORT void* CALL SteamAPI_SteamApps_v009() { return g_initialized ? &g_apps : nullptr; }
#else
EXPORT void* CALL SteamAPI_SteamUtils_v010() { return g_initialized ? &g_utils : nullptr; }
EXPORT void* CALL SteamAPI_SteamApps_v008() { return g_initialized ? &g_apps : nullptr; }
#endif

// ---- ISteamUserStats. ----
EXPORT BoolResult CALL SteamAPI_ISteamUserStats_GetAchievement(void* self, const char* name, bool* achieved) {
  Record("SteamAPI_ISteamUserStats_GetAchievement", {Text(name)});
  const json& state = Achievement(name);
  if (!Check(self, &g_userStats, "GetAchievement") || !state.is_boolean()) return Bool(false);
  *reinterpret_cast<uint8_t*>(achieved) = state.get<bool>() ? 1 : 0;
  return Bool(true);
}
EXPORT BoolResult CALL SteamAPI_ISteamUserStats_SetAchievement(void* self, const char* name) {
  Record("SteamAPI_ISteamUserStats_SetAchievement", {Text(name)});
  json& state = Achievement(name);
  if (!Check(self, &g_userStats, "SetAchievement") || !state.is_boolean()) return Bool(false);
  state = true;
  return Bool(true);
}
EXPORT BoolResult CALL SteamAPI_ISteamUserStats_ClearAchievement(void* self, const char* name) {
  Record("SteamAPI_ISteamUserStats_ClearAchievement", {Text(name)});
  json& state = Achievement(name);
  if (!Check(self, &g_userStats, "ClearAchievement") || !state.is_boolean()) return Bool(false);
  state = false;
  return Bool(true);
}
EXPORT BoolResult CALL SteamAPI_ISteamUserStats_IndicateAchievementProgress(void* self, const char* name,
                                                                          uint32_t current, uint32_t max) {
  Record("SteamAPI_ISteamUserStats_IndicateAchievementProgress", {Text(name), current, max});
  return Bool(Check(self, &g_userStats, "IndicateAchievementProgress") && Achievement(name).is_boolean());
}
EXPORT uint32_t CALL SteamAPI_ISteamUserStats_GetNumAchievements(void* self) {
  Record("SteamAPI_ISteamUserStats_GetNumAchievements");
  Check(self, &g_userStats, "GetNumAchievements");
  return static_cast<uint32_t>(g_scenario.value("achievements", json::object()).size());
}
EXPORT const char* CALL SteamAPI_ISteamUserStats_GetAchievementName(void* self, uint32_t index) {
  Record("SteamAPI_ISteamUserStats_GetAchievementName", {index});
  Check(self, &g_userStats, "GetAchievementName");
  static std::string name;
  uint32_t i = 0;
  for (const auto& item : g_scenario["achievements"].items()) {
    if (i++ == index) return (name = item.key()).c_str();
  }
  return nullptr;
}
EXPORT BoolResult CALL SteamAPI_ISteamUserStats_GetStatInt32(void* self, const char* name, int32_t* value) {
  Record("SteamAPI_ISteamUserStats_GetStatInt32", {Text(name)});
  const json& stat = Stat(name);
  if (!Check(self, &g_userStats, "GetStatInt32") || !stat.is_object() || !stat.contains("int")) return Bool(false);
  *value = stat["int"].get<int32_t>();
  return Bool(true);
}
EXPORT BoolResult CALL SteamAPI_ISteamUserStats_GetStatFloat(void* self, const char* name, float* value) {
  Record("SteamAPI_ISteamUserStats_GetStatFloat", {Text(name)});
  const json& stat = Stat(name);
  if (!Check(self, &g_userStats, "GetStatFloat") || !stat.is_object() || !stat.contains("float")) return Bool(false);
  *value = stat["float"].get<float>();
  return Bool(true);
}
EXPORT BoolResult CALL SteamAPI_ISteamUserStats_SetStatInt32(void* self, const char* name, int32_t value) {
  Record("SteamAPI_ISteamUserStats_SetStatInt32", {Text(name), value});
  json& stat = Stat(name);
  if (!Check(self, &g_userStats, "SetStatInt32") || !stat.is_object() || !stat.contains("int")) return Bool(false);
  stat["int"] = value;
  return Bool(true);
}
EXPORT BoolResult CALL SteamAPI_ISteamUserStats_SetStatFloat(void* self, const char* name, float value) {
  Record("SteamAPI_ISteamUserStats_SetStatFloat", {Text(name), value});
  json& stat = Stat(name);
  if (!Check(self, &g_userStats, "SetStatFloat") || !stat.is_object() || !stat.contains("float")) return Bool(false);
  stat["float"] = value;
  return Bool(true);
}
EXPORT BoolResult CALL SteamAPI_ISteamUserStats_StoreStats(void* self) {
  Record("SteamAPI_ISteamUserStats_StoreStats");
  UserStatsStored_t stored = {};
  stored.m_nGameID = g_scenario.value("appId", 480u);
  stored.m_eResult = 1;
  g_callbacks.push_back({1102, Bytes(stored), g_frame + 1});
  return Bool(Check(self, &g_userStats, "StoreStats"));
}
#if STEAM_SDK < 161
EXPORT BoolResult CALL SteamAPI_ISteamUserStats_RequestCurrentStats(void* self) {
  Record("SteamAPI_ISteamUserStats_RequestCurrentStats");
  return Bool(Check(self, &g_userStats, "RequestCurrentStats"));
}
#endif

static uint64_t Find(const char* name, bool create) {
  LeaderboardFindResult_t result = {};
  const auto found = g_boards.find(name ? name : "");
  if (found != g_boards.end()) {
    result.m_hSteamLeaderboard = found->second;
  } else if (create) {
    result.m_hSteamLeaderboard = g_boards[name] = 0x0BADC0DE00000000ull + g_boards.size();
  }
  result.m_bLeaderboardFound = result.m_hSteamLeaderboard != 0;
  return Later(1104, Bytes(result));
}
EXPORT uint64_t CALL SteamAPI_ISteamUserStats_FindLeaderboard(void* self, const char* name) {
  Record("SteamAPI_ISteamUserStats_FindLeaderboard", {Text(name)});
  Check(self, &g_userStats, "FindLeaderboard");
  return Find(name, false);
}
EXPORT uint64_t CALL SteamAPI_ISteamUserStats_FindOrCreateLeaderboard(void* self, const char* name, int32_t sort,
                                                                    int32_t display) {
  Record("SteamAPI_ISteamUserStats_FindOrCreateLeaderboard", {Text(name), sort, display});
  Check(self, &g_userStats, "FindOrCreateLeaderboard");
  return Find(name, true);
}
EXPORT uint64_t CALL SteamAPI_ISteamUserStats_UploadLeaderboardScore(void* self, uint64_t board, int32_t method,
                                                                   int32_t score, const int32_t* details,
                                                                   int32_t count) {
  json detailList = json::array();
  for (int32_t i = 0; details && i < count && i < 64; ++i) detailList.push_back(details[i]);
  Record("SteamAPI_ISteamUserStats_UploadLeaderboardScore", {Decimal(board), method, score, detailList, count});
  Check(self, &g_userStats, "UploadLeaderboardScore");
  LeaderboardScoreUploaded_t result = {};
  bool known = false;
  for (const auto& entry : g_boards) known = known || entry.second == board;
  result.m_bSuccess = known;
  result.m_hSteamLeaderboard = board;
  result.m_nScore = score;
  result.m_bScoreChanged = 1;
  result.m_nGlobalRankNew = g_scenario.value("rankNew", 3);
  result.m_nGlobalRankPrevious = g_scenario.value("rankPrevious", 7);
  return Later(1106, Bytes(result));
}
EXPORT uint64_t CALL SteamAPI_ISteamUserStats_DownloadLeaderboardEntries(void* self, uint64_t board, int32_t request,
                                                                       int32_t start, int32_t end) {
  Record("SteamAPI_ISteamUserStats_DownloadLeaderboardEntries", {Decimal(board), request, start, end});
  Check(self, &g_userStats, "DownloadLeaderboardEntries");
  std::vector<json> rows;
  for (const json& row : g_scenario.value("entries", json::array())) {
    const int rank = row.value("rank", 0);
    if (request != 0 || (rank >= start && rank <= end)) rows.push_back(row);
  }
  LeaderboardScoresDownloaded_t result = {};
  result.m_hSteamLeaderboard = board;
  result.m_hSteamLeaderboardEntries = g_nextEntries++;
  result.m_cEntryCount = static_cast<int32_t>(rows.size());
  g_downloads[result.m_hSteamLeaderboardEntries] = rows;
  return Later(1105, Bytes(result));
}
#if !defined(BROKEN)
EXPORT BoolResult CALL SteamAPI_ISteamUserStats_GetDownloadedLeaderboardEntry(void* self, uint64_t entries,
                                                                            int32_t index, LeaderboardEntry_t* entry,
                                                                            int32_t* details, int32_t detailsMax) {
  Record("SteamAPI_ISteamUserStats_GetDownloadedLeaderboardEntry", {Decimal(entries), index, detailsMax});
  const auto found = g_downloads.find(entries);
  if (!Check(self, &g_userStats, "GetDownloadedLeaderboardEntry") || found == g_downloads.end() || index < 0 ||
      index >= static_cast<int32_t>(found->second.size())) {
    return Bool(false);
  }
  const json& row = found->second[index];
  entry->m_steamIDUser.m_steamid = FromDecimal(row["steamId"]);
  entry->m_nGlobalRank = row.value("rank", 0);
  entry->m_nScore = row.value("score", 0);
  const json detailList = row.value("details", json::array());
  entry->m_cDetails = static_cast<int32_t>(detailList.size());
  entry->m_hUGC = 0xFFFFFFFFFFFFFFFFull;  // k_UGCHandleInvalid
  for (int32_t i = 0; i < entry->m_cDetails && i < detailsMax; ++i) details[i] = detailList[i].get<int32_t>();
  return Bool(true);
}
#endif

// ---- ISteamUser. ----
EXPORT uint64_t CALL SteamAPI_ISteamUser_GetSteamID(void* self) {
  Record("SteamAPI_ISteamUser_GetSteamID");
  Check(self, &g_user, "GetSteamID");
  return FromDecimal(g_scenario.value("steamId", json("76561197960265728")));
}

// ---- ISteamFriends. ----
EXPORT const char* CALL SteamAPI_ISteamFriends_GetPersonaName(void* self) {
  Record("SteamAPI_ISteamFriends_GetPersonaName");
  Check(self, &g_friends, "GetPersonaName");
  g_personaBuffer = g_scenario.value("persona", "");
  return g_personaBuffer.c_str();
}
EXPORT BoolResult CALL SteamAPI_ISteamFriends_SetRichPresence(void* self, const char* key, const char* value) {
  Record("SteamAPI_ISteamFriends_SetRichPresence", {Text(key), Text(value)});
  return Bool(Check(self, &g_friends, "SetRichPresence"));
}
EXPORT void CALL SteamAPI_ISteamFriends_ClearRichPresence(void* self) {
  Record("SteamAPI_ISteamFriends_ClearRichPresence");
  Check(self, &g_friends, "ClearRichPresence");
}
EXPORT const char* CALL SteamAPI_ISteamFriends_GetFriendPersonaName(void* self, uint64_t steamId) {
  Record("SteamAPI_ISteamFriends_GetFriendPersonaName", {Decimal(steamId)});
  Check(self, &g_friends, "GetFriendPersonaName");
  g_personaBuffer = "[unknown]";
  for (const json& row : g_scenario.value("entries", json::array())) {
    if (FromDecimal(row["steamId"]) == steamId && row.contains("name")) g_personaBuffer = row["name"];
  }
  return g_personaBuffer.c_str();
}
static void OverlayShown() {
  if (!g_scenario.value("overlay", false)) return;
  GameOverlayActivated_t shown = {};
  shown.m_bActive = 1;
  shown.m_nAppID = g_scenario.value("appId", 480u);
  g_callbacks.push_back({331, Bytes(shown), g_frame + 1});
  shown.m_bActive = 0;
  g_callbacks.push_back({331, Bytes(shown), g_frame + 3});
}
EXPORT void CALL SteamAPI_ISteamFriends_ActivateGameOverlay(void* self, const char* dialog) {
  Record("SteamAPI_ISteamFriends_ActivateGameOverlay", {Text(dialog)});
  Check(self, &g_friends, "ActivateGameOverlay");
  OverlayShown();
}
EXPORT void CALL SteamAPI_ISteamFriends_ActivateGameOverlayToWebPage(void* self, const char* url, int32_t mode) {
  Record("SteamAPI_ISteamFriends_ActivateGameOverlayToWebPage", {Text(url), mode});
  Check(self, &g_friends, "ActivateGameOverlayToWebPage");
  OverlayShown();
}
EXPORT void CALL SteamAPI_ISteamFriends_ActivateGameOverlayToStore(void* self, uint32_t appId, int32_t flag) {
  Record("SteamAPI_ISteamFriends_ActivateGameOverlayToStore", {appId, flag});
  Check(self, &g_friends, "ActivateGameOverlayToStore");
  OverlayShown();
}

// ---- ISteamUtils. ----
EXPORT uint32_t CALL SteamAPI_ISteamUtils_GetAppID(void* self) {
  Record("SteamAPI_ISteamUtils_GetAppID");
  Check(self, &g_utils, "GetAppID");
  return g_scenario.value("appId", 480u);
}
EXPORT BoolResult CALL SteamAPI_ISteamUtils_IsSteamInBigPictureMode(void* self) {
  Record("SteamAPI_ISteamUtils_IsSteamInBigPictureMode");
  return Bool(Check(self, &g_utils, "IsSteamInBigPictureMode") && g_scenario.value("bigPicture", false));
}
#if STEAM_SDK >= 165
EXPORT int32_t CALL SteamAPI_ISteamUtils_IsRunningOnSteamHardware(void* self) {
  Record("SteamAPI_ISteamUtils_IsRunningOnSteamHardware");
  Check(self, &g_utils, "IsRunningOnSteamHardware");
  return g_scenario.value("deck", false) ? 1 : 0;
}
#elif STEAM_SDK >= 152
EXPORT BoolResult CALL SteamAPI_ISteamUtils_IsSteamRunningOnSteamDeck(void* self) {
  Record("SteamAPI_ISteamUtils_IsSteamRunningOnSteamDeck");
  return Bool(Check(self, &g_utils, "IsSteamRunningOnSteamDeck") && g_scenario.value("deck", false));
}
#endif
EXPORT BoolResult CALL SteamAPI_ISteamUtils_ShowGamepadTextInput(void* self, int32_t mode, int32_t lineMode,
                                                               const char* description, uint32_t maxChars,
                                                               const char* existing) {
  Record("SteamAPI_ISteamUtils_ShowGamepadTextInput", {mode, lineMode, Text(description), maxChars, Text(existing)});
  if (!Check(self, &g_utils, "ShowGamepadTextInput") || !g_scenario.contains("gamepadText")) return Bool(false);
  g_textBuffer = g_scenario["gamepadText"].get<std::string>();
  GamepadTextInputDismissed_t dismissed = {};
  dismissed.m_bSubmitted = true;
  dismissed.m_unSubmittedText = static_cast<uint32_t>(g_textBuffer.size());
  g_callbacks.push_back({714, Bytes(dismissed), g_frame + 2});
  return Bool(true);
}
EXPORT BoolResult CALL SteamAPI_ISteamUtils_GetEnteredGamepadTextInput(void* self, char* text, uint32_t size) {
  Record("SteamAPI_ISteamUtils_GetEnteredGamepadTextInput", {size});
  if (!Check(self, &g_utils, "GetEnteredGamepadTextInput") || size <= g_textBuffer.size()) return Bool(false);
  memcpy(text, g_textBuffer.c_str(), g_textBuffer.size() + 1);
  return Bool(true);
}

// ---- ISteamApps. ----
EXPORT const char* CALL SteamAPI_ISteamApps_GetCurrentGameLanguage(void* self) {
  Record("SteamAPI_ISteamApps_GetCurrentGameLanguage");
  Check(self, &g_apps, "GetCurrentGameLanguage");
  static std::string language;
  language = g_scenario.value("language", "english");
  return language.c_str();
}
EXPORT BoolResult CALL SteamAPI_ISteamApps_BIsDlcInstalled(void* self, uint32_t appId) {
  Record("SteamAPI_ISteamApps_BIsDlcInstalled", {appId});
  bool installed = false;
  for (const json& dlc : g_scenario.value("dlc", json::array())) installed = installed || dlc == appId;
  return Bool(Check(self, &g_apps, "BIsDlcInstalled") && installed);
}
#endif  // STEAM_SDK >= 148

#if STEAM_SDK >= 148
EXPORT BoolResult CALL SteamAPI_ISteamUserStats_ResetAllStats(void* self, uint32_t achievementsToo) {
  // A bool argument: only its low byte counts.
  Record("SteamAPI_ISteamUserStats_ResetAllStats", {(achievementsToo & 0xFF) != 0});
  return Bool(Check(self, &g_userStats, "ResetAllStats"));
}
#endif

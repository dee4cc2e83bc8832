// The rules of steam.ext.dll that hold on any system: what the page may ask
// and how its values are read, which names to look for in steam_api.dll,
// why Steam is not available in words an author can act on, when the stats
// are stored, and what the answers hold. The Windows side only calls Steam.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "kiln/extension.h"

namespace kiln::steam {

inline constexpr char kComponentId[] = "kiln-steam";

// Steam's own limits on names and texts, in UTF-8 bytes with the NUL.
inline constexpr size_t kStatNameMax = 128;
inline constexpr size_t kLeaderboardNameMax = 128;
inline constexpr int kLeaderboardDetailsMax = 64;
inline constexpr size_t kRichPresenceKeyMax = 64;
inline constexpr size_t kRichPresenceValueMax = 256;

// How often Steam is pumped, and how far apart stores of the stats are:
// Steam throttles a game that stores too often.
inline constexpr unsigned kPumpMilliseconds = 33;
inline constexpr unsigned kStoreIntervalMilliseconds = 5000;

// The library's file name, by the width of the process loading it.
const char* LibraryName(bool wide);

// Interface accessors newest first, as "SteamAPI_SteamUserStats_v013", and
// the version text each one's interface goes by in the init's version list.
enum class Interface { UserStats, User, Friends, Utils, Apps, Count };
struct Accessor {
  const char* exportName;
  const char* versionText;
};
const std::vector<Accessor>& Accessors(Interface which);
const char* InterfaceName(Interface which);

// The list SteamInternal_SteamAPI_Init checks: each text, NUL-ended, and
// one more NUL.
std::string VersionList(const std::vector<const char*>& versionTexts);

// Why Steam is not there for the page.
enum class Failure {
  None,
  NoLibrary,          // no steam_api(64).dll beside kiln.exe
  WrongArchitecture,  // a DLL the process cannot load for its width
  CannotLoad,         // any other load error (detail: the Windows error)
  TooOld,             // no versioned accessors: an SDK older than 1.48
  MissingExport,      // detail: the export's name
  NoSteam,            // Steam not running, or not reachable
  OldClient,          // the Steam client is older than the DLL
  InitFailed,         // detail: Steam's message, if any
  NoInterface,        // detail: the interface Steam gave no object for
};
std::string Reason(Failure failure, bool wide, const std::string& detail = std::string());

// ESteamAPIInitResult as the init functions return it.
Failure InitFailure(int32_t result);

// "steam": {"app-id": n} of package.json: n when it is a positive integer
// that fits 32 bits, nothing when there is no "steam" member; error says
// what is wrong with one that is there.
struct AppIdSetting {
  std::optional<uint32_t> appId;
  std::string error;
};
AppIdSetting ReadAppId(std::string_view packageJson);

// A 64-bit number the page holds as a decimal text (Steam ids, leaderboard
// handles): doubles lose its low digits.
std::string DecimalText(uint64_t value);
std::optional<uint64_t> ParseDecimal(std::string_view text);

enum class Operation {
  Status,
  Unlock,
  IsUnlocked,
  Clear,
  Progress,
  List,
  GetStat,
  SetStat,
  StoreStats,
  FindLeaderboard,
  UploadScore,
  DownloadScores,
  SetRichPresence,
  ClearRichPresence,
  PersonaName,
  SteamId,
  OpenWebPage,
  OpenStore,
  OpenOverlay,
  ShowGamepadTextInput,
  Language,
  IsDlcInstalled,
  IsSteamDeck,
  IsBigPicture,
  AppId,
};

// Enum values of Steam's leaderboard calls.
enum class SortMethod : int32_t { None = 0, Ascending = 1, Descending = 2 };
enum class DisplayType : int32_t { None = 0, Numeric = 1, TimeSeconds = 2, TimeMilliSeconds = 3 };
enum class DataRequest : int32_t { Global = 0, GlobalAroundUser = 1, Friends = 2 };
enum class UploadMethod : int32_t { KeepBest = 1, ForceUpdate = 2 };

// What the page asked for, its texts copied out of the host's records.
struct Request {
  Operation operation = Operation::Status;
  std::string name;   // achievement, stat, leaderboard, presence key, url, dialog, description
  std::string value;  // presence value, existing text of the gamepad input
  bool isFloat = false;        // set-stat, get-stat
  double number = 0;           // set-stat's value, upload's score
  uint32_t current = 0, max = 0;  // progress; max is also the gamepad input's length
  uint32_t appId = 0;          // open-store, is-dlc-installed
  uint64_t board = 0;          // upload, download
  bool create = false;         // find: create when missing
  SortMethod sort = SortMethod::Descending;
  DisplayType display = DisplayType::Numeric;
  bool force = false;          // upload: replace even a better score
  std::vector<int32_t> details;
  DataRequest around = DataRequest::Global;
  int32_t start = 1, end = 10;
  bool password = false, multiline = false;  // gamepad input
};

struct Parsed {
  std::optional<Request> request;
  std::string error;
};
Parsed ParseRequest(std::string_view messageId, int32_t count, const ExtensionValue* values);

// Decides when the stats are stored: at once after a change when the last
// store is an interval ago, else when the interval is over; a change while
// one is due changes nothing. Times are milliseconds of any steady clock.
class StoreSchedule {
 public:
  void Changed(uint64_t now);
  // Whether to store now; after true, the caller stores and calls Stored.
  bool Due(uint64_t now) const;
  void Stored(uint64_t now);
  bool dirty() const { return dirty_; }

 private:
  bool dirty_ = false;
  bool stored_ = false;
  uint64_t lastStore_ = 0;
};

// One row of a downloaded leaderboard.
struct Entry {
  uint64_t steamId = 0;
  int32_t rank = 0;
  int32_t score = 0;
  std::optional<std::string> name;  // when Steam already knows the player
  std::vector<int32_t> details;
};
// The rows as the JSON text the page parses; Steam ids as decimal texts.
std::string EntriesJson(const std::vector<Entry>& entries);

// A persona name Steam answers for someone it has not described yet.
bool IsUnknownPersona(const char* name);

// A text from Steam as the page may get it: valid UTF-8 as it is, anything
// else with each byte outside printable ASCII as '?'. Null gives "".
std::string PageText(const char* text);

struct Achievement {
  std::string name;
  bool unlocked = false;
};
std::string AchievementsJson(const std::vector<Achievement>& achievements);

}  // namespace kiln::steam

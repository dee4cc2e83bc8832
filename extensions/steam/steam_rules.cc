#include "steam_rules.h"

#include <cmath>
#include <cstring>

#include <nlohmann/json.hpp>

#include "common/utf8.h"

namespace kiln::steam {
namespace {

using nlohmann::json;

// What each message takes, one letter a parameter: s a text, n a number,
// b a boolean.
struct Signature {
  const char* messageId;
  Operation operation;
  const char* kinds;
  const char* expected;  // the parameters in words, for the error
};

constexpr Signature kSignatures[] = {
    {"status", Operation::Status, "", "no parameters"},
    {"unlock", Operation::Unlock, "s", "one string: an achievement's API name"},
    {"is-unlocked", Operation::IsUnlocked, "s", "one string: an achievement's API name"},
    {"clear", Operation::Clear, "s", "one string: an achievement's API name"},
    {"progress", Operation::Progress, "snn", "an achievement's API name, the progress and its maximum"},
    {"list", Operation::List, "", "no parameters"},
    {"get-stat", Operation::GetStat, "ss", "a stat's API name and its kind, \"int\" or \"float\""},
    {"set-stat", Operation::SetStat, "sns", "a stat's API name, its value and its kind, \"int\" or \"float\""},
    {"store-stats", Operation::StoreStats, "", "no parameters"},
    {"find-leaderboard", Operation::FindLeaderboard, "sbss",
     "a leaderboard's name, whether to create it, its sort and its display"},
    {"upload-score", Operation::UploadScore, "snbs",
     "a leaderboard, the score, whether to force it and the details as a JSON array"},
    {"download-scores", Operation::DownloadScores, "ssnn", "a leaderboard, which entries, the first and the last"},
    {"set-rich-presence", Operation::SetRichPresence, "ss", "two strings: a key and a value"},
    {"clear-rich-presence", Operation::ClearRichPresence, "", "no parameters"},
    {"persona-name", Operation::PersonaName, "", "no parameters"},
    {"steam-id", Operation::SteamId, "", "no parameters"},
    {"open-web-page", Operation::OpenWebPage, "s", "one string: an http or https address"},
    {"open-store", Operation::OpenStore, "n", "one number: an app id"},
    {"open-overlay", Operation::OpenOverlay, "s", "one string: the overlay dialog"},
    {"show-gamepad-text-input", Operation::ShowGamepadTextInput, "snsbb",
     "a description, the most characters, the text to start with, whether it is a password and whether it "
     "has several lines"},
    {"language", Operation::Language, "", "no parameters"},
    {"is-dlc-installed", Operation::IsDlcInstalled, "n", "one number: the DLC's app id"},
    {"is-steam-deck", Operation::IsSteamDeck, "", "no parameters"},
    {"is-big-picture", Operation::IsBigPicture, "", "no parameters"},
    {"app-id", Operation::AppId, "", "no parameters"},
};

bool Fits(const ExtensionValue& value, char kind) {
  switch (kind) {
    case 's': return value.type == ExtensionValueType::String && value.text;
    case 'n': return value.type == ExtensionValueType::Number && std::isfinite(value.number);
    case 'b': return value.type == ExtensionValueType::Boolean;
  }
  return false;
}

std::string Quoted(std::string_view text) { return "\"" + std::string(text) + "\""; }

bool IsInteger(double number, double low, double high) {
  return std::isfinite(number) && number == std::floor(number) && number >= low && number <= high;
}

// Steam's API names: 1 to 127 bytes of printable ASCII.
std::string ApiNameError(const std::string& name, const char* what, size_t max) {
  if (name.empty() || name.size() >= max) {
    return std::string(what) + " is 1 to " + std::to_string(max - 1) + " characters long";
  }
  for (const char c : name) {
    if (c <= ' ' || c > '~') return std::string(what) + " holds only printable ASCII characters, no spaces";
  }
  return std::string();
}

const char* const kDialogs[] = {"friends", "community", "players", "settings", "officialgamegroup", "stats",
                                "achievements"};
const char* const kDialogNames[] = {"Friends", "Community", "Players", "Settings", "OfficialGameGroup", "Stats",
                                    "Achievements"};

std::string LowerAscii(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// Fills the request from values of the right kinds; an error otherwise.
std::string Fill(Request& request, const ExtensionValue* values) {
  const auto text = [&](int i) { return std::string(values[i].text); };
  const auto number = [&](int i) { return values[i].number; };
  const auto flag = [&](int i) { return values[i].number != 0; };
  switch (request.operation) {
    case Operation::Unlock:
    case Operation::IsUnlocked:
    case Operation::Clear:
      request.name = text(0);
      return ApiNameError(request.name, "an achievement's API name", kStatNameMax);
    case Operation::Progress:
      request.name = text(0);
      if (!IsInteger(number(1), 0, 4294967295.0) || !IsInteger(number(2), 1, 4294967295.0) ||
          number(1) > number(2)) {
        return "the progress is a whole number from 0 to its maximum, and the maximum a whole number from 1";
      }
      request.current = static_cast<uint32_t>(number(1));
      request.max = static_cast<uint32_t>(number(2));
      return ApiNameError(request.name, "an achievement's API name", kStatNameMax);
    case Operation::GetStat:
    case Operation::SetStat: {
      request.name = text(0);
      const std::string kind = text(request.operation == Operation::GetStat ? 1 : 2);
      if (kind != "int" && kind != "float") return "a stat's kind is \"int\" or \"float\", not " + Quoted(kind);
      request.isFloat = kind == "float";
      if (request.operation == Operation::SetStat) {
        request.number = number(1);
        if (!request.isFloat && !IsInteger(request.number, -2147483648.0, 2147483647.0)) {
          return "an int stat's value is a whole number from -2147483648 to 2147483647";
        }
        if (request.isFloat && std::fabs(request.number) > 3.4028234663852886e38) {
          return "a float stat's value fits a 32-bit float";
        }
      }
      return ApiNameError(request.name, "a stat's API name", kStatNameMax);
    }
    case Operation::FindLeaderboard: {
      request.name = text(0);
      request.create = flag(1);
      const std::string sort = text(2), display = text(3);
      if (sort == "ascending") {
        request.sort = SortMethod::Ascending;
      } else if (sort == "descending") {
        request.sort = SortMethod::Descending;
      } else {
        return "a leaderboard's sort is \"ascending\" (lowest score first) or \"descending\", not " + Quoted(sort);
      }
      if (display == "numeric") {
        request.display = DisplayType::Numeric;
      } else if (display == "seconds") {
        request.display = DisplayType::TimeSeconds;
      } else if (display == "milliseconds") {
        request.display = DisplayType::TimeMilliSeconds;
      } else {
        return "a leaderboard's display is \"numeric\", \"seconds\" or \"milliseconds\", not " + Quoted(display);
      }
      if (request.name.empty() || request.name.size() >= kLeaderboardNameMax || !IsValidUtf8(request.name)) {
        return "a leaderboard's name is 1 to 127 bytes of UTF-8";
      }
      return std::string();
    }
    case Operation::UploadScore:
    case Operation::DownloadScores: {
      const std::optional<uint64_t> board = ParseDecimal(text(0));
      if (!board || *board == 0) return "a leaderboard is the text findLeaderboard resolved with";
      request.board = *board;
      if (request.operation == Operation::DownloadScores) {
        const std::string around = text(1);
        if (around == "global") {
          request.around = DataRequest::Global;
        } else if (around == "user") {
          request.around = DataRequest::GlobalAroundUser;
        } else if (around == "friends") {
          request.around = DataRequest::Friends;
        } else {
          return "which entries to download is \"global\", \"user\" or \"friends\", not " + Quoted(around);
        }
        if (!IsInteger(number(2), -2147483648.0, 2147483647.0) || !IsInteger(number(3), -2147483648.0, 2147483647.0)) {
          return "the first and last entries are whole numbers";
        }
        request.start = static_cast<int32_t>(number(2));
        request.end = static_cast<int32_t>(number(3));
        if (request.start > request.end) return "the first entry comes before the last";
        if (request.around == DataRequest::Global && request.start < 1) return "global ranks start at 1";
        if (static_cast<int64_t>(request.end) - request.start >= 5000) return "download at most 5000 entries at once";
        return std::string();
      }
      if (!IsInteger(number(1), -2147483648.0, 2147483647.0)) {
        return "a score is a whole number from -2147483648 to 2147483647";
      }
      request.number = number(1);
      request.force = flag(2);
      const json details = json::parse(text(3), nullptr, false);
      const std::string detailsError = "a score's details are an array of at most 64 whole numbers of 32 bits";
      if (!details.is_array() || details.size() > static_cast<size_t>(kLeaderboardDetailsMax)) return detailsError;
      for (const json& detail : details) {
        if (!detail.is_number_integer() || detail.get<int64_t>() < INT32_MIN || detail.get<int64_t>() > INT32_MAX) {
          return detailsError;
        }
        request.details.push_back(static_cast<int32_t>(detail.get<int64_t>()));
      }
      return std::string();
    }
    case Operation::SetRichPresence:
      request.name = text(0);
      request.value = text(1);
      if (request.name.empty() || request.name.size() >= kRichPresenceKeyMax || !IsValidUtf8(request.name)) {
        return "a rich presence key is 1 to 63 bytes of UTF-8";
      }
      if (request.value.size() >= kRichPresenceValueMax || !IsValidUtf8(request.value)) {
        return "a rich presence value is at most 255 bytes of UTF-8";
      }
      return std::string();
    case Operation::OpenWebPage:
      request.name = text(0);
      if ((request.name.rfind("https://", 0) != 0 && request.name.rfind("http://", 0) != 0) ||
          !IsValidUtf8(request.name)) {
        return "the overlay opens only http:// and https:// addresses";
      }
      return std::string();
    case Operation::OpenStore:
    case Operation::IsDlcInstalled:
      if (!IsInteger(number(0), 1, 4294967295.0)) return "an app id is a whole number from 1 to 4294967295";
      request.appId = static_cast<uint32_t>(number(0));
      return std::string();
    case Operation::OpenOverlay: {
      const std::string dialog = LowerAscii(text(0));
      for (size_t i = 0; i < sizeof(kDialogs) / sizeof(kDialogs[0]); ++i) {
        if (dialog == kDialogs[i]) request.name = kDialogNames[i];
      }
      if (request.name.empty()) {
        return "the overlay's dialogs are \"friends\", \"community\", \"players\", \"settings\", "
               "\"officialgamegroup\", \"stats\" and \"achievements\", not " + Quoted(text(0));
      }
      return std::string();
    }
    case Operation::ShowGamepadTextInput:
      request.name = text(0);
      request.value = text(2);
      if (!IsInteger(number(1), 1, 65536)) return "the most characters is a whole number from 1 to 65536";
      request.max = static_cast<uint32_t>(number(1));
      request.password = flag(3);
      request.multiline = flag(4);
      if (!IsValidUtf8(request.name) || !IsValidUtf8(request.value)) return "the texts are UTF-8";
      return std::string();
    default:
      return std::string();
  }
}

}  // namespace

const char* LibraryName(bool wide) { return wide ? "steam_api64.dll" : "steam_api.dll"; }

const std::vector<Accessor>& Accessors(Interface which) {
  static const std::vector<Accessor> kTable[] = {
      {{"SteamAPI_SteamUserStats_v013", "STEAMUSERSTATS_INTERFACE_VERSION013"},
       {"SteamAPI_SteamUserStats_v012", "STEAMUSERSTATS_INTERFACE_VERSION012"},
       {"SteamAPI_SteamUserStats_v011", "STEAMUSERSTATS_INTERFACE_VERSION011"}},
      {{"SteamAPI_SteamUser_v023", "SteamUser023"},
       {"SteamAPI_SteamUser_v022", "SteamUser022"},
       {"SteamAPI_SteamUser_v021", "SteamUser021"},
       {"SteamAPI_SteamUser_v020", "SteamUser020"}},
      {{"SteamAPI_SteamFriends_v018", "SteamFriends018"}, {"SteamAPI_SteamFriends_v017", "SteamFriends017"}},
      {{"SteamAPI_SteamUtils_v011", "SteamUtils011"},
       {"SteamAPI_SteamUtils_v010", "SteamUtils010"},
       {"SteamAPI_SteamUtils_v009", "SteamUtils009"}},
      {{"SteamAPI_SteamApps_v009", "STEAMAPPS_INTERFACE_VERSION009"},
       {"SteamAPI_SteamApps_v008", "STEAMAPPS_INTERFACE_VERSION008"}},
  };
  return kTable[static_cast<int>(which)];
}

const char* InterfaceName(Interface which) {
  static const char* const kNames[] = {"ISteamUserStats", "ISteamUser", "ISteamFriends", "ISteamUtils", "ISteamApps"};
  return kNames[static_cast<int>(which)];
}

std::string VersionList(const std::vector<const char*>& versionTexts) {
  std::string list;
  for (const char* text : versionTexts) {
    list += text;
    list.push_back('\0');
  }
  list.push_back('\0');
  return list;
}

std::string Reason(Failure failure, bool wide, const std::string& detail) {
  const std::string library = LibraryName(wide);
  const std::string sdkFolder = wide ? "redistributable_bin\\win64" : "redistributable_bin";
  switch (failure) {
    case Failure::None: return std::string();
    case Failure::NoLibrary:
      return library + " is not beside kiln.exe: copy it there from the Steamworks SDK's " + sdkFolder +
             " folder (Kiln does not ship it)";
    case Failure::WrongArchitecture:
      return library + " beside kiln.exe is not a " + (wide ? "64" : "32") + "-bit DLL: this kiln.exe is " +
             (wide ? "64" : "32") + "-bit, so copy the DLL from the Steamworks SDK's " + sdkFolder + " folder";
    case Failure::CannotLoad:
      return library + " beside kiln.exe could not be loaded (Windows error " + detail +
             "): replace it with the one from the Steamworks SDK's " + sdkFolder + " folder";
    case Failure::TooOld:
      return library + " is from a Steamworks SDK older than 1.48, which Kiln does not support: use the DLL of "
             "SDK 1.48 or newer";
    case Failure::MissingExport:
      return library + " has no export " + detail + ", which Kiln needs: it is damaged or not Valve's; use the "
             "DLL from the Steamworks SDK (1.48 or newer)";
    case Failure::NoSteam:
      return "Steam is not running, or this user cannot reach it: start Steam (as the same Windows user, "
             "without administrator rights) and launch the game from it" +
             (detail.empty() ? std::string() : " (Steam says: " + detail + ")");
    case Failure::OldClient:
      return "the Steam client is older than " + library + ": let Steam update itself and restart it" +
             (detail.empty() ? std::string() : " (Steam says: " + detail + ")");
    case Failure::InitFailed:
      return "Steam refused to start the game's connection: check the app id (steam_appid.txt while developing) "
             "and that this Steam user owns the app" +
             (detail.empty() ? std::string() : " (Steam says: " + detail + ")");
    case Failure::NoInterface:
      return "Steam gave no " + detail + " interface: restart Steam, or use a " + library +
             " of the same SDK as the Steam client supports";
  }
  return std::string();
}

Failure InitFailure(int32_t result) {
  switch (result) {
    case 0: return Failure::None;
    case 2: return Failure::NoSteam;
    case 3: return Failure::OldClient;
    default: return Failure::InitFailed;
  }
}

AppIdSetting ReadAppId(std::string_view packageJson) {
  AppIdSetting setting;
  const json root = json::parse(packageJson, nullptr, false);
  if (!root.is_object() || !root.contains("steam")) return setting;
  const json& steam = root["steam"];
  const std::string wanted = "\"steam\" is an object whose \"app-id\" is the game's Steam app id, a whole number "
                             "from 1 to 4294967295";
  if (!steam.is_object() || !steam.contains("app-id")) {
    setting.error = wanted;
    return setting;
  }
  const json& id = steam["app-id"];
  if (!id.is_number_integer() || id.get<int64_t>() < 1 ||
      (id.is_number_unsigned() ? id.get<uint64_t>() > 4294967295u : id.get<int64_t>() > 4294967295)) {
    setting.error = wanted;
    return setting;
  }
  setting.appId = static_cast<uint32_t>(id.get<uint64_t>());
  return setting;
}

std::string DecimalText(uint64_t value) { return std::to_string(value); }

std::optional<uint64_t> ParseDecimal(std::string_view text) {
  if (text.empty() || text.size() > 20) return std::nullopt;
  uint64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(c - '0');
    if (value > (UINT64_MAX - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

Parsed ParseRequest(std::string_view messageId, int32_t count, const ExtensionValue* values) {
  Parsed parsed;
  for (const Signature& signature : kSignatures) {
    if (messageId != signature.messageId) continue;
    const int32_t wanted = static_cast<int32_t>(std::strlen(signature.kinds));
    bool fits = count == wanted;
    for (int32_t i = 0; fits && i < wanted; ++i) fits = Fits(values[i], signature.kinds[i]);
    if (!fits) {
      parsed.error = Quoted(messageId) + " takes " + signature.expected;
      return parsed;
    }
    Request request;
    request.operation = signature.operation;
    parsed.error = Fill(request, values);
    if (parsed.error.empty()) parsed.request = std::move(request);
    return parsed;
  }
  parsed.error = "kiln-steam has no message " + Quoted(messageId);
  return parsed;
}

void StoreSchedule::Changed(uint64_t) { dirty_ = true; }

bool StoreSchedule::Due(uint64_t now) const {
  return dirty_ && (!stored_ || now - lastStore_ >= kStoreIntervalMilliseconds);
}

void StoreSchedule::Stored(uint64_t now) {
  dirty_ = false;
  stored_ = true;
  lastStore_ = now;
}

std::string EntriesJson(const std::vector<Entry>& entries) {
  json rows = json::array();
  for (const Entry& entry : entries) {
    rows.push_back({{"rank", entry.rank},
                    {"score", entry.score},
                    {"steamId", DecimalText(entry.steamId)},
                    {"name", entry.name ? json(*entry.name) : json()},
                    {"details", entry.details}});
  }
  return rows.dump(-1, ' ', false, json::error_handler_t::replace);
}

bool IsUnknownPersona(const char* name) {
  return !name || !*name || std::strcmp(name, "[unknown]") == 0;
}

std::string PageText(const char* text) {
  std::string copy = text ? text : "";
  if (IsValidUtf8(copy)) return copy;
  for (char& c : copy) {
    if (c < ' ' || c > '~') c = '?';
  }
  return copy;
}

std::string AchievementsJson(const std::vector<Achievement>& achievements) {
  json rows = json::array();
  for (const Achievement& achievement : achievements) {
    rows.push_back({{"name", achievement.name}, {"unlocked", achievement.unlocked}});
  }
  return rows.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace kiln::steam

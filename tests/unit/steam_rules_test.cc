#include "steam_rules.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

// Our declarations of Steam's structures: their layout checks run here for
// the native width too.
#include "steam_flat.h"

namespace kiln::steam {
namespace {

ExtensionValue Text(const char* text) { return {ExtensionValueType::String, 0, text}; }
ExtensionValue Number(double number) { return {ExtensionValueType::Number, number, nullptr}; }
ExtensionValue Flag(bool on) { return {ExtensionValueType::Boolean, on ? 1.0 : 0.0, nullptr}; }
ExtensionValue Null() { return {ExtensionValueType::Other, 0, nullptr}; }

Parsed Parse(const std::string& messageId, const std::vector<ExtensionValue>& values) {
  return ParseRequest(messageId, static_cast<int32_t>(values.size()), values.empty() ? nullptr : values.data());
}

TEST(SteamRulesTest, WhatThePageSendsIsCheckedBeforeSteamSeesIt) {
  const std::string longName(128, 'A');
  std::string details64 = "[0", details65;
  for (int i = 1; i < 64; ++i) details64 += "," + std::to_string(i);
  details65 = details64 + ",64]";
  details64 += "]";
  struct Case {
    std::string messageId;
    std::vector<ExtensionValue> values;
    std::string error;  // empty: accepted
  };
  const Case cases[] = {
      {"unlock", {Text("ACH_WIN")}, ""},
      {"unlock", {Text(longName.c_str())}, "an achievement's API name is 1 to 127 characters long"},
      {"unlock", {Text("")}, "an achievement's API name is 1 to 127 characters long"},
      {"unlock", {Text("two words")}, "an achievement's API name holds only printable ASCII characters, no spaces"},
      {"unlock", {Number(3)}, "\"unlock\" takes one string: an achievement's API name"},
      {"unlock", {}, "\"unlock\" takes one string: an achievement's API name"},
      {"progress", {Text("ACH"), Number(3), Number(10)}, ""},
      {"progress", {Text("ACH"), Number(11), Number(10)},
       "the progress is a whole number from 0 to its maximum, and the maximum a whole number from 1"},
      {"progress", {Text("ACH"), Number(0.5), Number(10)},
       "the progress is a whole number from 0 to its maximum, and the maximum a whole number from 1"},
      {"set-stat", {Text("kills"), Number(7), Text("int")}, ""},
      {"set-stat", {Text("kills"), Number(7.5), Text("int")},
       "an int stat's value is a whole number from -2147483648 to 2147483647"},
      {"set-stat", {Text("kills"), Number(2147483648.0), Text("int")},
       "an int stat's value is a whole number from -2147483648 to 2147483647"},
      {"set-stat", {Text("time"), Number(7.5), Text("float")}, ""},
      {"set-stat", {Text("time"), Number(1e39), Text("float")}, "a float stat's value fits a 32-bit float"},
      {"set-stat", {Text("time"), Number(1), Text("double")}, "a stat's kind is \"int\" or \"float\", not \"double\""},
      {"get-stat", {Text("time"), Text("float")}, ""},
      {"find-leaderboard", {Text("Top"), Flag(true), Text("ascending"), Text("seconds")}, ""},
      {"find-leaderboard", {Text("Top"), Flag(true), Text("up"), Text("seconds")},
       "a leaderboard's sort is \"ascending\" (lowest score first) or \"descending\", not \"up\""},
      {"find-leaderboard", {Text("Top"), Flag(true), Text("descending"), Text("hours")},
       "a leaderboard's display is \"numeric\", \"seconds\" or \"milliseconds\", not \"hours\""},
      {"find-leaderboard", {Text(""), Flag(false), Text("descending"), Text("numeric")},
       "a leaderboard's name is 1 to 127 bytes of UTF-8"},
      {"find-leaderboard", {Text("Top"), Null(), Text("descending"), Text("numeric")},
       "\"find-leaderboard\" takes a leaderboard's name, whether to create it, its sort and its display"},
      {"upload-score", {Text("18446744073709551615"), Number(-5), Flag(false), Text("[1, -2, 2147483647]")}, ""},
      {"upload-score", {Text("18446744073709551616"), Number(5), Flag(false), Text("[]")},
       "a leaderboard is the text findLeaderboard resolved with"},
      {"upload-score", {Text("0"), Number(5), Flag(false), Text("[]")},
       "a leaderboard is the text findLeaderboard resolved with"},
      {"upload-score", {Text("12"), Number(5), Flag(false), Text("[2147483648]")},
       "a score's details are an array of at most 64 whole numbers of 32 bits"},
      {"upload-score", {Text("12"), Number(5), Flag(false), Text("{}")},
       "a score's details are an array of at most 64 whole numbers of 32 bits"},
      {"upload-score", {Text("12"), Number(5), Flag(false), Text(details64.c_str())}, ""},
      {"upload-score", {Text("12"), Number(5), Flag(false), Text(details65.c_str())},
       "a score's details are an array of at most 64 whole numbers of 32 bits"},
      {"download-scores", {Text("12"), Text("global"), Number(1), Number(10)}, ""},
      {"download-scores", {Text("12"), Text("user"), Number(-3), Number(3)}, ""},
      {"download-scores", {Text("12"), Text("global"), Number(0), Number(10)}, "global ranks start at 1"},
      {"download-scores", {Text("12"), Text("global"), Number(10), Number(1)}, "the first entry comes before the last"},
      {"download-scores", {Text("12"), Text("everyone"), Number(1), Number(10)},
       "which entries to download is \"global\", \"user\" or \"friends\", not \"everyone\""},
      {"set-rich-presence", {Text("status"), Text("In the menu")}, ""},
      {"set-rich-presence", {Text("status"), Text(std::string(256, 'x').c_str())},
       "a rich presence value is at most 255 bytes of UTF-8"},
      {"open-web-page", {Text("https://example.com/")}, ""},
      {"open-web-page", {Text("file:///C:/Windows")}, "the overlay opens only http:// and https:// addresses"},
      {"open-store", {Number(480)}, ""},
      {"open-store", {Number(0)}, "an app id is a whole number from 1 to 4294967295"},
      {"open-overlay", {Text("Achievements")}, ""},
      {"open-overlay", {Text("desktop")},
       "the overlay's dialogs are \"friends\", \"community\", \"players\", \"settings\", \"officialgamegroup\", "
       "\"stats\" and \"achievements\", not \"desktop\""},
      {"status", {}, ""},
      {"status", {Number(1)}, "\"status\" takes no parameters"},
      {"launch", {}, "kiln-steam has no message \"launch\""},
  };
  for (const Case& c : cases) {
    const Parsed parsed = Parse(c.messageId, c.values);
    EXPECT_EQ(parsed.error, c.error) << c.messageId;
    EXPECT_EQ(parsed.request.has_value(), c.error.empty()) << c.messageId;
  }
}

TEST(SteamRulesTest, AcceptedRequestsCarryTheValuesSteamIsCalledWith) {
  const Parsed upload = Parse("upload-score", {Text("18446744073709551615"), Number(-5), Flag(true), Text("[1,-2]")});
  ASSERT_TRUE(upload.request);
  EXPECT_EQ(upload.request->board, UINT64_MAX) << "a 64-bit handle survives as text";
  EXPECT_TRUE(upload.request->force);
  EXPECT_EQ(upload.request->details, (std::vector<int32_t>{1, -2}));

  const Parsed find = Parse("find-leaderboard", {Text("Top"), Flag(true), Text("ascending"), Text("milliseconds")});
  ASSERT_TRUE(find.request);
  EXPECT_EQ(find.request->sort, SortMethod::Ascending);
  EXPECT_EQ(find.request->display, DisplayType::TimeMilliSeconds);

  const Parsed around = Parse("download-scores", {Text("5"), Text("user"), Number(-4), Number(5)});
  ASSERT_TRUE(around.request);
  EXPECT_EQ(around.request->around, DataRequest::GlobalAroundUser);
  EXPECT_EQ(around.request->start, -4);

  const Parsed overlay = Parse("open-overlay", {Text("officialgamegroup")});
  ASSERT_TRUE(overlay.request);
  EXPECT_EQ(overlay.request->name, "OfficialGameGroup") << "Steam's own spelling of the dialog";
}

TEST(SteamRulesTest, TheAppIdOfPackageJsonIsAPositive32BitInteger) {
  EXPECT_EQ(ReadAppId(R"({"name": "x"})").appId, std::nullopt);
  EXPECT_EQ(ReadAppId(R"({"name": "x"})").error, "");
  EXPECT_EQ(ReadAppId(R"({"steam": {"app-id": 480}})").appId, 480u);
  EXPECT_EQ(ReadAppId(R"({"steam": {"app-id": 4294967295}})").appId, 4294967295u);
  for (const char* bad : {R"({"steam": {"app-id": 0}})", R"({"steam": {"app-id": -1}})",
                          R"({"steam": {"app-id": 4294967296}})", R"({"steam": {"app-id": "480"}})",
                          R"({"steam": {"app-id": 480.5}})", R"({"steam": {}})", R"({"steam": 480})"}) {
    const AppIdSetting setting = ReadAppId(bad);
    EXPECT_EQ(setting.appId, std::nullopt) << bad;
    EXPECT_FALSE(setting.error.empty()) << bad;
  }
}

TEST(SteamRulesTest, NewestAccessorsComeFirstAndTheVersionListEndsInTwoNuls) {
  EXPECT_STREQ(Accessors(Interface::UserStats).front().exportName, "SteamAPI_SteamUserStats_v013");
  EXPECT_STREQ(Accessors(Interface::UserStats).back().exportName, "SteamAPI_SteamUserStats_v011");
  EXPECT_STREQ(Accessors(Interface::Utils).front().versionText, "SteamUtils011");
  EXPECT_EQ(VersionList({"SteamUser023", "SteamUtils010"}), std::string("SteamUser023\0SteamUtils010\0\0", 28));
}

TEST(SteamRulesTest, EachFailureHasAReasonAnAuthorCanActOn) {
  EXPECT_EQ(InitFailure(0), Failure::None);
  EXPECT_EQ(InitFailure(1), Failure::InitFailed);
  EXPECT_EQ(InitFailure(2), Failure::NoSteam);
  EXPECT_EQ(InitFailure(3), Failure::OldClient);
  EXPECT_EQ(InitFailure(77), Failure::InitFailed);
  EXPECT_EQ(Reason(Failure::NoLibrary, false),
            "steam_api.dll is not beside kiln.exe: copy it there from the Steamworks SDK's redistributable_bin "
            "folder (Kiln does not ship it)");
  EXPECT_EQ(Reason(Failure::WrongArchitecture, true),
            "steam_api64.dll beside kiln.exe is not a 64-bit DLL: this kiln.exe is 64-bit, so copy the DLL from "
            "the Steamworks SDK's redistributable_bin\\win64 folder");
  EXPECT_EQ(Reason(Failure::MissingExport, false, "SteamAPI_X"),
            "steam_api.dll has no export SteamAPI_X, which Kiln needs: it is damaged or not Valve's; use the DLL "
            "from the Steamworks SDK (1.48 or newer)");
  EXPECT_EQ(Reason(Failure::OldClient, false, "update"),
            "the Steam client is older than steam_api.dll: let Steam update itself and restart it (Steam says: "
            "update)");
  for (int f = static_cast<int>(Failure::NoLibrary); f <= static_cast<int>(Failure::NoInterface); ++f) {
    EXPECT_FALSE(Reason(static_cast<Failure>(f), false).empty()) << f;
  }
}

TEST(SteamRulesTest, StoresComeAtOnceAfterAQuietSpellAndAtMostOnceAnInterval) {
  StoreSchedule schedule;
  EXPECT_FALSE(schedule.Due(0)) << "nothing changed";
  schedule.Changed(1000);
  ASSERT_TRUE(schedule.Due(1000)) << "the first change is stored at once";
  schedule.Stored(1000);
  int stores = 1;
  for (uint64_t now = 1010; now < 2000; now += 10) {  // a stat set every frame for a second
    schedule.Changed(now);
    if (schedule.Due(now)) {
      schedule.Stored(now);
      ++stores;
    }
  }
  EXPECT_EQ(stores, 1);
  EXPECT_TRUE(schedule.dirty()) << "what is left is stored later, or at exit";
  EXPECT_FALSE(schedule.Due(1000 + kStoreIntervalMilliseconds - 1));
  EXPECT_TRUE(schedule.Due(1000 + kStoreIntervalMilliseconds));
}

TEST(SteamRulesTest, EntriesKeep64BitSteamIdsAsTextAndNamesOnlyWhereKnown) {
  Entry known{76561198000000001ull, 1, 900, std::string("Ann"), {1, 2}};
  Entry unknown{18446744073709551615ull, 2, -5, std::nullopt, {}};
  EXPECT_EQ(EntriesJson({known, unknown}),
            R"([{"details":[1,2],"name":"Ann","rank":1,"score":900,"steamId":"76561198000000001"},)"
            R"({"details":[],"name":null,"rank":2,"score":-5,"steamId":"18446744073709551615"}])");
  EXPECT_TRUE(IsUnknownPersona("[unknown]"));
  EXPECT_TRUE(IsUnknownPersona(""));
  EXPECT_FALSE(IsUnknownPersona("Ann"));
  EXPECT_EQ(PageText("caf\xC3\xA9"), "caf\xC3\xA9");
  EXPECT_EQ(PageText("bad\xFF"), "bad?");
  EXPECT_EQ(ParseDecimal("01"), 1u);
  EXPECT_EQ(ParseDecimal("-1"), std::nullopt);
  EXPECT_EQ(ParseDecimal(""), std::nullopt);
}

TEST(SteamRulesTest, OurStructuresHaveTheLayoutOfSteamsOnThisWidth) {
  flat::LeaderboardEntry entry = {};
  const uint8_t id[8] = {0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x10, 0x01};
  std::copy(id, id + 8, entry.steamIdUser.bytes);
  EXPECT_EQ(entry.steamIdUser.Value(), 76561197960265729ull) << "little-endian, low dword first";
}

}  // namespace
}  // namespace kiln::steam

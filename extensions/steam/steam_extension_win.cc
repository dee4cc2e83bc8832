// steam.ext.dll: Steam's achievements, stats, leaderboards, rich presence,
// overlay and environment for the page, over the steam_api.dll the author
// puts beside kiln.exe.
//
// The page asks (component "kiln-steam"; answered with the same message id
// and asyncId, {"ok": true, ...} or {"ok": false, "error": text}); kiln.js
// wraps every message as Kiln.steam. When Steam is not there the game runs
// on: "status" says why, and every other request is refused with that
// reason.
//
// Steam is called on the UI thread only. A timer of our own message-only
// window pumps Steam's callbacks with manual dispatch; the answers to
// asynchronous calls (leaderboards) are matched to the page's request by
// their call handle and answered then. Stats are stored at most once every
// few seconds, on "store-stats", and at exit, so a game that sets a stat
// every frame does not get itself throttled.
#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "extension_init.h"
#include "kiln/extension.h"
#include "message_window_win.h"
#include "steam_api_win.h"
#include "steam_rules.h"

namespace kiln::steam {
namespace {

constexpr UINT_PTR kPumpTimer = 1;
// Callbacks drained in one pump at most, so a flood cannot hold the UI thread.
constexpr int kMaxCallbacksPerPump = 256;

// An answer's named values, with storage for their texts.
class Answer {
 public:
  explicit Answer(bool ok) { Flag("ok", ok); }
  Answer& Flag(const char* name, bool value) { return Add(name, ExtensionValueType::Boolean, value ? 1 : 0); }
  Answer& Number(const char* name, double value) { return Add(name, ExtensionValueType::Number, value); }
  Answer& Text(const char* name, std::string value) {
    texts_.push_back(std::make_unique<std::string>(std::move(value)));
    Add(name, ExtensionValueType::String, 0);
    values_.back().value.text = texts_.back()->c_str();
    return *this;
  }
  Answer& Null(const char* name) { return Add(name, ExtensionValueType::Other, 0); }
  const std::vector<NamedExtensionValue>& values() const { return values_; }

 private:
  Answer& Add(const char* name, ExtensionValueType type, double number) {
    NamedExtensionValue value = {};
    value.name = name;
    value.value.type = type;
    value.value.number = number;
    values_.push_back(value);
    return *this;
  }
  std::vector<NamedExtensionValue> values_;
  std::vector<std::unique_ptr<std::string>> texts_;
};

Answer Refusal(const std::string& error) { return std::move(Answer(false).Text("error", error)); }

std::string ReadWholeFile(const std::string& path) {
  const int size = MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, nullptr, 0);
  if (size <= 0) return std::string();
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, path.c_str(), -1, &wide[0], size);
  const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0 && bytes.size() < (1u << 24)) {
    bytes.append(buffer, read);
  }
  CloseHandle(file);
  return bytes;
}

struct Waiting {
  Operation operation;
  std::string messageId;
  double asyncId;
  std::string name;  // the leaderboard asked for
};

class SteamExtension final : public IExtension {
 public:
  explicit SteamExtension(IApplication* application) : application_(application) {}

  // Always true: without Steam the game runs on, and every call says why.
  bool Start() {
    const std::string folder = application_->GetAppFolder();
    const AppIdSetting setting = ReadAppId(ReadWholeFile(folder + "package.json"));
    const StartResult started = StartSteam(api_, folder, setting.appId);
    // Steam starts the game itself, through steam://run: end before any
    // window shows.
    if (started.restart) ExitProcess(0);
    failure_ = started.failure;
    reason_ = Reason(started.failure, sizeof(void*) == 8, started.detail);
    window_.Create([this](UINT message, WPARAM wParam, LPARAM) {
      if (message == WM_TIMER && wParam == kPumpTimer) Pump();
    });
    if (failure_ == Failure::None && !window_.StartTimer(kPumpTimer, kPumpMilliseconds)) {
      reason_ = "Kiln could not start the timer that receives Steam's answers";
      failure_ = Failure::InitFailed;
    }
    return true;
  }

  void Destroy() override {
    window_.Destroy();
    if (failure_ == Failure::None) {
      if (schedule_.dirty()) api_.storeStats(api_.userStats);
      StopSteam(api_);
    }
    delete this;
  }

  void OnWebMessage(const char* messageId, int32_t count, const ExtensionValue* values, double asyncId) override {
    pageSeen_ = true;
    try {
      const Parsed parsed = ParseRequest(messageId, count, values);
      if (!parsed.request) return Send(messageId, Refusal(parsed.error), asyncId);
      const Request& request = *parsed.request;
      if (request.operation == Operation::Status) {
        Answer answer(true);
        answer.Flag("available", failure_ == Failure::None);
        if (failure_ == Failure::None) {
          answer.Null("reason");
        } else {
          answer.Text("reason", reason_);
        }
        return Send(messageId, answer, asyncId);
      }
      if (failure_ != Failure::None) return Send(messageId, Refusal(reason_), asyncId);
      Do(request, messageId, asyncId);
    } catch (...) {
      // Out of memory: the page sees no answer to this request.
    }
  }

  void OnMainWindowCreated(WindowHandle) override {}
  void OnExtensionsLoaded() override {}

 private:
  void Send(const char* messageId, const Answer& answer, double asyncId) {
    const std::vector<NamedExtensionValue>& values = answer.values();
    application_->SendWebMessage(messageId, static_cast<uint32_t>(values.size()), values.data(), asyncId);
  }

  void StatsChanged() {
    schedule_.Changed(GetTickCount64());
    StoreWhenDue();
  }

  void StoreWhenDue() {
    const uint64_t now = GetTickCount64();
    if (!schedule_.Due(now)) return;
    api_.storeStats(api_.userStats);
    schedule_.Stored(now);
  }

  // Answers at once, or leaves the request waiting for a call result.
  void Do(const Request& request, const char* messageId, double asyncId) {
    void* stats = api_.userStats;
    const auto done = [&](bool ok, const char* what) {
      Send(messageId, ok ? Answer(true) : Refusal(std::string("Steam refused to ") + what), asyncId);
    };
    switch (request.operation) {
      case Operation::Unlock: {
        const bool ok = api_.setAchievement(stats, request.name.c_str());
        if (ok) StatsChanged();
        return done(ok, ("unlock \"" + request.name + "\": is it an achievement of this app?").c_str());
      }
      case Operation::Clear: {
        const bool ok = api_.clearAchievement(stats, request.name.c_str());
        if (ok) StatsChanged();
        return done(ok, ("clear \"" + request.name + "\": is it an achievement of this app?").c_str());
      }
      case Operation::IsUnlocked: {
        bool achieved = false;
        if (!api_.getAchievement(stats, request.name.c_str(), &achieved)) {
          return done(false, ("read \"" + request.name + "\": is it an achievement of this app?").c_str());
        }
        return Send(messageId, std::move(Answer(true).Flag("unlocked", achieved)), asyncId);
      }
      case Operation::Progress:
        return done(api_.indicateProgress(stats, request.name.c_str(), request.current, request.max),
                    ("show progress of \"" + request.name + "\"").c_str());
      case Operation::List: {
        std::vector<Achievement> achievements;
        const uint32_t total = api_.getNumAchievements(stats);
        for (uint32_t i = 0; i < total && i < 10000; ++i) {
          const char* name = api_.getAchievementName(stats, i);
          if (!name) continue;
          Achievement achievement{name, false};
          api_.getAchievement(stats, name, &achievement.unlocked);
          achievements.push_back(std::move(achievement));
        }
        return Send(messageId, std::move(Answer(true).Text("achievements", AchievementsJson(achievements))), asyncId);
      }
      case Operation::GetStat: {
        bool ok = false;
        double value = 0;
        if (request.isFloat) {
          float number = 0;
          ok = api_.getStatFloat(stats, request.name.c_str(), &number);
          value = number;
        } else {
          int32_t number = 0;
          ok = api_.getStatInt(stats, request.name.c_str(), &number);
          value = number;
        }
        if (!ok) return done(false, ("read the stat \"" + request.name + "\": is it a stat of this app, of that kind?").c_str());
        return Send(messageId, std::move(Answer(true).Number("value", value)), asyncId);
      }
      case Operation::SetStat: {
        const bool ok = request.isFloat
                            ? api_.setStatFloat(stats, request.name.c_str(), static_cast<float>(request.number))
                            : api_.setStatInt(stats, request.name.c_str(), static_cast<int32_t>(request.number));
        if (ok) StatsChanged();
        return done(ok, ("set the stat \"" + request.name + "\": is it a stat of this app, of that kind?").c_str());
      }
      case Operation::StoreStats: {
        const bool ok = api_.storeStats(stats);
        if (ok) schedule_.Stored(GetTickCount64());
        return done(ok, "store the stats");
      }
      case Operation::FindLeaderboard: {
        const flat::SteamAPICall call =
            request.create ? api_.findOrCreateLeaderboard(stats, request.name.c_str(), static_cast<int32_t>(request.sort),
                                                          static_cast<int32_t>(request.display))
                           : api_.findLeaderboard(stats, request.name.c_str());
        return Wait(call, request, messageId, asyncId);
      }
      case Operation::UploadScore: {
        const flat::SteamAPICall call = api_.uploadScore(
            stats, request.board,
            static_cast<int32_t>(request.force ? UploadMethod::ForceUpdate : UploadMethod::KeepBest),
            static_cast<int32_t>(request.number), request.details.empty() ? nullptr : request.details.data(),
            static_cast<int32_t>(request.details.size()));
        return Wait(call, request, messageId, asyncId);
      }
      case Operation::DownloadScores:
        return Wait(api_.downloadEntries(stats, request.board, static_cast<int32_t>(request.around), request.start,
                                         request.end),
                    request, messageId, asyncId);
      case Operation::SetRichPresence:
        return done(api_.setRichPresence(api_.friends, request.name.c_str(),
                                         request.value.empty() ? nullptr : request.value.c_str()),
                    "set the rich presence (at most 30 keys)");
      case Operation::ClearRichPresence:
        api_.clearRichPresence(api_.friends);
        return done(true, "");
      case Operation::PersonaName: {
        const char* name = api_.getPersonaName(api_.friends);
        return Send(messageId, std::move(Answer(true).Text("name", SafeText(name))), asyncId);
      }
      case Operation::SteamId:
        return Send(messageId, std::move(Answer(true).Text("steamId", DecimalText(api_.getSteamId(api_.user)))),
                    asyncId);
      case Operation::OpenWebPage:
        api_.activateOverlayToWebPage(api_.friends, request.name.c_str(), 0);
        return done(true, "");
      case Operation::OpenStore:
        api_.activateOverlayToStore(api_.friends, request.appId, 0);
        return done(true, "");
      case Operation::OpenOverlay:
        api_.activateOverlay(api_.friends, request.name.c_str());
        return done(true, "");
      case Operation::ShowGamepadTextInput:
        if (gamepadInput_) return done(false, "show a second gamepad keyboard while one is open");
        if (!api_.showGamepadTextInput(api_.utils, request.password ? 1 : 0, request.multiline ? 1 : 0,
                                       request.name.c_str(), request.max, request.value.c_str())) {
          return done(false, "show the gamepad keyboard (it shows in Big Picture mode and on a Steam Deck only)");
        }
        gamepadInput_ = std::make_unique<Waiting>(Waiting{request.operation, messageId, asyncId, std::string()});
        return;
      case Operation::Language:
        return Send(messageId,
                    std::move(Answer(true).Text("language", SafeText(api_.getCurrentGameLanguage(api_.apps)))),
                    asyncId);
      case Operation::IsDlcInstalled:
        return Send(messageId, std::move(Answer(true).Flag("installed", api_.isDlcInstalled(api_.apps, request.appId))),
                    asyncId);
      case Operation::IsSteamDeck: {
        // SDK 1.65a replaced the Deck question by a hardware type.
        const bool deck = api_.hardwareType ? api_.hardwareType(api_.utils) == 1
                                            : api_.isSteamDeck && api_.isSteamDeck(api_.utils);
        return Send(messageId, std::move(Answer(true).Flag("deck", deck)), asyncId);
      }
      case Operation::IsBigPicture:
        return Send(messageId, std::move(Answer(true).Flag("bigPicture", api_.isBigPicture(api_.utils))), asyncId);
      case Operation::AppId:
        return Send(messageId, std::move(Answer(true).Number("appId", api_.getAppId(api_.utils))), asyncId);
      case Operation::Status:
        return;
    }
  }

  static std::string SafeText(const char* text) { return PageText(text); }

  void Wait(flat::SteamAPICall call, const Request& request, const char* messageId, double asyncId) {
    if (call == 0) return Send(messageId, Refusal("Steam did not take the request; try again later"), asyncId);
    waiting_[call] = Waiting{request.operation, messageId, asyncId, request.name};
  }

  void Pump() {
    api_.runFrame(api_.pipe);
    flat::CallbackMsg message = {};
    for (int i = 0; i < kMaxCallbacksPerPump && api_.getNextCallback(api_.pipe, &message); ++i) {
      try {
        Handle(message);
      } catch (...) {
        // Out of memory: this one callback is lost, the pump goes on.
      }
      api_.freeLastCallback(api_.pipe);
    }
    StoreWhenDue();
  }

  void Handle(const flat::CallbackMsg& message) {
    if (!message.param) return;
    switch (message.callback) {
      case flat::kSteamAPICallCompleted: {
        if (message.paramSize < static_cast<int32_t>(sizeof(flat::SteamAPICallCompleted))) return;
        flat::SteamAPICallCompleted completed;
        memcpy(&completed, message.param, sizeof(completed));
        const auto found = waiting_.find(completed.asyncCall);
        if (found == waiting_.end()) return;
        const Waiting waiting = std::move(found->second);
        waiting_.erase(found);
        // 8-aligned room for the result, at least as large as we read.
        std::vector<uint64_t> buffer((std::max<uint32_t>(completed.paramSize, 64) + 7) / 8, 0);
        bool failed = false;
        const bool ok = api_.getCallResult(api_.pipe, completed.asyncCall, buffer.data(),
                                           static_cast<int32_t>(completed.paramSize), completed.callback, &failed);
        if (!ok || failed) {
          return Send(waiting.messageId.c_str(),
                      Refusal("Steam's answer did not come (no connection to Steam's servers?)"), waiting.asyncId);
        }
        return Answered(waiting, completed.callback, buffer.data());
      }
      case flat::kGameOverlayActivated:
        if (message.paramSize >= 1 && pageSeen_) {
          Send("overlay-activated", std::move(Answer(true).Flag("active", message.param[0] != 0)), -1);
        }
        return;
      case flat::kGamepadTextInputDismissed: {
        if (!gamepadInput_ || message.paramSize < 8) return;
        flat::GamepadTextInputDismissed dismissed = {};
        memcpy(&dismissed, message.param, std::min<size_t>(sizeof(dismissed), static_cast<size_t>(message.paramSize)));
        const std::unique_ptr<Waiting> waiting = std::move(gamepadInput_);
        Answer answer(true);
        answer.Flag("submitted", dismissed.submitted);
        if (dismissed.submitted && dismissed.submittedText < (1u << 20)) {
          std::vector<char> text(dismissed.submittedText + 1, '\0');
          if (api_.getEnteredGamepadText(api_.utils, text.data(), static_cast<uint32_t>(text.size()))) {
            answer.Text("text", SafeText(text.data()));
          }
        }
        return Send(waiting->messageId.c_str(), answer, waiting->asyncId);
      }
    }
  }

  void Answered(const Waiting& waiting, int callback, const void* data) {
    const char* messageId = waiting.messageId.c_str();
    if (waiting.operation == Operation::FindLeaderboard && callback == flat::kLeaderboardFindResult) {
      flat::LeaderboardFindResult result;
      memcpy(&result, data, sizeof(result));
      Answer answer(true);
      if (result.found && result.leaderboard) {
        answer.Text("board", DecimalText(result.leaderboard));
      } else {
        answer.Null("board");
      }
      return Send(messageId, answer, waiting.asyncId);
    }
    if (waiting.operation == Operation::UploadScore && callback == flat::kLeaderboardScoreUploaded) {
      flat::LeaderboardScoreUploaded result;
      memcpy(&result, data, sizeof(result));
      if (!result.success) return Send(messageId, Refusal("Steam did not take the score"), waiting.asyncId);
      return Send(messageId,
                  std::move(Answer(true)
                                .Flag("changed", result.scoreChanged != 0)
                                .Number("rank", result.globalRankNew)
                                .Number("previousRank", result.globalRankPrevious)),
                  waiting.asyncId);
    }
    if (waiting.operation == Operation::DownloadScores && callback == flat::kLeaderboardScoresDownloaded) {
      flat::LeaderboardScoresDownloaded result;
      memcpy(&result, data, sizeof(result));
      std::vector<Entry> entries;
      for (int32_t i = 0; i < result.entryCount && i < 5000; ++i) {
        flat::LeaderboardEntry row = {};
        int32_t details[kLeaderboardDetailsMax] = {};
        if (!api_.getDownloadedEntry(api_.userStats, result.entries, i, &row, details, kLeaderboardDetailsMax)) break;
        Entry entry;
        entry.steamId = row.steamIdUser.Value();
        entry.rank = row.globalRank;
        entry.score = row.score;
        entry.details.assign(details, details + std::max(0, std::min(row.details, kLeaderboardDetailsMax)));
        const char* name = api_.getFriendPersonaName(api_.friends, entry.steamId);
        if (!IsUnknownPersona(name)) entry.name = name;
        entries.push_back(std::move(entry));
      }
      return Send(messageId, std::move(Answer(true).Text("entries", EntriesJson(entries))), waiting.asyncId);
    }
    Send(messageId, Refusal("Steam answered with something else than expected"), waiting.asyncId);
  }

  IApplication* application_;
  extensions::MessageWindow window_;
  SteamApi api_;
  Failure failure_ = Failure::InitFailed;
  std::string reason_;
  StoreSchedule schedule_;
  bool pageSeen_ = false;
  std::map<flat::SteamAPICall, Waiting> waiting_;
  std::unique_ptr<Waiting> gamepadInput_;
};

}  // namespace
}  // namespace kiln::steam

KILN_EXTENSION_EXPORT kiln::IExtension* KILN_CDECL WrapperExtInit(kiln::IApplication* application) {
  return kiln::extensions::InitExtension<kiln::steam::SteamExtension>(application, kiln::steam::kComponentId);
}

#include "app/app_config.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <utility>

#include <nlohmann/json.hpp>

#include "common/json_reading.h"

namespace kiln {
namespace {

constexpr const char* kDefaultTitle = "Windows WebView2 wrapper";
constexpr const char* kDefaultInstallMessage =
    "This app requires the Microsoft Edge WebView2 runtime. It will be downloaded and "
    "installed for you now.";
constexpr const char* kDefaultDownloadingMessage = "Downloading...";
constexpr const char* kDefaultInstallFailedMessage =
    "Failed to install the Microsoft Edge WebView2 runtime. Check that you have permission to "
    "install it, and that your Internet connection is working. Run the app again to try again.";

bool HasType(const nlohmann::json& value, ConfigValueType type) {
  switch (type) {
    case ConfigValueType::Object: return value.is_object();
    case ConfigValueType::Text: return value.is_string();
    case ConfigValueType::Number: return value.is_number();
    case ConfigValueType::Flag: return value.is_boolean();
  }
  return false;
}

// Reads the keys of one object (the top level or a section) with the
// lenient rules of json_reading.h, and records each reading.
class KeyReader {
 public:
  KeyReader(const nlohmann::json& object, std::string section,
            std::vector<ConfigReading>& readings)
      : object_(object), section_(std::move(section)), readings_(readings) {}

  // A section that is not an object holds no keys: every key under it takes
  // its default.
  KeyReader Section(const char* key) {
    static const nlohmann::json kNoKeys;
    const ConfigReading& reading = Record(key, ConfigValueType::Object, "");
    return KeyReader(reading.outcome == ConfigOutcome::Used ? *reading.value : kNoKeys, key,
                     readings_);
  }

  std::string Text(const char* key, const std::string& fallback) {
    Record(key, ConfigValueType::Text, nlohmann::json(fallback).dump());
    return ReadText(object_, key, fallback);
  }

  // A text start-up cannot do without.
  std::string RequiredText(const char* key, const char* refusal) {
    ConfigReading& reading = Record(key, ConfigValueType::Text, "");
    std::string text = ReadText(object_, key, "");
    if (text.empty()) Refuse(reading, refusal);
    return text;
  }

  // One of a few words, compared byte for byte; any other text is refused.
  std::string Word(const char* key, std::vector<std::string> words, const char* refusal) {
    const std::string fallback = words.front();
    ConfigReading& reading = Record(key, ConfigValueType::Text, nlohmann::json(fallback).dump());
    std::string word = ReadText(object_, key, fallback);
    if (std::find(words.begin(), words.end(), word) == words.end()) Refuse(reading, refusal);
    reading.words = std::move(words);
    return word;
  }

  // A number whose absence means "none": its reading records no default.
  int32_t OptionalNumber(const char* key) {
    Record(key, ConfigValueType::Number, "");
    return ReadInt32(object_, key, 0);
  }

  int32_t Number(const char* key, int32_t fallback) {
    Record(key, ConfigValueType::Number, std::to_string(fallback));
    return ReadInt32(object_, key, fallback);
  }

  bool Flag(const char* key, bool fallback) {
    Record(key, ConfigValueType::Flag, fallback ? "true" : "false");
    return ReadFlag(object_, key, fallback);
  }

 private:
  ConfigReading& Record(const char* key, ConfigValueType type, std::string fallback) {
    ConfigReading reading;
    reading.section = section_;
    reading.key = key;
    reading.type = type;
    reading.fallback = std::move(fallback);
    if (object_.is_object()) {
      const auto member = object_.find(key);
      if (member != object_.end()) reading.value = &*member;
    }
    if (!reading.value || reading.value->is_null()) {
      reading.outcome = ConfigOutcome::Absent;
    } else {
      reading.outcome = HasType(*reading.value, type) ? ConfigOutcome::Used
                                                      : ConfigOutcome::WrongType;
    }
    readings_.push_back(std::move(reading));
    return readings_.back();
  }

  static void Refuse(ConfigReading& reading, const char* refusal) {
    reading.outcome = ConfigOutcome::Refused;
    reading.refusal = refusal;
  }

  const nlohmann::json& object_;
  std::string section_;
  std::vector<ConfigReading>& readings_;
};

}  // namespace

nlohmann::json ParsePackageJson(const std::string& text) {
  const char* begin = text.data();
  const char* end = begin + strnlen(begin, text.size());
  return nlohmann::json::parse(begin, end, nullptr, true, false);
}

std::vector<ConfigReading> ReadAppConfig(const nlohmann::json& root, AppConfig& config) {
  std::vector<ConfigReading> readings;
  KeyReader top(root, "", readings);
  config.name = top.RequiredText("name", "invalid name");
  config.main = top.Text("main", "index.html");

  KeyReader window = top.Section("window");
  config.title = window.Text("title", kDefaultTitle);
  config.width = window.Number("width", 1024);
  config.height = window.Number("height", 768);
  config.icon = window.Text("icon", "");
  config.resizable = window.Flag("resizable", true);
  config.fullscreen = window.Flag("fullscreen", false);
  config.minWidth = window.OptionalNumber("min-width");
  config.minHeight = window.OptionalNumber("min-height");
  config.fullscreenKeys = window.Flag("fullscreen-keys", true);
  config.rememberPlacement = window.Flag("remember-placement", false);

  config.chromiumArgs = top.Text("chromium-args", "");

  KeyReader settings = top.Section("settings");
  config.distributionMode =
      settings.Word("distribution-mode", {"evergreen", "fixed"}, "invalid distribution mode") ==
              "fixed"
          ? DistributionMode::Fixed
          : DistributionMode::Evergreen;
  config.contentMode =
      settings.Word("content-mode", {"bundle", "remote"}, "invalid content mode") == "remote"
          ? ContentMode::Remote
          : ContentMode::Bundle;
  config.enableDevtools = settings.Flag("enable-devtools", true);
  config.singleInstance = settings.Flag("single-instance", true);

  KeyReader messages = top.Section("messages");
  config.installWebview2Message = messages.Text("install-webview2", kDefaultInstallMessage);
  config.downloadingMessage = messages.Text("downloading", kDefaultDownloadingMessage);
  config.installFailedMessage =
      messages.Text("install-webview2-failed", kDefaultInstallFailedMessage);
  return readings;
}

void ParseAppConfig(const std::string& text, AppConfig& config) {
  const nlohmann::json root = ParsePackageJson(text);
  for (const ConfigReading& reading : ReadAppConfig(root, config)) {
    if (reading.outcome == ConfigOutcome::Refused) throw std::runtime_error(reading.refusal);
  }
}

}  // namespace kiln

// The settings of one run, read once from package.json.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

namespace kiln {

enum class ContentMode : int32_t { Bundle = 0, Remote = 1 };
enum class DistributionMode : int32_t { Evergreen = 0, Fixed = 1 };

// The configuration file, beside kiln.exe.
inline constexpr char kConfigFileName[] = "package.json";

// An HICON in the Windows shell; the core never looks inside it.
using IconHandle = void*;

struct AppConfig {
  std::string name;
  std::string main;
  std::string title;
  int32_t width = 0;
  int32_t height = 0;
  std::string icon;
  IconHandle iconHandle = nullptr;
  bool resizable = true;
  std::string chromiumArgs;
  ContentMode contentMode = ContentMode::Bundle;
  DistributionMode distributionMode = DistributionMode::Evergreen;
  bool enableDevtools = true;
  std::string installWebview2Message;
  std::string downloadingMessage;
  std::string installFailedMessage;
  // The game-window settings. Sizes in 96-DPI units; a minimum of 0 or less
  // means none.
  bool fullscreen = false;
  int32_t minWidth = 0;
  int32_t minHeight = 0;
  bool fullscreenKeys = true;
  bool rememberPlacement = false;
  bool singleInstance = true;
};

// Fills config from the bytes of package.json. Throws on malformed JSON, on a
// missing or empty "name" and on an unknown mode word; the caller reports every
// failure alike, so the exception's type and text carry no meaning.
void ParseAppConfig(const std::string& text, AppConfig& config);

// The document in package.json's bytes: the text ends at its first NUL byte
// and a UTF-8 byte-order mark is skipped. Throws the JSON library's
// parse_error on malformed JSON.
nlohmann::json ParsePackageJson(const std::string& text);

// How one key of package.json was read. Start-up only needs to know whether
// any reading was refused; the app folder checker explains each one.
enum class ConfigValueType { Object, Text, Number, Flag };

enum class ConfigOutcome {
  Absent,     // missing or null: the default is used
  Used,       // of the type read: its value is used
  WrongType,  // of another JSON type: the default is used, as if it were absent
  Refused,    // a value (or its absence) that stops start-up
};

struct ConfigReading {
  std::string section;  // "window", "settings" or "messages"; empty for the top level
  std::string key;
  ConfigValueType type = ConfigValueType::Text;
  ConfigOutcome outcome = ConfigOutcome::Absent;
  const nlohmann::json* value = nullptr;  // the member in the document; null when missing
  std::string fallback;                   // the default as JSON text; empty when there is none
  std::vector<std::string> words;         // the only texts accepted, where there are such
  std::string refusal;                    // what ParseAppConfig throws, for Refused
};

// Fills config from the document, key by key in reading order, and says how
// each key was read: sections too, and every key whether the file holds it
// or not. Unlike ParseAppConfig it goes on past refused values, which leave
// their field at the default. Readings point into root.
std::vector<ConfigReading> ReadAppConfig(const nlohmann::json& root, AppConfig& config);

}  // namespace kiln

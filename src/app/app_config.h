// The settings of one run, read once from package.json.
#pragma once

#include <cstdint>
#include <string>

namespace kiln {

enum class ContentMode : int32_t { Bundle = 0, Remote = 1 };
enum class DistributionMode : int32_t { Evergreen = 0, Fixed = 1 };

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
};

// Fills config from the bytes of package.json. Throws on malformed JSON, on a
// missing or empty "name" and on an unknown mode word; the caller reports every
// failure alike, so the exception's type and text carry no meaning.
void ParseAppConfig(const std::string& text, AppConfig& config);

}  // namespace kiln

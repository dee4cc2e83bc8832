#include "app/app_config.h"

#include <cstring>
#include <stdexcept>

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

// Indexing a const object with a missing key is undefined in the JSON library,
// so a section is looked up without creating it; missing sections read as null.
const nlohmann::json& Section(const nlohmann::json& root, const char* key) {
  static const nlohmann::json kNull;
  auto it = root.find(key);
  return it == root.end() ? kNull : *it;
}

}  // namespace

void ParseAppConfig(const std::string& text, AppConfig& config) {
  // The file ends at its first NUL byte.
  const char* begin = text.data();
  const char* end = begin + strnlen(begin, text.size());
  const nlohmann::json root = nlohmann::json::parse(begin, end, nullptr, true, false);

  config.name = ReadText(root, "name", "");
  if (config.name.empty()) throw std::runtime_error("invalid name");
  config.main = ReadText(root, "main", "index.html");

  const nlohmann::json& window = Section(root, "window");
  config.title = ReadText(window, "title", kDefaultTitle);
  config.width = ReadInt32(window, "width", 1024);
  config.height = ReadInt32(window, "height", 768);
  config.icon = ReadText(window, "icon", "");
  config.resizable = ReadFlag(window, "resizable", true);

  config.chromiumArgs = ReadText(root, "chromium-args", "");

  const nlohmann::json& settings = Section(root, "settings");
  const std::string distribution = ReadText(settings, "distribution-mode", "evergreen");
  if (distribution == "evergreen") {
    config.distributionMode = DistributionMode::Evergreen;
  } else if (distribution == "fixed") {
    config.distributionMode = DistributionMode::Fixed;
  } else {
    throw std::runtime_error("invalid distribution mode");
  }
  const std::string content = ReadText(settings, "content-mode", "bundle");
  if (content == "bundle") {
    config.contentMode = ContentMode::Bundle;
  } else if (content == "remote") {
    config.contentMode = ContentMode::Remote;
  } else {
    throw std::runtime_error("invalid content mode");
  }
  config.enableDevtools = ReadFlag(settings, "enable-devtools", true);

  const nlohmann::json& messages = Section(root, "messages");
  config.installWebview2Message = ReadText(messages, "install-webview2", kDefaultInstallMessage);
  config.downloadingMessage = ReadText(messages, "downloading", kDefaultDownloadingMessage);
  config.installFailedMessage =
      ReadText(messages, "install-webview2-failed", kDefaultInstallFailedMessage);
}

}  // namespace kiln

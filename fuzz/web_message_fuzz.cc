// Page messages of any shape: the dispatcher must never throw or crash, and
// whatever reaches the window, the page or an extension must be well formed.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/app_context.h"
#include "bridge/outgoing_messages.h"
#include "bridge/page_actions.h"
#include "bridge/web_message.h"
#include "common/utf8.h"
#include "extensions/extension.h"
#include "extensions/web_view_host.h"

namespace {

using namespace kiln;

void Require(bool condition) {
  if (!condition) abort();
}

// Everything posted to the page must be a JSON object with a known "type".
// Failures abort: an exception would be swallowed by the dispatcher's guard.
void CheckPosted(const std::string& text) {
  const nlohmann::json message = nlohmann::json::parse(text, nullptr, false);
  Require(message.is_object());
  auto type = message.find("type");
  Require(type != message.end() && type->is_string());
  Require(*type == "wrapper-init-response" || *type == "extension-message");
}

class Window final : public PageActions {
 public:
  void SetFullscreen(bool) override {}
  void SetWindowSize(int, int) override {}
  void SetWindowPosition(int, int) override {}
  void PostJson(const std::string& json) override { CheckPosted(json); }
};

class Host final : public WebViewHost {
 public:
  void PostExtensionMessage(const std::string& componentId, const std::string& messageId,
                            const OutgoingValues& values, double asyncId) override {
    // Page texts are valid UTF-8, so echoing them must always serialise.
    std::string text;
    try {
      text = BuildExtensionMessage(componentId, messageId, values, asyncId);
    } catch (...) {
      abort();
    }
    CheckPosted(text);
  }
  const std::string& UserDataFolder() const override { return folder; }
  std::string folder = "C:\\data\\";
};

// Checks what it receives and sends it straight back, as an echo extension
// would, so the outgoing path is fuzzed with page-made names and texts.
class Sink final : public IExtension {
 public:
  void Destroy() override {}
  void OnWebMessage(const char* messageId, int32_t count, const ExtensionValue* values,
                    double asyncId) override {
    Require(messageId && messageId[0] != '\0');
    Require(count >= 0 && (count == 0) == (values == nullptr));
    std::vector<NamedExtensionValue> answer;
    for (int32_t i = 0; i < count; ++i) {
      const ExtensionValue& value = values[i];
      const int type = static_cast<int>(value.type);
      Require(type >= 0 && type <= 3);
      Require((value.text != nullptr) == (value.type == ExtensionValueType::String));
      if (value.text) Require(IsValidUtf8(value.text));
      if (value.type == ExtensionValueType::Boolean) {
        Require(value.number == 0.0 || value.number == 1.0);
      }
      // Texts double as names: repeated and odd names go through the map.
      answer.push_back({value.text ? value.text : "n", value});
    }
    application->SendWebMessage(messageId, static_cast<uint32_t>(answer.size()),
                                answer.empty() ? nullptr : answer.data(), asyncId);
  }
  void OnMainWindowCreated(WindowHandle) override {}
  void OnExtensionsLoaded() override {}

  IApplication* application = nullptr;
};

struct World {
  World() : app("C:\\game\\") {
    app.webViewHost = &host;
    app.extensions.push_back(std::make_unique<Extension>(&app, "C:\\game\\sink.ext.dll"));
    Extension& record = *app.extensions.back();
    record.instance = &sink;
    sink.application = &record;
    for (const char* id : {"game", "", "a", "\xC3\xA9"}) record.RegisterComponentId(id);
  }
  AppContext app;
  Host host;
  Sink sink;
  Window window;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static World* world = new World();
  HandleWebMessage(std::string_view(reinterpret_cast<const char*>(data), size), world->window,
                   world->app);
  return 0;
}

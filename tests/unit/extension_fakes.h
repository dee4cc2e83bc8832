// Recording stand-ins for the parts around the message bridge and the
// extension services: the window, the web view host and extensions.
#pragma once

#include <cstdint>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/app_context.h"
#include "bridge/outgoing_messages.h"
#include "bridge/page_actions.h"
#include "extensions/extension.h"
#include "extensions/web_view_host.h"
#include "kiln/extension.h"

namespace kiln {
namespace testing {

class RecordingActions final : public PageActions {
 public:
  void SetFullscreen(bool on) override { calls.push_back(on ? "fullscreen on" : "fullscreen off"); }
  void SetWindowSize(int width, int height) override {
    calls.push_back("size " + std::to_string(width) + " " + std::to_string(height));
  }
  void SetWindowPosition(int x, int y) override {
    calls.push_back("position " + std::to_string(x) + " " + std::to_string(y));
  }
  void PostJson(const std::string& json) override { calls.push_back("post " + json); }

  std::vector<std::string> calls;
};

// Posts what KilnWebView would: the built message text.
class RecordingHost final : public WebViewHost {
 public:
  void PostExtensionMessage(const std::string& componentId, const std::string& messageId,
                            const OutgoingValues& values, double asyncId) override {
    posted.push_back(BuildExtensionMessage(componentId, messageId, values, asyncId));
  }
  const std::string& UserDataFolder() const override { return userDataFolder; }

  std::string userDataFolder = "C:\\Users\\me\\AppData\\Local\\game";
  std::vector<std::string> posted;
};

// A copy of one ExtensionValue as received, with its raw bytes.
struct ReceivedValue {
  ExtensionValueType type;
  double number;
  bool hasText;
  std::string text;
  unsigned char bytes[sizeof(ExtensionValue)];
};

struct ReceivedMessage {
  std::string messageId;
  int32_t count;
  bool valuesNull;
  std::vector<ReceivedValue> values;
  double asyncId;
};

class RecordingExtension final : public IExtension {
 public:
  explicit RecordingExtension(std::string name = "ext", std::vector<std::string>* log = nullptr)
      : name(std::move(name)), log(log) {}

  void Destroy() override { Note("Destroy"); }
  void OnWebMessage(const char* messageId, int32_t count, const ExtensionValue* values,
                    double asyncId) override {
    ReceivedMessage message{messageId, count, values == nullptr, {}, asyncId};
    for (int32_t i = 0; i < count; ++i) {
      ReceivedValue value{values[i].type, values[i].number, values[i].text != nullptr, {}, {}};
      if (values[i].text) value.text = values[i].text;
      std::memcpy(value.bytes, &values[i], sizeof(ExtensionValue));
      message.values.push_back(value);
    }
    messages.push_back(message);
    Note("OnWebMessage " + message.messageId);
    if (onMessage) onMessage(messages.back());
  }
  void OnMainWindowCreated(WindowHandle window) override {
    Note("OnMainWindowCreated " + std::to_string(reinterpret_cast<uintptr_t>(window)));
    if (onWindow) onWindow();
  }
  void OnExtensionsLoaded() override { Note("OnExtensionsLoaded"); }

  std::string name;
  std::vector<std::string>* log;
  std::vector<ReceivedMessage> messages;
  std::function<void(const ReceivedMessage&)> onMessage;
  std::function<void()> onWindow;

 private:
  void Note(const std::string& event) {
    if (log) log->push_back(name + " " + event);
  }
};

// An Extension record as loading would leave it, with the given instance.
inline Extension& AddExtension(AppContext& app, IExtension* instance,
                               const std::string& file = "test.ext.dll") {
  app.extensions.push_back(std::make_unique<Extension>(&app, app.exeFolder + file));
  app.extensions.back()->instance = instance;
  return *app.extensions.back();
}

}  // namespace testing
}  // namespace kiln

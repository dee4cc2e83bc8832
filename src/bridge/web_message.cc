#include "bridge/web_message.h"

#include <climits>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "app/app_context.h"
#include "bridge/extension_params.h"
#include "bridge/outgoing_messages.h"
#include "bridge/page_actions.h"
#include "common/json_reading.h"
#include "extensions/extension.h"
#include "extensions/extension_call.h"

namespace kiln {
namespace {

using nlohmann::json;

double ReadAsyncId(const json& root) {
  auto it = root.find("asyncId");
  return it != root.end() && it->is_number() ? it->get<double>() : -1.0;
}

void RouteExtensionMessage(const json& root, AppContext& app) {
  const std::string componentId = ReadText(root, "componentId", std::string());
  const std::string messageId = ReadText(root, "messageId", std::string());
  // The extension sees the id as a C text: one that starts with a NUL would
  // reach it empty, which it is promised never to get.
  if (componentId.empty() || messageId.empty() || messageId[0] == '\0') return;
  const double asyncId = ReadAsyncId(root);
  auto params = root.find("params");
  if (params == root.end() || !params->is_array() || params->size() > INT32_MAX) return;

  auto owner = app.components.find(componentId);
  if (owner == app.components.end() || !owner->second->instance) return;

  // The records' texts point into root, which outlives the call.
  const std::vector<ExtensionValue> values = ConvertParams(*params);
  DeliverWebMessage(*owner->second->instance, messageId.c_str(),
                    static_cast<int32_t>(values.size()), values.empty() ? nullptr : values.data(),
                    asyncId);
}

void Dispatch(const json& root, PageActions& actions, AppContext& app) {
  const std::string type = ReadText(root, "type", std::string());
  if (type == "wrapper-init") {
    actions.PostJson(BuildWrapperInitResponse(app.components));
  } else if (type == "set-fullscreen") {
    actions.SetFullscreen(ReadFlag(root, "fullscreen", false));
  } else if (type == "set-window-size") {
    const int height = ReadInt32(root, "windowHeight", 0);
    const int width = ReadInt32(root, "windowWidth", 0);
    actions.SetWindowSize(width, height);
  } else if (type == "set-window-position") {
    const int y = ReadInt32(root, "windowY", 0);
    const int x = ReadInt32(root, "windowX", 0);
    actions.SetWindowPosition(x, y);
  } else if (type == "extension-message") {
    RouteExtensionMessage(root, app);
  }
}

}  // namespace

void HandleWebMessage(std::string_view text, PageActions& actions, AppContext& app) noexcept {
  try {
    text = text.substr(0, text.find('\0'));
    // Strict: one value, nothing but whitespace after it, no comments.
    const json root = json::parse(text.begin(), text.end(), nullptr, true, false);
    Dispatch(root, actions, app);
  } catch (...) {
    // Malformed text or a failed answer: this message ends here, unanswered.
  }
}

}  // namespace kiln

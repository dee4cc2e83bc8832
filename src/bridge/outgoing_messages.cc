#include "bridge/outgoing_messages.h"

#include <cmath>

#include <nlohmann/json.hpp>

namespace kiln {
namespace {

using nlohmann::json;

// nlohmann keeps object members in a std::map<std::string, ...>, whose order
// is ascending byte order (char_traits<char> compares bytes as unsigned), so
// every dump lists members sorted without further work.
json ToJson(const OutgoingValue& value) {
  switch (value.type) {
    case ExtensionValueType::Boolean:
      return value.number != 0.0;  // NaN != 0.0 too
    case ExtensionValueType::Number:
      return std::isfinite(value.number) ? json(value.number) : json(nullptr);
    case ExtensionValueType::String:
      return value.text;
    default:
      return nullptr;
  }
}

}  // namespace

std::string BuildWrapperInitResponse(const std::map<std::string, Extension*>& components) {
  json ids = json::array();
  for (const auto& entry : components) ids.push_back(entry.first);
  json message = json::object();
  message["registeredComponentIds"] = std::move(ids);
  message["type"] = "wrapper-init-response";
  return message.dump();
}

std::string BuildExtensionMessage(const std::string& componentId, const std::string& messageId,
                                  const OutgoingValues& values, double asyncId) {
  json params = json::object();
  for (const auto& [name, value] : values) params[name] = ToJson(value);
  json message = json::object();
  message["asyncId"] = asyncId;
  message["componentId"] = componentId;
  message["messageId"] = messageId;
  message["params"] = std::move(params);
  message["type"] = "extension-message";
  return message.dump();
}

}  // namespace kiln

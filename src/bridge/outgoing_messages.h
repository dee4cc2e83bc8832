// The JSON texts the host posts to the page: compact, member names in
// ascending byte order at every level, UTF-8 written as is. Building throws
// nlohmann::json::type_error when a text is not valid UTF-8.
#pragma once

#include <map>
#include <string>

#include "kiln/extension.h"

namespace kiln {

class Extension;

// One named value an extension sends to the page, copied out of its
// NamedExtensionValue record.
struct OutgoingValue {
  ExtensionValueType type = ExtensionValueType::Other;  // any number; unknown ones act as Other
  double number = 0;                                     // Boolean and Number
  std::string text;                                      // String
};

// By name, in ascending byte order.
using OutgoingValues = std::map<std::string, OutgoingValue>;

// {"registeredComponentIds":[ids in ascending byte order],"type":"wrapper-init-response"}
std::string BuildWrapperInitResponse(const std::map<std::string, Extension*>& components);

// {"asyncId":n,"componentId":..,"messageId":..,"params":{..},"type":"extension-message"}
// Boolean values become true unless 0.0, numbers that are NaN or infinite
// become null, strings stay strings, every other type becomes null.
std::string BuildExtensionMessage(const std::string& componentId, const std::string& messageId,
                                  const OutgoingValues& values, double asyncId);

}  // namespace kiln

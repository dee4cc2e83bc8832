// The named values an extension sends to the page, copied out of its
// NamedExtensionValue records and ordered by name (ascending byte order).
#pragma once

#include <map>
#include <string>

#include "kiln/extension.h"

namespace kiln {

struct OutgoingValue {
  ExtensionValueType type = ExtensionValueType::Other;  // any number; unknown ones act as Other
  double number = 0;                                     // Boolean and Number
  std::string text;                                      // String
};

using OutgoingValues = std::map<std::string, OutgoingValue>;

}  // namespace kiln

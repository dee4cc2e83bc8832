// The page's "params" array as the ExtensionValue records OnWebMessage gets.
#pragma once

#include <vector>

#include <nlohmann/json.hpp>

#include "kiln/extension.h"

namespace kiln {

// One record per element, in order: strings become String, true and false
// Boolean (1.0 or 0.0), numbers Number, anything else (null, objects,
// arrays) Other. String texts point into params, which must outlive the
// records. Bytes the members do not cover are zero.
std::vector<ExtensionValue> ConvertParams(const nlohmann::json& params);

}  // namespace kiln

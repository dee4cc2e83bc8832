// A window rectangle as the test tools record it: [left, top, right, bottom].
#pragma once

#include <windows.h>

#include <nlohmann/json.hpp>

namespace kiln::testing {

inline nlohmann::json JsonRect(const RECT& rect) {
  return nlohmann::json::array({rect.left, rect.top, rect.right, rect.bottom});
}

}  // namespace kiln::testing

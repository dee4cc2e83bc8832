#include "app/window_placement.h"

#include <algorithm>
#include <cstdlib>

namespace kiln {
namespace {

constexpr char kHeader[] = "kiln-window-placement 1\n";
// Far beyond any desktop, small enough that no sum overflows.
constexpr int64_t kMaxCoordinate = 1 << 24;
constexpr int64_t kMaxLength = 1 << 20;

// One decimal integer, optionally negative, then the separator expected.
bool ReadInteger(const std::string& text, size_t& at, char separator, int64_t& value) {
  bool negative = false;
  if (at < text.size() && text[at] == '-') {
    negative = true;
    ++at;
  }
  const size_t start = at;
  value = 0;
  while (at < text.size() && text[at] >= '0' && text[at] <= '9' && at - start < 9) {
    value = value * 10 + (text[at] - '0');
    ++at;
  }
  if (at == start || at >= text.size() || text[at] != separator) return false;
  ++at;
  if (negative) value = -value;
  return true;
}

}  // namespace

std::string FormatWindowPlacement(const WindowPlacement& placement) {
  const ScreenRect& r = placement.rect;
  return kHeader + std::to_string(r.left) + " " + std::to_string(r.top) + " " +
         std::to_string(r.right) + " " + std::to_string(r.bottom) + " " +
         (placement.maximized ? "1" : "0") + " " + (placement.fullscreen ? "1" : "0") + "\n";
}

std::optional<WindowPlacement> ParseWindowPlacement(const std::string& text) {
  const std::string header = kHeader;
  if (text.compare(0, header.size(), header) != 0) return std::nullopt;
  size_t at = header.size();
  int64_t values[6] = {};
  for (int i = 0; i < 6; ++i) {
    if (!ReadInteger(text, at, i < 5 ? ' ' : '\n', values[i])) return std::nullopt;
  }
  if (at != text.size()) return std::nullopt;
  for (int i = 0; i < 4; ++i) {
    if (std::llabs(values[i]) > kMaxCoordinate) return std::nullopt;
  }
  const int64_t width = values[2] - values[0], height = values[3] - values[1];
  if (width <= 0 || height <= 0 || width > kMaxLength || height > kMaxLength) return std::nullopt;
  if ((values[4] != 0 && values[4] != 1) || (values[5] != 0 && values[5] != 1)) {
    return std::nullopt;
  }
  WindowPlacement placement;
  placement.rect = {static_cast<int32_t>(values[0]), static_cast<int32_t>(values[1]),
                    static_cast<int32_t>(values[2]), static_cast<int32_t>(values[3])};
  placement.maximized = values[4] == 1;
  placement.fullscreen = values[5] == 1;
  return placement;
}

bool IsReachable(const ScreenRect& rect, const std::vector<ScreenRect>& monitors,
                 int32_t titleBarHeight, int32_t grabWidth) {
  const int32_t needed = std::min(grabWidth, rect.Width());
  for (const ScreenRect& monitor : monitors) {
    const int64_t left = std::max(rect.left, monitor.left);
    const int64_t right = std::min(rect.right, monitor.right);
    const int64_t top = std::max(rect.top, monitor.top);
    const int64_t bottom = std::min<int64_t>(int64_t{rect.top} + titleBarHeight, monitor.bottom);
    if (right - left >= needed && bottom - top >= titleBarHeight) return true;
  }
  return false;
}

ScreenRect CentredIn(const ScreenRect& area, int32_t width, int32_t height) {
  const int32_t left = area.left + std::max(0, (area.Width() - width) / 2);
  const int32_t top = area.top + std::max(0, (area.Height() - height) / 2);
  return {left, top, left + width, top + height};
}

}  // namespace kiln

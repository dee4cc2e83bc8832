// Where the main window was left, kept between runs in a small file of
// Kiln's own in the user data folder, and whether it can be put back there.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kiln {

// A rectangle in screen pixels, right and bottom exclusive.
struct ScreenRect {
  int32_t left = 0;
  int32_t top = 0;
  int32_t right = 0;
  int32_t bottom = 0;

  int32_t Width() const { return right - left; }
  int32_t Height() const { return bottom - top; }
  bool operator==(const ScreenRect& other) const {
    return left == other.left && top == other.top && right == other.right &&
           bottom == other.bottom;
  }
};

struct WindowPlacement {
  // The outer rectangle of the window when neither maximized nor fullscreen.
  ScreenRect rect;
  bool maximized = false;
  bool fullscreen = false;
};

// The placement file's name inside the user data folder.
inline constexpr char kPlacementFileName[] = "kiln-window-placement.txt";

// Two lines: a header naming the format and its version, then the rectangle
// and the two states as numbers.
std::string FormatWindowPlacement(const WindowPlacement& placement);

// The placement the text holds; none when the text is anything but a whole
// file of the format (cut short, edited, of another version), or when its
// rectangle is empty or absurdly large.
std::optional<WindowPlacement> ParseWindowPlacement(const std::string& text);

// Whether a window at rect can still be grabbed and moved: a piece of its
// title bar, the bar's full height tall and at least grabWidth wide (or the
// whole width of a narrower window), lies on one of the monitors.
bool IsReachable(const ScreenRect& rect, const std::vector<ScreenRect>& monitors,
                 int32_t titleBarHeight, int32_t grabWidth);

// A rectangle of the given size centred on area (its top-left corner kept
// inside area when the size is larger).
ScreenRect CentredIn(const ScreenRect& area, int32_t width, int32_t height);

}  // namespace kiln

// What a page message can make the host do: the window operations and
// posting a JSON text back to the page. KilnWebView implements it.
#pragma once

#include <string>

namespace kiln {

class PageActions {
 public:
  virtual void SetFullscreen(bool on) = 0;
  // Lengths and coordinates in 96-DPI units.
  virtual void SetWindowSize(int width, int height) = 0;
  virtual void SetWindowPosition(int x, int y) = 0;
  // Posts compact JSON text (UTF-8) to the page as a JSON message.
  virtual void PostJson(const std::string& json) = 0;

 protected:
  ~PageActions() = default;
};

}  // namespace kiln

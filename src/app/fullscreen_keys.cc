#include "app/fullscreen_keys.h"

namespace kiln {
namespace {

constexpr uint32_t kReturnKey = 0x0D;  // VK_RETURN
constexpr uint32_t kF11Key = 0x7A;     // VK_F11

}  // namespace

FullscreenKeyAction FullscreenKeyActionFor(KeyEventKind kind, uint32_t virtualKey, bool altDown,
                                           bool repeat) {
  const bool down = kind == KeyEventKind::KeyDown || kind == KeyEventKind::SystemKeyDown;
  bool ours = false;
  if (virtualKey == kF11Key) {
    // Alt+F11 and F11 while Alt is held are other shortcuts.
    ours = kind == KeyEventKind::KeyDown || kind == KeyEventKind::KeyUp;
  } else if (virtualKey == kReturnKey) {
    ours = altDown && (kind == KeyEventKind::SystemKeyDown || kind == KeyEventKind::SystemKeyUp);
  }
  if (!ours) return FullscreenKeyAction::None;
  return down && !repeat ? FullscreenKeyAction::Toggle : FullscreenKeyAction::Swallow;
}

}  // namespace kiln

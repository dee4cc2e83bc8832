// F11 and Alt+Enter, the keys players press to switch a game's fullscreen.
#pragma once

#include <cstdint>

namespace kiln {

// How a key event arrived: a plain key, or a "system" key (one pressed with
// Alt held, which Windows reports apart).
enum class KeyEventKind { KeyDown, KeyUp, SystemKeyDown, SystemKeyUp };

enum class FullscreenKeyAction {
  None,     // not one of the keys: the page gets it
  Toggle,   // the first press: fullscreen switches
  Swallow,  // a repeat or a release of the keys: nobody else sees it
};

// altDown: Alt was held; repeat: the key was already down (auto-repeat).
// A held key switches once, not at the keyboard's repeat rate.
FullscreenKeyAction FullscreenKeyActionFor(KeyEventKind kind, uint32_t virtualKey, bool altDown,
                                           bool repeat);

}  // namespace kiln

// What the main window does for a game beyond the plain host window: a
// minimum size, the fullscreen keys, answering a second copy of the app and
// keeping its place between runs.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/app_config.h"
#include "app/fullscreen_keys.h"

namespace kiln {

class KilnWebView;

// A client size in 96-DPI units raised to the configured minimum.
void RaiseToMinimumSize(const AppConfig& config, int& width, int& height);

// Messages the game window answers before the window procedure's own:
// true when answered, with the result in *result. Some (the window's end)
// are only looked at and go on to the window procedure.
bool HandleGameWindowMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                             LRESULT* result);

// Switches fullscreen on F11 or Alt+Enter when the keys are on; true when
// the key event is one of them and nobody else should see it.
bool HandleFullscreenKey(KilnWebView& host, KeyEventKind kind, uint32_t virtualKey, bool altDown,
                         bool repeat);

}  // namespace kiln

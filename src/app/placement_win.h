// The main window's place kept between runs ("remember-placement").
#pragma once

#include <windows.h>

#include <vector>

#include "app/window_placement.h"

namespace kiln {

class KilnWebView;

// Before the window is first shown: puts it where it was left (when the
// app remembers its place and a whole placement file is there), else keeps
// where it is; then enters fullscreen when the placement or, without one,
// the configuration asks for it.
void PlaceMainWindowAtStart(KilnWebView& host);

// At the window's end: writes where it is, when the app remembers its place
// and the window was ever shown. Failures only mean nothing is remembered.
void SaveMainWindowPlacement(const KilnWebView& host);

// The work areas of the monitors now connected.
std::vector<ScreenRect> MonitorWorkAreas();

}  // namespace kiln

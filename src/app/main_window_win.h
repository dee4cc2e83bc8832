// The main window: its class, creation, icon and window procedure.
#pragma once

#include <windows.h>

#include <string>

#include "app/app_config.h"

namespace kiln {

// An icon made from any image GDI+ decodes, or null. GDI+ must be running.
HICON LoadIconFromImageFile(const std::string& path);

bool RegisterMainWindowClass(HINSTANCE instance, const AppConfig& config);

// Creates the main window hidden, with a client area of the configured size.
HWND CreateMainWindow(HINSTANCE instance, const AppConfig& config, const std::wstring& title);

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace kiln

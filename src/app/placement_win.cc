#include "app/placement_win.h"

#include <optional>
#include <string>

#include "common/dpi.h"
#include "common/files_win.h"
#include "common/paths.h"
#include "common/text_win.h"
#include "webview/kiln_web_view.h"

namespace kiln {
namespace {

// Far more than the file ever holds; anything larger is not ours.
constexpr uint64_t kMaxFileBytes = 4096;

ScreenRect FromRect(const RECT& rect) { return {rect.left, rect.top, rect.right, rect.bottom}; }

std::string PlacementPath(const KilnWebView& host) {
  return host.userDataFolder + "\\" + kPlacementFileName;
}

BOOL CALLBACK AddWorkArea(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  if (GetMonitorInfoW(monitor, &info)) {
    reinterpret_cast<std::vector<ScreenRect>*>(list)->push_back(FromRect(info.rcWork));
  }
  return TRUE;
}

std::optional<WindowPlacement> LoadPlacement(const std::string& path) {
  const uint64_t size = FileSize(path);
  if (size == 0 || size > kMaxFileBytes) return std::nullopt;
  return ParseWindowPlacement(ReadFileToString(path));
}

// Writes the whole text beside the file, then puts it in the file's place:
// a run that ends halfway leaves the previous file, never half of one.
bool WriteAtomically(const std::string& path, const std::string& text) {
  const std::wstring target = ToExtendedPath(Utf8ToWide(path));
  const std::wstring temporary = target + L".tmp";
  HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
                  written == text.size() && FlushFileBuffers(file);
  CloseHandle(file);
  if (ok && MoveFileExW(temporary.c_str(), target.c_str(),
                        MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(temporary.c_str());
  return false;
}

// GetWindowPlacement's rectangles are relative to the work area of the
// window's monitor, not to the screen.
RECT WorkspaceToScreen(const RECT& rect) {
  MONITORINFO info = {};
  info.cbSize = sizeof(info);
  GetMonitorInfoW(MonitorFromRect(&rect, MONITOR_DEFAULTTONEAREST), &info);
  RECT screen = rect;
  OffsetRect(&screen, info.rcWork.left - info.rcMonitor.left, info.rcWork.top - info.rcMonitor.top);
  return screen;
}

}  // namespace

std::vector<ScreenRect> MonitorWorkAreas() {
  std::vector<ScreenRect> areas;
  EnumDisplayMonitors(nullptr, nullptr, AddWorkArea, reinterpret_cast<LPARAM>(&areas));
  return areas;
}

void PlaceMainWindowAtStart(KilnWebView& host) {
  bool fullscreen = host.config->fullscreen;
  const std::optional<WindowPlacement> placement =
      host.config->rememberPlacement ? LoadPlacement(PlacementPath(host)) : std::nullopt;
  if (placement) {
    ScreenRect rect = placement->rect;
    // A grip on the title bar: its height, and about an inch of its width.
    if (!IsReachable(rect, MonitorWorkAreas(), GetSystemMetrics(SM_CYCAPTION), DpiScale(96))) {
      // Its monitor is gone: the configured size, centred where the user
      // surely looks.
      RECT created = {};
      GetWindowRect(host.window, &created);
      MONITORINFO primary = {};
      primary.cbSize = sizeof(primary);
      GetMonitorInfoW(MonitorFromPoint({0, 0}, MONITOR_DEFAULTTOPRIMARY), &primary);
      rect = CentredIn(FromRect(primary.rcWork), created.right - created.left,
                       created.bottom - created.top);
    }
    SetWindowPos(host.window, nullptr, rect.left, rect.top, rect.Width(), rect.Height(),
                 SWP_NOACTIVATE | SWP_NOZORDER);
    // The remembered state wins over the configured one: the player chose it.
    fullscreen = placement->fullscreen;
    host.showMaximized = placement->maximized && !fullscreen;
  }
  if (fullscreen) host.SetFullscreen(true);
}

void SaveMainWindowPlacement(const KilnWebView& host) {
  if (!host.config || !host.config->rememberPlacement || !host.wasShown) return;
  WINDOWPLACEMENT current = {};
  current.length = sizeof(current);
  if (!GetWindowPlacement(host.window, &current)) return;
  const bool minimized = IsIconic(host.window) != FALSE;
  WindowPlacement placement;
  placement.fullscreen = host.isFullscreen;
  placement.maximized = host.isFullscreen ? (host.savedStyle & WS_MAXIMIZE) != 0
                        : minimized       ? (current.flags & WPF_RESTORETOMAXIMIZED) != 0
                                          : IsZoomed(host.window) != FALSE;
  RECT rect = {};
  if (placement.maximized || minimized) {
    rect = WorkspaceToScreen(current.rcNormalPosition);
  } else if (host.isFullscreen) {
    rect = host.savedRect;
  } else {
    GetWindowRect(host.window, &rect);
  }
  placement.rect = FromRect(rect);
  // The web view makes the folder; a window closed before it did has
  // nothing worth keeping anyway.
  CreateDirectoryW(ToExtendedPath(Utf8ToWide(host.userDataFolder)).c_str(), nullptr);
  WriteAtomically(PlacementPath(host), FormatWindowPlacement(placement));
}

}  // namespace kiln

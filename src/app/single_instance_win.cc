#include "app/single_instance_win.h"

#include "common/text_win.h"

namespace kiln {
namespace {

constexpr wchar_t kMainWindowClass[] = L"WindowsWebview2Wrapper";
// What the first copy answers, so that no other window's reply to an
// unknown message passes for it.
constexpr LRESULT kBroughtToFront = 0x4B494C4E;
// How long a second copy waits for the first's window to exist (the first
// may be installing the runtime), then for its answer.
constexpr ULONGLONG kWindowWaitMs = 3000;
constexpr UINT kAnswerWaitMs = 1000;

// A handle to the named object, kept open for the whole run: while any copy
// holds it, it holds the main window to bring to the front.
HANDLE g_mapping = nullptr;
volatile LONG* g_announced = nullptr;

bool IsMainWindow(HWND window) {
  wchar_t className[64] = L"";
  return window && IsWindow(window) && GetClassNameW(window, className, 64) &&
         lstrcmpW(className, kMainWindowClass) == 0;
}

HWND AnnouncedWindow() {
  // Window handles keep to 32 bits, in 64-bit processes too.
  return reinterpret_cast<HWND>(static_cast<LONG_PTR>(InterlockedCompareExchange(g_announced, 0, 0)));
}

}  // namespace

UINT BringToFrontMessage() {
  static const UINT message = RegisterWindowMessageW(L"Kiln.BringToFront");
  return message;
}

LRESULT BringToFront(HWND window) {
  // A window not yet shown (its page still loading) stays hidden; it comes
  // up by itself soon.
  if (IsWindowVisible(window)) {
    if (IsIconic(window)) ShowWindow(window, SW_RESTORE);
    SetForegroundWindow(window);
  }
  return kBroughtToFront;
}

bool HandOverToRunningInstance(const std::string& instanceName) {
  g_mapping = CreateFileMappingW(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0, sizeof(LONG),
                                 Utf8ToWide(instanceName).c_str());
  if (!g_mapping) return false;  // cannot tell: run
  const bool first = GetLastError() != ERROR_ALREADY_EXISTS;
  g_announced = static_cast<volatile LONG*>(
      MapViewOfFile(g_mapping, FILE_MAP_READ | FILE_MAP_WRITE, 0, 0, sizeof(LONG)));
  if (!g_announced) {
    CloseHandle(g_mapping);
    g_mapping = nullptr;
    return false;
  }
  if (first) return false;

  const ULONGLONG deadline = GetTickCount64() + kWindowWaitMs;
  for (;;) {
    const HWND other = AnnouncedWindow();
    if (IsMainWindow(other)) {
      // This copy was just started by the user and may take the
      // foreground; it lends that right to the first.
      DWORD process = 0;
      GetWindowThreadProcessId(other, &process);
      AllowSetForegroundWindow(process);
      DWORD_PTR answer = 0;
      return SendMessageTimeoutW(other, BringToFrontMessage(), 0, 0,
                                 SMTO_ABORTIFHUNG | SMTO_BLOCK, kAnswerWaitMs, &answer) &&
             static_cast<LRESULT>(answer) == kBroughtToFront;
    }
    if (GetTickCount64() >= deadline) return false;
    Sleep(20);
  }
}

void AnnounceMainWindow(HWND window) {
  if (!g_announced) return;
  const LONG value = static_cast<LONG>(reinterpret_cast<LONG_PTR>(window));
  for (;;) {
    const LONG current = InterlockedCompareExchange(g_announced, 0, 0);
    if (current != 0 && IsMainWindow(reinterpret_cast<HWND>(static_cast<LONG_PTR>(current)))) {
      return;  // an earlier copy that still runs stays the one to find
    }
    if (InterlockedCompareExchange(g_announced, value, current) == current) return;
  }
}

}  // namespace kiln

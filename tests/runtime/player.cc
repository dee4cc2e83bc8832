#include "player.h"

#include "kiln_callbacks.h"

#include <deque>
#include <utility>

namespace standin {
namespace {

constexpr UINT kRunNext = WM_APP + 1;
// While an action waits inside a modal loop (a message box Kiln shows), the
// next one is retried at this pace instead of nesting.
constexpr UINT kBusyRetryMs = 20;

struct Entry {
  UINT delayMs;
  std::function<void()> action;
};

std::deque<Entry> g_queue;
HWND g_window = nullptr;
bool g_armed = false;
bool g_running = false;
HANDLE g_delay = nullptr;

void CALLBACK DelayEnded(void*, BOOLEAN) { PostMessageW(g_window, kRunNext, 0, 0); }

void ArmAfter(UINT delayMs) {
  g_armed = true;
  if (g_delay) {
    DeleteTimerQueueTimer(nullptr, g_delay, nullptr);
    g_delay = nullptr;
  }
  // Not WM_TIMER: Windows sends it only while no posted message waits, and a
  // browser that streams frames of an animated page posts without pause. A
  // posted message takes its turn among the others instead.
  if (delayMs == 0 ||
      !CreateTimerQueueTimer(&g_delay, nullptr, DelayEnded, nullptr, delayMs, 0, WT_EXECUTEONLYONCE)) {
    PostMessageW(g_window, kRunNext, 0, 0);
  }
}

void Arm() {
  if (g_armed || g_queue.empty() || !g_window) return;
  ArmAfter(g_queue.front().delayMs);
}

void RunNext() {
  g_armed = false;
  if (g_queue.empty()) return;
  if (g_running) {
    ArmAfter(kBusyRetryMs);
    return;
  }
  Entry entry = std::move(g_queue.front());
  g_queue.pop_front();
  g_running = true;
  entry.action();
  g_running = false;
  Arm();
}

LRESULT CALLBACK PlayerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunNext) {
    RunNext();
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

void StartPlayer() {
  if (g_window) return;
  WatchForNestedLoops();
  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.lpfnWndProc = PlayerProc;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"KilnStandInRuntimePlayer";
  RegisterClassExW(&windowClass);
  g_window = CreateWindowExW(0, windowClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                             nullptr, windowClass.hInstance, nullptr);
}

void Post(std::function<void()> action, UINT delayMs) {
  g_queue.push_back(Entry{delayMs, std::move(action)});
  Arm();
}

}  // namespace standin

#include "scenario.h"

#include <cstdio>
#include <map>

#include "browser.h"
#include "bulk_requests.h"
#include "file_steps.h"
#include "player.h"
#include "transcript.h"
#include "web_view.h"

namespace standin {
namespace {

Scenario g_scenario;
bool g_fromFile = false;
HWND g_parent = nullptr;
std::map<std::string, int> g_seen;
std::string g_awaited;
int g_awaitedCount = 0;
size_t g_resumeAt = 0;

std::string ReadWholeFile(const std::wstring& path) {
  std::string bytes;
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return bytes;
  char buffer[4096];
  size_t read = 0;
  while ((read = std::fread(buffer, 1, sizeof(buffer), file)) > 0) bytes.append(buffer, read);
  std::fclose(file);
  return bytes;
}

// A text member: absent gives fallback, null gives "no text" (a failing getter).
OptionalText Text(const json& step, const char* key, const OptionalText& fallback) {
  const auto member = step.find(key);
  if (member == step.end()) return fallback;
  if (member->is_null()) return std::nullopt;
  return Wide(member->get<std::string>());
}

HeaderList Headers(const json& step) {
  HeaderList headers;
  const auto member = step.find("headers");
  if (member == step.end()) return headers;
  if (member->is_object()) {
    for (const auto& [name, value] : member->items()) {
      headers.emplace_back(Wide(name), Wide(value.get<std::string>()));
    }
  } else {
    for (const json& pair : *member) {
      headers.emplace_back(Wide(pair.at(0).get<std::string>()), Wide(pair.at(1).get<std::string>()));
    }
  }
  return headers;
}

std::wstring CurrentSource(WebView* webView) {
  LPWSTR source = nullptr;
  webView->get_Source(&source);
  std::wstring text = source ? source : L"";
  CoTaskMemFree(source);
  return text;
}

void Snapshot(const std::string& label) {
  json line = {{"event", "snapshot"}, {"label", label}};
  if (!IsWindow(g_parent)) {
    line["exists"] = false;
    Record(line);
    return;
  }
  wchar_t caption[1024] = L"";
  GetWindowTextW(g_parent, caption, 1024);
  RECT window = {}, client = {};
  GetWindowRect(g_parent, &window);
  GetClientRect(g_parent, &client);
  line["exists"] = true;
  line["visible"] = IsWindowVisible(g_parent) != FALSE;
  line["caption"] = Utf8(caption);
  line["style"] = static_cast<unsigned long>(GetWindowLongW(g_parent, GWL_STYLE));
  line["exStyle"] = static_cast<unsigned long>(GetWindowLongW(g_parent, GWL_EXSTYLE));
  line["window"] = JsonRect(window);
  line["client"] = JsonRect(client);
  POINT clientOrigin = {0, 0};
  ClientToScreen(g_parent, &clientOrigin);
  line["clientOrigin"] = json::array({clientOrigin.x, clientOrigin.y});
  // Only the owning process can read a class icon under Wine.
  line["classIcon"] = GetClassLongPtrW(g_parent, GCLP_HICON) != 0;
  line["classIconSmall"] = GetClassLongPtrW(g_parent, GCLP_HICONSM) != 0;
  line["foreground"] = GetForegroundWindow() == g_parent;
  MONITORINFO monitor = {};
  monitor.cbSize = sizeof(monitor);
  GetMonitorInfoW(MonitorFromWindow(g_parent, MONITOR_DEFAULTTONEAREST), &monitor);
  line["monitor"] = JsonRect(monitor.rcMonitor);
  Record(line);
}

void Resize(int width, int height) {
  RECT rect = {0, 0, width, height};
  AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongW(g_parent, GWL_STYLE)), FALSE,
                     static_cast<DWORD>(GetWindowLongW(g_parent, GWL_EXSTYLE)));
  SetWindowPos(g_parent, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Click(int x, int y) {
  POINT point = {x, y};
  HWND target = ChildWindowFromPointEx(g_parent, point, CWP_SKIPINVISIBLE);
  if (!target) target = g_parent;
  MapWindowPoints(g_parent, target, &point, 1);
  const LPARAM where = MAKELPARAM(point.x, point.y);
  SendMessageW(target, WM_MOUSEMOVE, 0, where);
  SendMessageW(target, WM_LBUTTONDOWN, MK_LBUTTON, where);
  SendMessageW(target, WM_LBUTTONUP, 0, where);
  wchar_t className[64] = L"";
  GetClassNameW(target, className, 64);
  Record({{"event", "clicked"}, {"x", x}, {"y", y}, {"window", Utf8(className)}});
}

void SwitchAwayAndBack() {
  HWND other = CreateWindowExW(WS_EX_TOOLWINDOW, L"STATIC", L"", WS_POPUP | WS_VISIBLE, 0, 0, 16,
                               16, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  SetForegroundWindow(other);
  SetActiveWindow(other);
  const bool away = GetActiveWindow() == other;
  SetForegroundWindow(g_parent);
  SetActiveWindow(g_parent);
  DestroyWindow(other);
  Record({{"event", "activated"}, {"away", away}, {"back", GetActiveWindow() == g_parent}});
}

// What the page posts: a string (asString set) or a JSON value.
struct PageMessage {
  std::wstring asJson;
  OptionalText asString;
};

PageMessage MessageOf(const json& step) {
  if (step.contains("string")) {
    const std::string text = step["string"].get<std::string>();
    return {Wide(json(text).dump()), Wide(text)};
  }
  if (step.contains("jsonText")) return {Wide(step["jsonText"].get<std::string>()), std::nullopt};
  return {Wide(step.value("json", json()).dump()), std::nullopt};
}

// The page posts the same message count times back to back, then waits (in
// a message loop of its own, for at most timeoutMs) until the host has
// posted count answers back: the host answers from its message loop. What
// the host posts meanwhile is counted and checked against expect, not
// written down, so the time measured, from the first message to the last
// answer, is the host's and its extensions' rather than the transcript's.
void Burst(WebView* webView, const json& step) {
  const PageMessage message = MessageOf(step);
  const OptionalText source = Text(step, "source", CurrentSource(webView));
  const int count = step.value("count", 0);
  const ULONGLONG deadline = GetTickCount64() + step.value("timeoutMs", 30000u);
  LARGE_INTEGER frequency, start;
  QueryPerformanceFrequency(&frequency);
  webView->CountPosts(true, step.value("expect", ""));
  QueryPerformanceCounter(&start);
  for (int i = 0; i < count; ++i) webView->ReceiveMessage(source, message.asJson, message.asString);
  while (webView->postsCounted() < static_cast<size_t>(count) && GetTickCount64() < deadline) {
    MSG msg;
    if (!PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
      continue;
    }
    if (msg.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  const size_t answers = webView->postsCounted();
  const LARGE_INTEGER end = webView->lastPostedAt();
  Record({{"event", "burst"},
          {"count", count},
          {"answers", answers},
          {"unexpected", webView->postsUnexpected()},
          {"last", webView->lastPosted()},
          {"ms", answers == 0 ? 0.0
                              : static_cast<double>(end.QuadPart - start.QuadPart) * 1000.0 /
                                    static_cast<double>(frequency.QuadPart)}});
  webView->CountPosts(false);
}

// Runs one step; returns the delay before the next.
UINT RunStep(const json& step) {
  const std::string action = step.value("do", "");
  Record({{"event", "step"}, {"do", action}});
  if (action == "wait") return step.value("ms", 0u);
  if (action == "snapshot") {
    Snapshot(step.value("label", ""));
    return 0;
  }
  if (action == "resize") {
    Resize(step.value("width", 0), step.value("height", 0));
    return 0;
  }
  if (action == "move") {
    SetWindowPos(g_parent, nullptr, step.value("x", 0), step.value("y", 0), 0, 0,
                 SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    return 0;
  }
  if (action == "minimize" || action == "restore") {
    ShowWindow(g_parent, action == "minimize" ? SW_MINIMIZE : SW_RESTORE);
    return 0;
  }
  if (action == "activate") {
    SwitchAwayAndBack();
    return 0;
  }
  if (action == "click") {
    Click(step.value("x", 0), step.value("y", 0));
    return 0;
  }
  if (action == "end") {
    PostMessageW(g_parent, WM_CLOSE, 0, 0);
    return 0;
  }
  if (action == "open-file") {
    OpenFileStep(step);
    return 0;
  }
  if (action == "close-files") {
    CloseFiles();
    return 0;
  }

  WebView* webView = WebView::Current();
  if (!webView) {
    Record({{"event", "error"}, {"text", "no web view for step " + action}});
    return 0;
  }
  if (action == "navigate") {
    webView->StartNavigation(Text(step, "uri", std::wstring()), step.value("userInitiated", false));
  } else if (action == "request") {
    webView->ServeRequest(Wide(step.value("uri", "")), Wide(step.value("method", "GET")),
                          Headers(step), step.value("context", 0));
  } else if (action == "requests") {
    RunBulkRequests(webView, step);
  } else if (action == "ranges") {
    RunBulkRanges(webView, step);
  } else if (action == "dom-content-loaded") {
    webView->RaiseDOMContentLoaded();
  } else if (action == "title") {
    webView->ChangeTitle(Text(step, "title", std::wstring()));
  } else if (action == "message") {
    const PageMessage message = MessageOf(step);
    webView->ReceiveMessage(Text(step, "source", CurrentSource(webView)), message.asJson,
                            message.asString);
  } else if (action == "burst") {
    Burst(webView, step);
  } else if (action == "accelerator-key") {
    if (Controller* controller = Controller::Current()) {
      controller->PressAcceleratorKey(step.value("key", 0u), step.value("alt", false),
                                      step.value("repeat", false), step.value("up", false));
    } else {
      Record({{"event", "error"}, {"text", "no controller for step " + action}});
    }
  } else if (action == "fullscreen") {
    webView->ChangeFullscreenElement(step.value("on", true));
  } else if (action == "close-request") {
    webView->RequestClose();
  } else if (action == "new-window") {
    webView->RequestNewWindow(Text(step, "uri", std::wstring()), step.value("userInitiated", true));
  } else if (action == "evaluate") {
    webView->page().Evaluate(step.value("expression", ""), step.value("label", ""));
  } else if (action == "permission") {
    webView->RequestPermission(Text(step, "uri", CurrentSource(webView)), step.value("kind", 0),
                               step.value("userInitiated", true));
  } else {
    Record({{"event", "error"}, {"text", "unknown step " + action}});
  }
  return 0;
}

void RunStepReportingErrors(const json& step, UINT* delay) {
  try {
    *delay = RunStep(step);
  } catch (const std::exception& error) {
    Record({{"event", "error"}, {"text", std::string("bad step: ") + error.what()}});
  }
}

void PlayFrom(size_t index) {
  if (index >= g_scenario.steps.size()) return;
  const json& step = g_scenario.steps[index];
  if (step.is_object() && step.value("do", "") == "await") {
    const std::string event = step.value("event", "");
    const int count = step.value("count", 1);
    Record({{"event", "step"}, {"do", "await"}, {"for", event}});
    if (g_seen[event] < count) {
      g_awaited = event;
      g_awaitedCount = count;
      g_resumeAt = index + 1;
      return;
    }
    Post([index] { PlayFrom(index + 1); });
    return;
  }
  if (step.is_object() && step.value("do", "") == "await-file") {
    if (GetFileAttributesW(Wide(step.value("path", "")).c_str()) == INVALID_FILE_ATTRIBUTES) {
      Post([index] { PlayFrom(index); }, 10);
      return;
    }
    Record({{"event", "step"}, {"do", "await-file"}});
    Post([index] { PlayFrom(index + 1); });
    return;
  }
  UINT delay = 0;
  RunStepReportingErrors(step, &delay);
  Post([index] { PlayFrom(index + 1); }, delay);
}

}  // namespace

void LoadScenario() {
  static bool loaded = false;
  if (loaded) return;
  loaded = true;
  const std::wstring path = PathFromEnvironment(L"KILN_TEST_SCENARIO");
  if (path.empty()) return;
  g_fromFile = true;
  try {
    const json file = json::parse(ReadWholeFile(path));
    g_scenario.environment = file.value("environment", "ok");
    g_scenario.controller = file.value("controller", "ok");
    g_scenario.webView2 = file.value("webView2", true);
    g_scenario.steps = file.value("steps", json::array());
    g_scenario.atExit = file.value("atExit", json::array());
  } catch (const std::exception& error) {
    Record({{"event", "error"}, {"text", std::string("bad scenario: ") + error.what()}});
  }
}

const Scenario& TheScenario() { return g_scenario; }

void SetParentWindow(HWND window) { g_parent = window; }

void StartSteps(bool pageLoadsByItself) {
  if (!g_fromFile && !pageLoadsByItself) {
    g_scenario.steps = json::array({{{"do", "dom-content-loaded"}}});
  }
  PlayFrom(0);
}

void PlayExitSteps() {
  for (const json& step : g_scenario.atExit) {
    UINT delay = 0;
    RunStepReportingErrors(step, &delay);
  }
  CloseFiles();
}

void NoteEvent(const std::string& event) {
  const int seen = ++g_seen[event];
  if (!g_awaited.empty() && event == g_awaited && seen >= g_awaitedCount) {
    g_awaited.clear();
    const size_t next = g_resumeAt;
    Post([next] { PlayFrom(next); });
  }
}

}  // namespace standin

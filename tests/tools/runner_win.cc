// Runs one program under test and records, as JSON lines, what a user would
// see of it: every message box (caption, text, icon kind; each is answered
// with OK), the main window once it exists, and the exit code.
//
//   runner.exe --out FILE [--timeout MS] [--answer-after MS] [--close-window]
//              [--window-class NAME] [--watch-class NAME]... [--close-class NAME]...
//              -- PROGRAM [ARGS...]
//
// --answer-after leaves each message box up that long before answering it
// (default 0: at once), as a user takes a moment to read it.
// --window-class names the main window's class (default WindowsWebview2Wrapper)
// and --close-window closes it once it exists; --watch-class records windows of
// another class too, and --close-class also closes them once seen.
//
// It lives in the same Wine prefix as the program, so it can read and press
// the program's dialogs: MessageBoxW blocks, and a test cannot answer it
// otherwise.
#include <windows.h>

#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "../common/command_line_win.h"
#include "../common/json_rect_win.h"
#include "common/text_win.h"

namespace {

using kiln::testing::JsonRect;
using kiln::testing::QuoteArgument;

using nlohmann::json;
using kiln::WideToUtf8;

struct Options {
  std::wstring out;
  DWORD timeoutMs = 20000;
  DWORD answerAfterMs = 0;
  bool closeWindow = false;
  std::wstring windowClass = L"WindowsWebview2Wrapper";
  std::vector<std::wstring> watchClasses;
  std::set<std::wstring> closeClasses;
  std::wstring commandLine;
};

FILE* g_out = nullptr;
DWORD g_startTick = 0;

void Record(json event) {
  event["ms"] = GetTickCount() - g_startTick;
  fprintf(g_out, "%s\n", event.dump().c_str());
  fflush(g_out);
}

bool ParseOptions(int argc, wchar_t** argv, Options& options) {
  int i = 1;
  for (; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg == L"--out" && i + 1 < argc) {
      options.out = argv[++i];
    } else if (arg == L"--timeout" && i + 1 < argc) {
      options.timeoutMs = static_cast<DWORD>(_wtoi(argv[++i]));
    } else if (arg == L"--answer-after" && i + 1 < argc) {
      options.answerAfterMs = static_cast<DWORD>(_wtoi(argv[++i]));
    } else if (arg == L"--close-window") {
      options.closeWindow = true;
    } else if (arg == L"--window-class" && i + 1 < argc) {
      options.windowClass = argv[++i];
    } else if (arg == L"--watch-class" && i + 1 < argc) {
      options.watchClasses.push_back(argv[++i]);
    } else if (arg == L"--close-class" && i + 1 < argc) {
      options.watchClasses.push_back(argv[++i]);
      options.closeClasses.insert(options.watchClasses.back());
    } else if (arg == L"--") {
      ++i;
      break;
    } else {
      return false;
    }
  }
  for (; i < argc; ++i) {
    if (!options.commandLine.empty()) options.commandLine += L' ';
    options.commandLine += QuoteArgument(argv[i]);
  }
  return !options.out.empty() && !options.commandLine.empty();
}

std::wstring WindowText(HWND window) {
  wchar_t buffer[4096] = {};
  DWORD_PTR length = 0;
  SendMessageTimeoutW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer), SMTO_ABORTIFHUNG,
                      1000, &length);
  return buffer;
}

std::wstring ClassName(HWND window) {
  wchar_t buffer[256] = {};
  GetClassNameW(window, buffer, 256);
  return buffer;
}

struct Search {
  DWORD processId;
  std::wstring className;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<Search*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == search->processId && ClassName(window) == search->className) {
    search->found.push_back(window);
  }
  return TRUE;
}

std::vector<HWND> TopLevelWindows(DWORD processId, const std::wstring& className) {
  Search search{processId, className, {}};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The message text is the first static control that is not the icon.
HWND MessageTextControl(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassName(child) != L"Static") continue;
    if ((GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) continue;
    return child;
  }
  return nullptr;
}

HWND IconControl(HWND dialog) {
  for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    if (ClassName(child) == L"Static" && (GetWindowLongW(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
      return child;
    }
  }
  return nullptr;
}

std::vector<DWORD> Pixels(HDC source, int x, int y, int width, int height) {
  HDC memory = CreateCompatibleDC(source);
  BITMAPINFO info = {};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = width;
  info.bmiHeader.biHeight = -height;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(memory, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, source, x, y, SRCCOPY);
  GdiFlush();
  std::vector<DWORD> pixels(static_cast<const DWORD*>(bits),
                            static_cast<const DWORD*>(bits) + width * height);
  for (DWORD& p : pixels) p &= 0x00FFFFFF;
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  return pixels;
}

std::vector<DWORD> ReferenceIcon(LPCWSTR id, int width, int height) {
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  RECT all = {0, 0, width, height};
  FillRect(memory, &all, GetSysColorBrush(COLOR_3DFACE));
  DrawIcon(memory, 0, 0, LoadIconW(nullptr, id));
  std::vector<DWORD> pixels = Pixels(memory, 0, 0, width, height);
  SelectObject(memory, old);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);
  return pixels;
}

// Icon handles are private to each process under Wine, so the kind of icon is
// told by its pixels: the control's image equals exactly one system icon drawn
// on the dialog colour.
std::string IconKind(HWND dialog) {
  HWND control = IconControl(dialog);
  if (!control) return "none";
  RECT rect;
  GetClientRect(control, &rect);
  const int width = rect.right, height = rect.bottom;
  if (width <= 0 || height <= 0) return "none";
  const struct {
    LPCWSTR id;
    const char* name;
  } kinds[] = {{IDI_ERROR, "error"},
               {IDI_INFORMATION, "information"},
               {IDI_WARNING, "warning"},
               {IDI_QUESTION, "question"}};
  for (int attempt = 0; attempt < 20; ++attempt) {
    // Another process's window DC has no pixels under Wine; the screen has.
    RECT onScreen;
    GetWindowRect(control, &onScreen);
    HDC screen = GetDC(nullptr);
    const std::vector<DWORD> shown = Pixels(screen, onScreen.left, onScreen.top, width, height);
    ReleaseDC(nullptr, screen);
    for (const auto& kind : kinds) {
      if (ReferenceIcon(kind.id, width, height) == shown) return kind.name;
    }
    Sleep(25);  // not painted yet
  }
  return "unknown";
}

void RecordDialog(HWND dialog) {
  Sleep(50);  // let it finish painting
  HWND text = MessageTextControl(dialog);
  Record({{"event", "dialog"},
          {"caption", WideToUtf8(WindowText(dialog))},
          {"text", text ? WideToUtf8(WindowText(text)) : ""},
          {"icon", IconKind(dialog)}});
}

void AnswerDialog(HWND dialog) {
  HWND ok = GetDlgItem(dialog, IDOK);
  PostMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(ok));
}

BOOL CALLBACK AddChild(HWND child, LPARAM children) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, GetParent(child), reinterpret_cast<POINT*>(&rect), 2);
  reinterpret_cast<json*>(children)->push_back(
      {{"class", WideToUtf8(ClassName(child))}, {"rect", JsonRect(rect)}});
  return TRUE;
}

// The window's children: their classes and where they lie in its client area.
json Children(HWND window) {
  json children = json::array();
  EnumChildWindows(window, AddChild, reinterpret_cast<LPARAM>(&children));
  return children;
}

void RecordWindow(HWND window) {
  RECT outer, client;
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  Record({{"event", "window"},
          {"class", WideToUtf8(ClassName(window))},
          {"visible", IsWindowVisible(window) != FALSE},
          {"caption", WideToUtf8(WindowText(window))},
          {"style", static_cast<DWORD>(GetWindowLongW(window, GWL_STYLE))},
          {"exStyle", static_cast<DWORD>(GetWindowLongW(window, GWL_EXSTYLE))},
          {"window", JsonRect(outer)},
          {"client", JsonRect(client)},
          {"children", Children(window)}});
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  Options options;
  if (!ParseOptions(argc, argv, options)) {
    fprintf(stderr,
            "usage: runner --out FILE [--timeout MS] [--close-window] [--window-class NAME] "
            "[--watch-class NAME]... [--close-class NAME]... -- PROGRAM [ARGS...]\n");
    return 2;
  }
  g_out = _wfopen(options.out.c_str(), L"w");
  if (!g_out) return 2;
  g_startTick = GetTickCount();

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  std::wstring commandLine = options.commandLine;
  BOOL started =
      CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  // Wine answers ERROR_INTERNAL_ERROR when the new process died in its first
  // milliseconds without a word, before any of the program's own code ran
  // (a missing DLL or a crash of the program would have an exit status of
  // its own). Seen once in many hundreds of starts on a busy machine; it is
  // the bed's, so it gets one more try, on the record.
  if (!started && GetLastError() == ERROR_INTERNAL_ERROR) {
    Record({{"event", "start-retried"}, {"error", ERROR_INTERNAL_ERROR}});
    commandLine = options.commandLine;
    started =
        CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process);
  }
  if (!started) {
    Record({{"event", "start-failed"}, {"error", GetLastError()}});
    fclose(g_out);
    return 3;
  }

  std::map<HWND, DWORD> unansweredDialogs;  // since when each has been up
  std::set<HWND> seenDialogs;
  std::set<HWND> seenWindows;
  HWND mainWindow = nullptr;
  bool timedOut = false;
  for (;;) {
    if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) break;
    if (GetTickCount() - g_startTick > options.timeoutMs) {
      timedOut = true;
      break;
    }
    for (HWND dialog : TopLevelWindows(process.dwProcessId, L"#32770")) {
      if (IsWindowVisible(dialog) && seenDialogs.insert(dialog).second) {
        RecordDialog(dialog);
        unansweredDialogs[dialog] = GetTickCount();
      }
    }
    for (auto dialog = unansweredDialogs.begin(); dialog != unansweredDialogs.end();) {
      if (GetTickCount() - dialog->second < options.answerAfterMs) {
        ++dialog;
        continue;
      }
      AnswerDialog(dialog->first);
      dialog = unansweredDialogs.erase(dialog);
    }
    if (!mainWindow) {
      const std::vector<HWND> windows = TopLevelWindows(process.dwProcessId, options.windowClass);
      if (!windows.empty()) {
        mainWindow = windows.front();
        RecordWindow(mainWindow);
        if (options.closeWindow) PostMessageW(mainWindow, WM_CLOSE, 0, 0);
      }
    }
    for (const std::wstring& watched : options.watchClasses) {
      for (HWND window : TopLevelWindows(process.dwProcessId, watched)) {
        if (!seenWindows.insert(window).second) continue;
        Sleep(30);  // let it be shown and sized
        RecordWindow(window);
        if (options.closeClasses.count(watched)) PostMessageW(window, WM_CLOSE, 0, 0);
      }
    }
  }

  if (timedOut) {
    TerminateProcess(process.hProcess, 124);
    WaitForSingleObject(process.hProcess, 5000);
    Record({{"event", "timeout"}});
  } else {
    DWORD code = 0;
    GetExitCodeProcess(process.hProcess, &code);
    Record({{"event", "exit"}, {"code", code}});
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  fclose(g_out);
  return 0;
}

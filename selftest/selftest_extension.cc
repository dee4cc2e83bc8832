// selftest.ext.dll, the self-test's extension. The page judges every check;
// this side tells it what only code inside kiln.exe can see (the order Kiln
// called the extension in, the real window, the screen's DPI, the class
// icon, the user data folder), does what a page cannot (raise an MSVC
// exception, show a message box, click into the window), and keeps the
// report: each result the page sends is written to selftest-report.json
// beside kiln.exe at once (with a plain table of it in
// selftest-report.txt), so that a run that dies half-way still leaves what
// it found.
//
// Page messages (component "selftest"); the answer has the same message id
// and asyncId and, but for "echo", one value "json" holding JSON text:
//   "facts"        what the extension saw until now (see Facts)
//   "window"       the main window as it is now
//   "echo"         the parameters back, named "0", "1", ..., with "types",
//                  and a few values that test how Kiln sends each type
//   "click"        one left click at the centre of the window, as the user
//                  would click, when nothing covers it there
//   "type"         that click, then the keys K and left arrow pressed and
//                  released, as the user would type them
//   "fullscreen-key" [which]: that click, then F11 (which "f11") or Alt+Enter
//                  (which "alt-enter") pressed and released
//   "throw-msvc"   lets an MSVC-style exception escape (no answer)
//   "after-throw"  whether the exception was unwound and its object destroyed
//   "message-box"  shows a message box and closes it after a moment
//   "user-data"    what the user data folder holds
//   "saves-file"   [name]: the bytes of that file in the saves folder that
//                  saves.ext.dll keeps there, and what the folder holds
//   "note"         [key, JSON text]: kept in the report under key
//   "record"       [name, status, seen]: one check's result
//   "finish"       marks the report complete
#include <windows.h>

#include <cmath>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "common/json_rect_win.h"
#include "common/padded_clip.h"
#include "extensions/msvc_throw.h"
#include "kiln/extension.h"

namespace {

using json = nlohmann::json;

constexpr char kComponentId[] = "selftest";
constexpr char kReportName[] = "selftest-report.json";
constexpr char kTableName[] = "selftest-report.txt";
constexpr char kSharedKey[] = "kiln-selftest.shared";
constexpr wchar_t kBoxCaption[] = L"Kiln self-test";
constexpr UINT kBoxMilliseconds = 1200;
// More than one 4 MiB range answer before the first frame.
constexpr uint64_t kVideoPadding = 8u << 20;

HMODULE g_module = nullptr;

std::wstring Widen(const std::string& text) {
  std::wstring wide(text.size(), L'\0');
  wide.resize(MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                  wide.data(), static_cast<int>(wide.size())));
  return wide;
}

std::string Narrow(const std::wstring& wide) {
  std::string text(wide.size() * 3, '\0');
  text.resize(WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()),
                                  text.data(), static_cast<int>(text.size()), nullptr, nullptr));
  return text;
}

bool ReadBytes(const std::string& path, std::string& bytes) {
  HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  LARGE_INTEGER size = {};
  DWORD read = 0;
  bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (64 << 20);
  if (ok) {
    bytes.resize(static_cast<size_t>(size.QuadPart));
    ok = ReadFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &read, nullptr) &&
         read == bytes.size();
  }
  CloseHandle(file);
  return ok;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const bool ok = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                            nullptr) && written == bytes.size();
  CloseHandle(file);
  return ok;
}

std::string WindowText(HWND window) {
  wchar_t text[512] = L"";
  GetWindowTextW(window, text, 512);
  return Narrow(text);
}

std::string ClassName(HWND window) {
  wchar_t name[128] = L"";
  GetClassNameW(window, name, 128);
  return Narrow(name);
}

// The system's version as it is, whatever the caller's manifest says, and
// Wine's when Wine runs it.
// The first icon group of a module, the one Explorer shows.
BOOL CALLBACK FirstGroup(HMODULE module, LPCWSTR type, LPWSTR name, LONG_PTR found) {
  *reinterpret_cast<HRSRC*>(found) = FindResourceW(module, name, type);
  return FALSE;
}

json SystemFacts() {
  json facts = {{"architecture", sizeof(void*) == 4 ? "x86" : "x64"}};
  HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  if (auto getVersion = reinterpret_cast<GetVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))) {
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (getVersion(&version) == 0) {
      facts["windows"] = std::to_string(version.dwMajorVersion) + "." +
                         std::to_string(version.dwMinorVersion) + "." +
                         std::to_string(version.dwBuildNumber);
    }
  }
  using WineVersion = const char*(CDECL*)();
  if (auto wine = reinterpret_cast<WineVersion>(reinterpret_cast<void*>(GetProcAddress(ntdll, "wine_get_version")))) {
    facts["wine"] = wine();
  }
  return facts;
}

int ScreenDpi() {
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSX);
  ReleaseDC(nullptr, screen);
  return dpi;
}

json WindowFacts(HWND window) {
  RECT outer = {}, client = {};
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  const LONG style = GetWindowLongW(window, GWL_STYLE);
  json facts = {{"window", kiln::testing::JsonRect(outer)},
                {"client", kiln::testing::JsonRect(client)},
                {"caption", WindowText(window)},
                {"framed", (style & WS_CAPTION) == WS_CAPTION},
                {"visible", IsWindowVisible(window) != FALSE},
                {"monitor", nullptr}};
  // No monitor at all (a session without a display) leaves it null.
  if (HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONULL)) {
    MONITORINFO info = {};
    info.cbSize = sizeof(info);
    if (GetMonitorInfoW(monitor, &info)) facts["monitor"] = kiln::testing::JsonRect(info.rcMonitor);
  }
  return facts;
}

json IconFacts(HWND window) {
  const auto large = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICON));
  const auto small = reinterpret_cast<HICON>(GetClassLongPtrW(window, GCLP_HICONSM));
  json facts = {{"large", large != nullptr}, {"small", small != nullptr}};
  ICONINFO info = {};
  if (large && GetIconInfo(large, &info)) {
    BITMAP bitmap = {};
    if (GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof(bitmap), &bitmap)) {
      facts["width"] = bitmap.bmWidth;
      facts["height"] = info.hbmColor ? bitmap.bmHeight : bitmap.bmHeight / 2;
    }
    if (info.hbmColor) DeleteObject(info.hbmColor);
    if (info.hbmMask) DeleteObject(info.hbmMask);
  }
  return facts;
}

// A click where the user would click: real input, which the page takes as
// the user's gesture, and only where it lands on the window itself.
json ClickCentre(HWND window) {
  RECT client = {};
  GetClientRect(window, &client);
  POINT centre = {client.right / 2, client.bottom / 2};
  ClientToScreen(window, &centre);
  HWND hit = WindowFromPoint(centre);
  json facts = {{"at", {centre.x, centre.y}}, {"clicked", false}};
  if (!hit || GetAncestor(hit, GA_ROOT) != window) {
    facts["why"] = "another window covers the centre of the window";
    return facts;
  }
  facts["target"] = ClassName(hit);
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN);
  const int top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  INPUT inputs[3] = {};
  const DWORD flags[3] = {0, MOUSEEVENTF_LEFTDOWN, MOUSEEVENTF_LEFTUP};
  for (int i = 0; i < 3; ++i) {
    inputs[i].type = INPUT_MOUSE;
    inputs[i].mi.dx = MulDiv(centre.x - left, 65535, width > 1 ? width - 1 : 1);
    inputs[i].mi.dy = MulDiv(centre.y - top, 65535, height > 1 ? height - 1 : 1);
    inputs[i].mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK | flags[i];
  }
  const UINT sent = SendInput(3, inputs, sizeof(INPUT));
  facts["clicked"] = sent == 3;
  if (sent != 3) facts["why"] = "the system refused the input (error " + std::to_string(GetLastError()) + ")";
  return facts;
}

json ClickAndType(HWND window) {
  json facts = ClickCentre(window);
  if (!facts["clicked"].get<bool>()) return facts;
  std::vector<INPUT> inputs;
  for (const WORD key : {static_cast<WORD>('K'), static_cast<WORD>(VK_LEFT)}) {
    for (const DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
      INPUT input = {};
      input.type = INPUT_KEYBOARD;
      input.ki.wVk = key;
      input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
      input.ki.dwFlags = up | (key == VK_LEFT ? KEYEVENTF_EXTENDEDKEY : 0);
      inputs.push_back(input);
    }
  }
  const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  facts["typed"] = sent == inputs.size();
  return facts;
}

// The keys a player presses to switch fullscreen, typed into the page.
json ClickAndPressFullscreenKey(HWND window, const std::string& which) {
  json facts = ClickCentre(window);
  if (!facts["clicked"].get<bool>()) return facts;
  const std::vector<WORD> keys =
      which == "alt-enter" ? std::vector<WORD>{VK_MENU, VK_RETURN} : std::vector<WORD>{VK_F11};
  std::vector<INPUT> inputs;
  for (const DWORD up : {DWORD{0}, DWORD{KEYEVENTF_KEYUP}}) {
    for (size_t i = 0; i < keys.size(); ++i) {
      // Pressed in order, released in the reverse order.
      const WORD key = up ? keys[keys.size() - 1 - i] : keys[i];
      INPUT input = {};
      input.type = INPUT_KEYBOARD;
      input.ki.wVk = key;
      input.ki.wScan = static_cast<WORD>(MapVirtualKeyW(key, MAPVK_VK_TO_VSC));
      input.ki.dwFlags = up;
      inputs.push_back(input);
    }
  }
  const UINT sent = SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
  facts["pressed"] = sent == inputs.size();
  return facts;
}

// What the message box went through. The box is modal: Kiln's thread runs
// the box's message loop until the extension's own timer closes it.
struct BoxWatch {
  bool found = false;
  bool visible = false;
};
BoxWatch g_box;

BOOL CALLBACK CloseOwnBox(HWND window, LPARAM) {
  wchar_t caption[64] = L"";
  GetWindowTextW(window, caption, 64);
  if (ClassName(window) != "#32770" || wcscmp(caption, kBoxCaption) != 0) return TRUE;
  g_box.found = true;
  g_box.visible = IsWindowVisible(window) != FALSE;
  PostMessageW(window, WM_COMMAND, IDOK, 0);
  return FALSE;
}

void CALLBACK OnBoxTimer(HWND, UINT, UINT_PTR timer, DWORD) {
  EnumThreadWindows(GetCurrentThreadId(), CloseOwnBox, 0);
  // Looked for again until it is up: a box that never came would have
  // returned already.
  if (g_box.found) KillTimer(nullptr, timer);
}

json ShowAndCloseBox() {
  g_box = BoxWatch();
  const UINT_PTR timer = SetTimer(nullptr, 0, kBoxMilliseconds, OnBoxTimer);
  const DWORD start = GetTickCount();
  const int result = MessageBoxW(nullptr, L"The self-test closes this box by itself.", kBoxCaption,
                                 MB_OK | MB_ICONINFORMATION);
  const DWORD elapsed = GetTickCount() - start;
  if (!g_box.found) KillTimer(nullptr, timer);
  return {{"returned", result}, {"closedByExtension", g_box.found}, {"visible", g_box.visible},
          {"milliseconds", elapsed}};
}

json FolderEntries(const std::string& folder) {
  json entries = json::array();
  WIN32_FIND_DATAW found;
  HANDLE search = FindFirstFileW(Widen(folder + "\\*").c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return entries;
  do {
    const std::wstring name = found.cFileName;
    if (name != L"." && name != L"..") entries.push_back(Narrow(name));
  } while (entries.size() < 20 && FindNextFileW(search, &found));
  FindClose(search);
  return entries;
}

kiln::NamedExtensionValue Named(const char* name, kiln::ExtensionValueType type, double number,
                                const char* text = nullptr) {
  return {name, {type, number, text}};
}

const char* TypeName(kiln::ExtensionValueType type) {
  switch (type) {
    case kiln::ExtensionValueType::Boolean: return "Boolean";
    case kiln::ExtensionValueType::Number: return "Number";
    case kiln::ExtensionValueType::String: return "String";
    default: return "Other";
  }
}

bool g_unwound = false;
bool g_thrownObjectDestroyed = false;
int g_sharedMarker = 0;
int g_otherMarker = 0;

class SelfTest final : public kiln::IExtension {
 public:
  explicit SelfTest(kiln::IApplication* application) : app_(application) {
    events_.push_back("WrapperExtInit");
    appFolder_ = app_->GetAppFolder();
    contentFolderAtInit_ = app_->GetContentFolder();
    registered_ = app_->RegisterComponentId(kComponentId);
    registeredAgain_ = app_->RegisterComponentId(kComponentId);
    app_->SetInterfaceVersion(2);
    app_->SetSharedValue(kSharedKey, &g_sharedMarker);
    report_ = SystemFacts();
    ReadPreviousRun();
    report_["run"] = run_;
    report_["complete"] = false;
    MakeBigVideo();
    CheckOwnExe();
  }

  void Destroy() override { delete this; }

  void OnWebMessage(const char* messageId, int32_t count, const kiln::ExtensionValue* values,
                    double asyncId) override {
    if (!seenWebMessage_) {
      seenWebMessage_ = true;
      events_.push_back("OnWebMessage");
      contentFolder_ = app_->GetContentFolder();
      userDataFolder_ = app_->GetUserDataFolder();
    }
    const std::string id = messageId;
    // Leaves this function on purpose: the host must stop it.
    if (id == "throw-msvc") {
      kiln_test::ThrowAsMsvc(g_module, {[] { g_thrownObjectDestroyed = true; },
                                        [] { g_unwound = true; }});
    }
    try {
      std::vector<std::string> texts;
      for (int32_t i = 0; i < count; ++i) {
        texts.push_back(values[i].type == kiln::ExtensionValueType::String ? values[i].text : "");
      }
      if (id == "echo") return Echo(count, values, asyncId);
      json answer;
      if (id == "facts") {
        answer = Facts();
      } else if (id == "window") {
        answer = WindowFacts(window_);
      } else if (id == "click") {
        answer = ClickCentre(window_);
      } else if (id == "type") {
        answer = ClickAndType(window_);
      } else if (id == "fullscreen-key" && count >= 1) {
        answer = ClickAndPressFullscreenKey(window_, texts[0]);
      } else if (id == "after-throw") {
        answer = {{"unwound", g_unwound}, {"thrownObjectDestroyed", g_thrownObjectDestroyed}};
      } else if (id == "message-box") {
        answer = ShowAndCloseBox();
      } else if (id == "user-data") {
        const DWORD attributes = GetFileAttributesW(Widen(userDataFolder_).c_str());
        answer = {{"folder", userDataFolder_},
                  {"exists", attributes != INVALID_FILE_ATTRIBUTES},
                  {"entries", FolderEntries(userDataFolder_)}};
      } else if (id == "saves-file" && count >= 1) {
        const std::string folder = userDataFolder_ + "\\saves";
        std::string bytes;
        answer = {{"text", ReadBytes(folder + "\\" + texts[0], bytes) ? json(bytes) : json()},
                  {"entries", FolderEntries(folder)}};
      } else if (id == "note" && count >= 2) {
        report_[texts[0]] = json::parse(texts[1]);
        answer = SaveReport();
      } else if (id == "record" && count >= 3) {
        Record(texts[0], texts[1], texts[2]);
        answer = SaveReport();
      } else if (id == "finish") {
        report_["complete"] = true;
        answer = SaveReport();
      } else {
        answer = {{"error", "unknown message " + id}};
      }
      const std::string text = answer.dump(-1, ' ', false, json::error_handler_t::replace);
      const kiln::NamedExtensionValue named[] = {
          Named("json", kiln::ExtensionValueType::String, 0, text.c_str())};
      app_->SendWebMessage(messageId, 1, named, asyncId);
    } catch (...) {
      // An answer that cannot be made is missed by the page, which says so.
    }
  }

  void OnMainWindowCreated(kiln::WindowHandle window) override {
    events_.push_back("OnMainWindowCreated");
    window_ = window;
    atCreation_ = WindowFacts(window);
    atCreation_["dpi"] = ScreenDpi();
    icon_ = IconFacts(window);
  }

  void OnExtensionsLoaded() override { events_.push_back("OnExtensionsLoaded"); }

 private:
  // The run before this one left its report beside kiln.exe: this run is
  // the next, and what the page stored then is to be read back now.
  void ReadPreviousRun() {
    std::string text;
    if (!ReadBytes(appFolder_ + kReportName, text)) return;
    const json previous = json::parse(text, nullptr, false);
    if (!previous.is_object()) return;
    run_ = previous.value("run", 0) + 1;
    previousPersistence_ = previous.value("persistence", json());
    previousSaves_ = previous.value("saves", json());
  }

  // What Windows reads of the exe kiln-pack wrote: its version texts, and
  // each size of its first icon group as the icon loader picks and decodes
  // it. An exe that was not packed has neither.
  void CheckOwnExe() {
    const char* name = "packed exe: version and icon";
    std::vector<wchar_t> path(32768, L'\0');
    GetModuleFileNameW(nullptr, path.data(), 32767);
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeW(path.data(), &ignored);
    std::vector<char> block(size);
    if (!size || !GetFileVersionInfoW(path.data(), 0, size, block.data())) {
      Record(name, "skip", "the exe has no version information: it was not packed with kiln-pack");
      return;
    }
    json seen = json::object();
    for (const wchar_t* key : {L"ProductName", L"FileVersion", L"OriginalFilename"}) {
      wchar_t* value = nullptr;
      UINT length = 0;
      const std::wstring query = std::wstring(L"\\StringFileInfo\\040904B0\\") + key;
      if (VerQueryValueW(block.data(), query.c_str(), reinterpret_cast<void**>(&value), &length) && value) {
        seen[Narrow(key)] = Narrow(value);
      }
    }
    HMODULE module = GetModuleHandleW(nullptr);
    HRSRC groupResource = nullptr;
    EnumResourceNamesW(module, RT_GROUP_ICON, FirstGroup, reinterpret_cast<LONG_PTR>(&groupResource));
    auto* directory = groupResource ? static_cast<BYTE*>(LockResource(LoadResource(module, groupResource))) : nullptr;
    json sizes = json::array();
    for (const int side : {16, 20, 24, 32, 40, 48, 64, 256}) {
      const int id = directory ? LookupIconIdFromDirectoryEx(directory, TRUE, side, side, LR_DEFAULTCOLOR) : 0;
      HRSRC image = id ? FindResourceW(module, MAKEINTRESOURCEW(id), RT_ICON) : nullptr;
      auto* bytes = image ? static_cast<BYTE*>(LockResource(LoadResource(module, image))) : nullptr;
      HICON icon = bytes ? CreateIconFromResourceEx(bytes, SizeofResource(module, image), TRUE, 0x00030000,
                                                    side, side, LR_DEFAULTCOLOR)
                         : nullptr;
      ICONINFO info = {};
      BITMAP bitmap = {};
      if (icon && GetIconInfo(icon, &info)) {
        GetObjectW(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bitmap, &bitmap);
        if (info.hbmColor) DeleteObject(info.hbmColor);
        if (info.hbmMask) DeleteObject(info.hbmMask);
      }
      if (icon) DestroyIcon(icon);
      sizes.push_back(bitmap.bmWidth);
    }
    seen["iconSizes"] = sizes;
    const bool sound = seen.value("ProductName", "") == "Kiln self-test" &&
                       sizes == json({16, 20, 24, 32, 40, 48, 64, 256});
    Record(name, sound ? "pass" : "fail", seen.dump());
  }

  // The kit's four-second clip, grown past one range answer.
  void MakeBigVideo() {
    const std::string www = appFolder_ + "www\\";
    std::string clip;
    if (!ReadBytes(www + "clip.webm", clip)) {
      bigVideo_ = {{"error", "www\\clip.webm cannot be read"}};
      return;
    }
    const std::string big = kiln::testing::PaddedClip(clip, kVideoPadding);
    if (!WriteBytes(www + "big.webm", big)) {
      bigVideo_ = {{"error", "www\\big.webm cannot be written"}};
      return;
    }
    bigVideo_ = {{"bytes", big.size()}};
  }

  // The shared values as one extension sees them from start to now.
  json SharedValues() {
    const bool readBack = app_->GetSharedValue(kSharedKey) == &g_sharedMarker;
    app_->SetSharedValue(kSharedKey, &g_otherMarker);
    const bool replaced = app_->GetSharedValue(kSharedKey) == &g_otherMarker;
    app_->RemoveSharedValue(kSharedKey);
    const bool removed = app_->GetSharedValue(kSharedKey) == nullptr;
    const bool absent = app_->GetSharedValue("kiln-selftest.never-set") == nullptr;
    app_->SetSharedValue(kSharedKey, &g_sharedMarker);
    return {{"readBack", readBack}, {"replaced", replaced}, {"removed", removed}, {"absent", absent}};
  }

  json Facts() {
    if (shared_.is_null()) shared_ = SharedValues();
    return {{"run", run_},
            {"previousPersistence", previousPersistence_},
            {"previousSaves", previousSaves_},
            {"system", SystemFacts()},
            {"events", events_},
            {"registered", registered_},
            {"registeredAgain", registeredAgain_},
            {"appFolder", appFolder_},
            {"contentFolderAtInit", contentFolderAtInit_},
            {"contentFolder", contentFolder_},
            {"userDataFolder", userDataFolder_},
            {"shared", shared_},
            {"atCreation", atCreation_},
            {"icon", icon_},
            {"bigVideo", bigVideo_}};
  }

  // The values the page sent, back as the page sent them, and values that
  // show how Kiln turns each type into JSON.
  void Echo(int32_t count, const kiln::ExtensionValue* values, double asyncId) {
    std::vector<std::string> names;
    std::string types;
    for (int32_t i = 0; i < count; ++i) {
      names.push_back(std::to_string(i));
      types += std::string(i ? "," : "") + TypeName(values[i].type);
    }
    const std::string received = std::to_string(count) + (values ? "" : " null");
    std::vector<kiln::NamedExtensionValue> named;
    for (int32_t i = 0; i < count; ++i) named.push_back({names[i].c_str(), values[i]});
    named.push_back(Named("types", kiln::ExtensionValueType::String, 0, types.c_str()));
    named.push_back(Named("received", kiln::ExtensionValueType::String, 0, received.c_str()));
    named.push_back(Named("asyncId", kiln::ExtensionValueType::Number, asyncId));
    named.push_back(Named("half", kiln::ExtensionValueType::Boolean, 0.5));
    named.push_back(Named("nan", kiln::ExtensionValueType::Number, std::nan("")));
    named.push_back(Named("infinite", kiln::ExtensionValueType::Number, HUGE_VAL));
    named.push_back(Named("unknownType", static_cast<kiln::ExtensionValueType>(7), 1));
    named.push_back(Named("twice", kiln::ExtensionValueType::String, 0, "first"));
    named.push_back(Named("twice", kiln::ExtensionValueType::String, 0, "second"));
    app_->SendWebMessage("echo", static_cast<uint32_t>(named.size()), named.data(), asyncId);
  }

  void Record(const std::string& name, const std::string& status, const std::string& seen) {
    json& checks = report_["checks"];
    if (!checks.is_array()) checks = json::array();
    const json entry = {{"name", name}, {"status", status}, {"seen", seen}};
    for (json& check : checks) {
      if (check["name"] == name) {
        check = entry;
        return;
      }
    }
    checks.push_back(entry);
  }

  // The report as JSON, and as a table that a shell prints without a JSON
  // reader: one line per check, "status<TAB>name<TAB>seen", then "complete"
  // once the page has finished.
  json SaveReport() {
    const auto cell = [](std::string text) {
      for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r') c = ' ';
      }
      return text;
    };
    std::string table;
    for (const json& check : report_.value("checks", json::array())) {
      table += cell(check.value("status", "")) + "\t" + cell(check.value("name", "")) + "\t" +
               cell(check.value("seen", "")) + "\n";
    }
    if (report_.value("complete", false)) table += "complete\n";
    const bool saved =
        WriteBytes(appFolder_ + kReportName, report_.dump(2, ' ', false, json::error_handler_t::replace) + "\n") &&
        WriteBytes(appFolder_ + kTableName, table);
    return {{"saved", saved}};
  }

  kiln::IApplication* app_;
  HWND window_ = nullptr;
  std::vector<std::string> events_;
  bool seenWebMessage_ = false;
  bool registered_ = false;
  bool registeredAgain_ = false;
  std::string appFolder_;
  std::string contentFolderAtInit_;
  std::string contentFolder_;
  std::string userDataFolder_;
  int run_ = 1;
  json previousPersistence_;
  json previousSaves_;
  json atCreation_;
  json icon_;
  json bigVideo_;
  json shared_;
  json report_;
};

}  // namespace

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  return TRUE;
}

KILN_EXTENSION_EXPORT kiln::IExtension* KILN_CDECL WrapperExtInit(kiln::IApplication* application) {
  try {
    return new SelfTest(application);
  } catch (...) {
    return nullptr;
  }
}

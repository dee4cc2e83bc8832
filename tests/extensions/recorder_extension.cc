// A test extension that writes everything it receives to "extensions.log" in
// the application folder and does what its configuration and the page ask.
//
// One build serves many roles: copy it as "<tag>.ext.dll" and put
// "<tag>.ext.json" beside it. Configuration members, all optional:
//   "ids": ["a", "b"]       component ids to register in WrapperExtInit
//   "version": 2            interface version to set in WrapperExtInit
//   "versionInWindow": 2    interface version to set in OnMainWindowCreated
//   "refuse": true          return null from WrapperExtInit (after registering)
//   "quiet": true           log no OnWebMessage lines (for timing runs)
//   "shareApplication": "k" store this extension's IApplication under shared
//                           key k, so that "send-via" can send as this extension
//   "vetoMainWindow": true  make the creation of Kiln's main window fail (a CBT
//                           hook on the UI thread refuses it)
// Log lines start with the tag: "<tag> WrapperExtInit content=", "<tag>
// OnExtensionsLoaded", "<tag> OnMainWindowCreated", "<tag> OnWebMessage <id>
// <count> <asyncId> <values>", "<tag> Destroy", and "<tag> unloaded" when
// the DLL is freed.
//
// Page commands (the message id; the first parameter names a key or id):
//   "echo"          answers "echo" with the params named "0", "1", ...
//   "folders"       answers with "app", "content" and "userData"
//   "register"      registers params[0], answers {"registered": true/false}
//   "share"         stores a pointer to this extension's tag under params[0]
//   "read-shared"   answers {"value": the tag stored under params[0], or null}
//   "remove-shared" removes params[0]
//   "send"          sends params[0] as message id with the named values that
//                   follow as (name, type, value) triples: value is a number, a
//                   text, or "nan", "inf", "-inf" for those numbers; with no
//                   triples the count is 0 and the pointer null
//   "send-via"      the same from params[1] on, through the IApplication stored
//                   under the shared key params[0]
//   "throw", "throw-int"  let a C++ exception escape OnWebMessage
//   "throw-msvc"    lets an exception escape as MSVC's throw raises it, from
//                   inside a frame that logs "<tag> unwound" when an unwind
//                   passes it (32-bit only; MSVC's frames do their cleanup
//                   there); the thrown object logs "<tag> thrown object
//                   destroyed" from its destructor. On x86 the host's
//                   RtlUnwind is first made to behave as Windows' own
//                   (windows_rtl_unwind.h), which logs "<tag> RtlUnwind as
//                   on Windows"
//   "rethrow-msvc"  the same as MSVC's "throw;" raises it: no object, no type
//   "fault"         writes through a null pointer
//   "message-box"   shows a message box (as extensions do to ask the user)
//                   and waits until it is closed
// Answers carry the page's asyncId.
#include <windows.h>

#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "kiln/extension.h"
#include "msvc_throw.h"
#include "windows_rtl_unwind.h"

namespace {

HMODULE g_module = nullptr;
// Plain arrays: DllMain writes the last line after the C++ runtime may have
// begun tearing down.
wchar_t g_logPath[4096] = L"";
char g_tag[256] = "";

std::wstring Widen(const std::string& text) {
  if (text.empty()) return std::wstring();
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
  std::wstring wide(size, L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
  return wide;
}

void Log(const char* line) {
  if (!g_logPath[0]) return;
  HANDLE file = CreateFileW(g_logPath, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  WriteFile(file, g_tag, static_cast<DWORD>(strlen(g_tag)), &written, nullptr);
  WriteFile(file, " ", 1, &written, nullptr);
  WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
  WriteFile(file, "\n", 1, &written, nullptr);
  CloseHandle(file);
}

void Log(const std::string& line) { Log(line.c_str()); }

std::string ModulePath() {
  wchar_t path[4096];
  const DWORD length = GetModuleFileNameW(g_module, path, 4096);
  const int size = WideCharToMultiByte(CP_UTF8, 0, path, length, nullptr, 0, nullptr, nullptr);
  std::string text(size, '\0');
  WideCharToMultiByte(CP_UTF8, 0, path, length, &text[0], size, nullptr, nullptr);
  return text;
}

nlohmann::json ReadConfig(const std::string& dllPath) {
  const std::wstring path = Widen(dllPath.substr(0, dllPath.size() - 4) + ".json");
  FILE* file = _wfopen(path.c_str(), L"rb");
  if (!file) return nlohmann::json::object();
  std::string text;
  char buffer[4096];
  size_t read;
  while ((read = fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, read);
  fclose(file);
  return nlohmann::json::parse(text, nullptr, false);
}

std::string Describe(const kiln::ExtensionValue& value) {
  switch (value.type) {
    case kiln::ExtensionValueType::Boolean: return "Boolean:" + std::to_string(value.number);
    case kiln::ExtensionValueType::Number: return "Number:" + std::to_string(value.number);
    case kiln::ExtensionValueType::String: return std::string("String:") + value.text;
    default: return "Other:" + std::to_string(static_cast<int>(value.type));
  }
}

std::string TextParam(int32_t count, const kiln::ExtensionValue* values) {
  return count > 0 && values[0].type == kiln::ExtensionValueType::String ? values[0].text : "";
}

kiln::NamedExtensionValue Text(const char* name, const char* text) {
  return {name, {kiln::ExtensionValueType::String, 0, text}};
}

// Sends values[first] as the message id, with the (name, type, value) triples
// that follow, through application.
void SendTriples(kiln::IApplication* application, int32_t count,
                 const kiln::ExtensionValue* values, int32_t first, double asyncId) {
  if (count <= first || values[first].type != kiln::ExtensionValueType::String) return;
  std::vector<kiln::NamedExtensionValue> named;
  for (int32_t i = first + 1; i + 2 < count; i += 3) {
    kiln::NamedExtensionValue entry = {values[i].text, {}};
    entry.value.type =
        static_cast<kiln::ExtensionValueType>(static_cast<int32_t>(values[i + 1].number));
    const kiln::ExtensionValue& value = values[i + 2];
    if (value.type == kiln::ExtensionValueType::String) {
      const std::string text = value.text;
      if (text == "nan") entry.value.number = std::nan("");
      else if (text == "inf") entry.value.number = HUGE_VAL;
      else if (text == "-inf") entry.value.number = -HUGE_VAL;
      entry.value.text = value.text;
    } else {
      entry.value.number = value.number;
    }
    named.push_back(entry);
  }
  application->SendWebMessage(values[first].text, static_cast<uint32_t>(named.size()),
                              named.empty() ? nullptr : named.data(), asyncId);
}

class Recorder final : public kiln::IExtension {
 public:
  Recorder(kiln::IApplication* application, nlohmann::json config)
      : application(application), config(std::move(config)) {}

  void Destroy() override {
    Log("Destroy");
    delete this;
  }

  void OnWebMessage(const char* messageId, int32_t count, const kiln::ExtensionValue* values,
                    double asyncId) override {
    const std::string id = messageId;
    if (!config.value("quiet", false)) {
      std::string line = "OnWebMessage " + id + " " + std::to_string(count) + " " +
                         std::to_string(asyncId) + (values ? "" : " null");
      for (int32_t i = 0; i < count; ++i) line += " " + Describe(values[i]);
      Log(line);
    }

    // The exception experiments must leave this function on purpose.
    if (id == "throw") throw std::runtime_error("thrown by the recorder");
    if (id == "throw-int") throw 7;
    if (id == "throw-msvc" || id == "rethrow-msvc") {
#if !defined(_WIN64)
      if (kiln_test::RouteHostRtlUnwindAsWindows()) Log("RtlUnwind as on Windows");
#endif
      kiln_test::ThrowAsMsvc(g_module, {[] { Log("thrown object destroyed"); }, [] { Log("unwound"); }},
                             id == "rethrow-msvc");
    }
    if (id == "fault") *static_cast<volatile int*>(nullptr) = 1;
    if (id == "message-box") {
      MessageBoxW(nullptr, L"Save the game?", L"Recorder", MB_OK | MB_ICONINFORMATION);
      Log("message box closed");
    }

    try {
      Answer(id, count, values, asyncId);
    } catch (...) {
      Log("failed to answer " + id);
    }
  }

  void OnMainWindowCreated(kiln::WindowHandle window) override {
    Log(std::string("OnMainWindowCreated ") + (window ? "window" : "null"));
    if (config.contains("versionInWindow")) {
      application->SetInterfaceVersion(config["versionInWindow"].get<int32_t>());
    }
  }

  void OnExtensionsLoaded() override { Log("OnExtensionsLoaded"); }

 private:
  void Answer(const std::string& id, int32_t count, const kiln::ExtensionValue* values,
              double asyncId) {
    const std::string key = TextParam(count, values);
    if (id == "echo") {
      std::vector<std::string> names;
      for (int32_t i = 0; i < count; ++i) names.push_back(std::to_string(i));
      std::vector<kiln::NamedExtensionValue> named;
      for (int32_t i = 0; i < count; ++i) named.push_back({names[i].c_str(), values[i]});
      application->SendWebMessage("echo", static_cast<uint32_t>(count),
                                  named.empty() ? nullptr : named.data(), asyncId);
    } else if (id == "folders") {
      const kiln::NamedExtensionValue folders[] = {
          Text("app", application->GetAppFolder()),
          Text("content", application->GetContentFolder()),
          Text("userData", application->GetUserDataFolder())};
      application->SendWebMessage("folders", 3, folders, asyncId);
    } else if (id == "register") {
      const bool registered = application->RegisterComponentId(key.c_str());
      const kiln::NamedExtensionValue answer[] = {
          {"registered", {kiln::ExtensionValueType::Boolean, registered ? 1.0 : 0.0, nullptr}}};
      application->SendWebMessage("register", 1, answer, asyncId);
    } else if (id == "share") {
      application->SetSharedValue(key.c_str(), g_tag);
    } else if (id == "read-shared") {
      const char* shared = static_cast<const char*>(application->GetSharedValue(key.c_str()));
      const kiln::NamedExtensionValue answer[] = {
          shared ? Text("value", shared)
                 : kiln::NamedExtensionValue{"value", {kiln::ExtensionValueType::Other, 0, nullptr}}};
      application->SendWebMessage("read-shared", 1, answer, asyncId);
    } else if (id == "remove-shared") {
      application->RemoveSharedValue(key.c_str());
    } else if (id == "send") {
      SendTriples(application, count, values, 0, asyncId);
    } else if (id == "send-via") {
      auto* other = static_cast<kiln::IApplication*>(application->GetSharedValue(key.c_str()));
      if (other) SendTriples(other, count, values, 1, asyncId);
    }
  }

  kiln::IApplication* application;
  nlohmann::json config;
};

}  // namespace

// Refuses the creation of Kiln's main window on the thread that installed it.
LRESULT CALLBACK VetoMainWindow(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HCBT_CREATEWND) {
    wchar_t name[64] = L"";
    GetClassNameW(reinterpret_cast<HWND>(wParam), name, 64);
    if (wcscmp(name, L"WindowsWebview2Wrapper") == 0) {
      Log("vetoed the main window");
      return 1;
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) g_module = instance;
  if (reason == DLL_PROCESS_DETACH) Log("unloaded");
  return TRUE;
}

KILN_EXTENSION_EXPORT kiln::IExtension* KILN_CDECL WrapperExtInit(kiln::IApplication* application) {
  try {
    const std::string path = ModulePath();
    const size_t slash = path.find_last_of('\\');
    const std::string file = path.substr(slash + 1);
    snprintf(g_tag, sizeof g_tag, "%s", file.substr(0, file.find('.')).c_str());
    const std::wstring log = Widen(std::string(application->GetAppFolder()) + "extensions.log");
    wcsncpy(g_logPath, log.c_str(), 4095);

    nlohmann::json config = ReadConfig(path);
    if (!config.is_object()) config = nlohmann::json::object();
    Log(std::string("WrapperExtInit content=") + application->GetContentFolder());
    for (const auto& id : config.value("ids", nlohmann::json::array())) {
      const bool registered = application->RegisterComponentId(id.get<std::string>().c_str());
      Log("register " + id.get<std::string>() + (registered ? " true" : " false"));
    }
    if (config.contains("version")) application->SetInterfaceVersion(config["version"].get<int32_t>());
    if (config.contains("shareApplication")) {
      application->SetSharedValue(config["shareApplication"].get<std::string>().c_str(), application);
    }
    if (config.value("vetoMainWindow", false)) {
      SetWindowsHookExW(WH_CBT, VetoMainWindow, nullptr, GetCurrentThreadId());
    }
    if (config.value("refuse", false)) {
      Log("refusing");
      return nullptr;
    }
    return new Recorder(application, std::move(config));
  } catch (...) {
    return nullptr;
  }
}

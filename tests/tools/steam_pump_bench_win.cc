// Times steam.ext.dll's idle pump under Wine: loads the extension the way
// kiln.exe does, beside the stand-in steam_api.dll, then sends its
// message-only window the pump's timer message many times with nothing
// pending and prints the mean microseconds per pump.
//   steam_pump_bench <folder holding steam.ext.dll and the stand-in> [pumps]
#include <windows.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "kiln/extension.h"

namespace {

// The host's side, as little as the extension uses outside page messages.
class BenchApplication final : public kiln::IApplication {
 public:
  explicit BenchApplication(std::string folder) : folder_(std::move(folder)) {}
  bool RegisterComponentId(const char*) override { return true; }
  void SendWebMessage(const char*, uint32_t, const kiln::NamedExtensionValue*, double) override {}
  const char* GetAppFolder() override { return folder_.c_str(); }
  const char* GetContentFolder() override { return ""; }
  const char* GetUserDataFolder() override { return ""; }
  void SetInterfaceVersion(int32_t) override {}
  void SetSharedValue(const char*, void*) override {}
  void* GetSharedValue(const char*) override { return nullptr; }
  void RemoveSharedValue(const char*) override {}

 private:
  std::string folder_;
};

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) {
    std::fputs("usage: steam_pump_bench FOLDER [PUMPS]\n", stderr);
    return 2;
  }
  std::wstring folder = argv[1];
  if (folder.back() != L'\\') folder += L'\\';
  const int pumps = argc > 2 ? _wtoi(argv[2]) : 100000;
  char utf8[MAX_PATH * 3] = {};
  WideCharToMultiByte(CP_UTF8, 0, folder.c_str(), -1, utf8, sizeof(utf8), nullptr, nullptr);
  const HMODULE module = LoadLibraryW((folder + L"steam.ext.dll").c_str());
  const auto init = module ? reinterpret_cast<kiln::WrapperExtInitFunction>(
                                 reinterpret_cast<void*>(GetProcAddress(module, "WrapperExtInit")))
                           : nullptr;
  if (!init) {
    std::fputs("steam.ext.dll cannot be loaded\n", stderr);
    return 1;
  }
  BenchApplication application(utf8);
  kiln::IExtension* extension = init(&application);
  const HWND window = FindWindowExW(HWND_MESSAGE, nullptr, L"KilnExtensionMessages", nullptr);
  if (!extension || !window) {
    std::fputs("steam.ext.dll did not start its window\n", stderr);
    return 1;
  }
  for (int i = 0; i < 1000; ++i) SendMessageW(window, WM_TIMER, 1, 0);  // warm up
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  QueryPerformanceCounter(&start);
  for (int i = 0; i < pumps; ++i) SendMessageW(window, WM_TIMER, 1, 0);
  QueryPerformanceCounter(&end);
  const double microseconds = 1e6 * static_cast<double>(end.QuadPart - start.QuadPart) /
                              static_cast<double>(frequency.QuadPart) / pumps;
  std::printf("steam idle pump: %.2f us per pump (%d pumps; target under 50)\n", microseconds, pumps);
  extension->Destroy();
  return 0;
}

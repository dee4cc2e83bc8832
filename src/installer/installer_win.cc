#include "installer/installer_win.h"

#include <commctrl.h>
#include <process.h>
#include <urlmon.h>

#include "common/dpi.h"
#include "common/text_win.h"
#include "installer/download_progress.h"

namespace kiln {
namespace {

constexpr wchar_t kWindowClass[] = L"WebView2Setup";

// What the download thread is lent. The UI thread reads `outcome` only after
// the thread has ended.
struct DownloadJob {
  std::wstring link;
  std::wstring targetPath;
  HWND progressWindow = nullptr;
  HWND progressBar = nullptr;
  struct {
    HRESULT result = E_FAIL;
    int httpStatus = 0;
  } outcome;
};

// The download's status callback: moves the bar and hears the HTTP status,
// which is the only way to tell a saved error page from the bootstrapper. It
// lives on the download thread's stack, so it is never counted or deleted.
class DownloadProgress : public IBindStatusCallback, public IHttpNegotiate {
 public:
  explicit DownloadProgress(HWND progressBar) : progressBar_(progressBar) {}

  int httpStatus() const { return httpStatus_; }

  STDMETHODIMP QueryInterface(REFIID riid, void** object) override {
    if (!object) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IBindStatusCallback) {
      *object = static_cast<IBindStatusCallback*>(this);
    } else if (riid == IID_IHttpNegotiate) {
      *object = static_cast<IHttpNegotiate*>(this);
    } else {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    return S_OK;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return 1; }
  STDMETHODIMP_(ULONG) Release() override { return 1; }

  STDMETHODIMP OnStartBinding(DWORD, IBinding*) override { return E_NOTIMPL; }
  STDMETHODIMP GetPriority(LONG*) override { return E_NOTIMPL; }
  STDMETHODIMP OnLowResource(DWORD) override { return S_OK; }
  STDMETHODIMP OnProgress(ULONG progress, ULONG progressMax, ULONG, LPCWSTR) override {
    if (const auto position = ProgressPosition(progress, progressMax)) {
      SendMessageW(progressBar_, PBM_SETPOS, static_cast<WPARAM>(*position), 0);
    }
    return S_OK;
  }
  STDMETHODIMP OnStopBinding(HRESULT, LPCWSTR) override { return E_NOTIMPL; }
  STDMETHODIMP GetBindInfo(DWORD*, BINDINFO*) override { return E_NOTIMPL; }
  STDMETHODIMP OnDataAvailable(DWORD, DWORD, FORMATETC*, STGMEDIUM*) override { return E_NOTIMPL; }
  STDMETHODIMP OnObjectAvailable(REFIID, IUnknown*) override { return E_NOTIMPL; }

  STDMETHODIMP BeginningTransaction(LPCWSTR, LPCWSTR, DWORD, LPWSTR* additionalHeaders) override {
    if (additionalHeaders) *additionalHeaders = nullptr;
    return S_OK;
  }
  STDMETHODIMP OnResponse(DWORD responseCode, LPCWSTR, LPCWSTR, LPWSTR* additionalHeaders) override {
    httpStatus_ = static_cast<int>(responseCode);
    if (additionalHeaders) *additionalHeaders = nullptr;
    return S_OK;
  }

 private:
  HWND progressBar_;
  int httpStatus_ = 0;
};

unsigned __stdcall DownloadThread(void* argument) {
  auto* job = static_cast<DownloadJob*>(argument);
  DownloadProgress progress(job->progressBar);
  job->outcome.result =
      URLDownloadToFileW(nullptr, job->link.c_str(), job->targetPath.c_str(), 0, &progress);
  job->outcome.httpStatus = progress.httpStatus();
  SendMessageW(job->progressWindow, WM_CLOSE, 0, 0);
  return 0;
}

LRESULT CALLBACK SetupWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

bool Fail(const wchar_t* text, const std::wstring& title) {
  MessageBoxW(nullptr, text, title.c_str(), MB_OK | MB_ICONERROR);
  return false;
}

void RunMessageLoop() {
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0)) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
}

// Waits for handle while this thread's messages are dispatched: other
// programs (the bootstrapper among them) may send to its windows meanwhile,
// and a thread that does not answer would hold them up.
void WaitServingMessages(HANDLE handle) {
  bool quit = false;
  WPARAM quitCode = 0;
  while (MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;
        quitCode = message.wParam;
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  // A quit meant for the main loop is handed on, not swallowed.
  if (quit) PostQuitMessage(static_cast<int>(quitCode));
}

// True when the program ran to its end and said it succeeded (exit code 0).
bool RunAndWait(const std::wstring& program, const std::wstring& folder) {
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  // Its own quoted path, as argv[0]: programs read their arguments from the
  // second word of the command line on.
  std::wstring commandLine = L"\"" + program + L"\"";
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process)) {
    return false;
  }
  WaitServingMessages(process.hProcess);
  DWORD exitCode = 1;
  GetExitCodeProcess(process.hProcess, &exitCode);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return exitCode == 0;
}

}  // namespace

bool InstallWebView2Runtime(HINSTANCE instance, const std::string& userDataFolder,
                            const AppConfig& config) {
  const std::wstring folder = Utf8ToWide(userDataFolder);
  const std::wstring title = Utf8ToWide(config.title);

  INITCOMMONCONTROLSEX controls = {sizeof(controls), ICC_PROGRESS_CLASS};
  if (!InitCommonControlsEx(&controls)) {
    return Fail(L"Failed to initialize common controls", title);
  }
  // The folder is named as everything else names it, the download, the
  // bootstrapper's working folder and WebView2 alike: in the plain form,
  // which Windows normalises the same way for each of them.
  if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    return Fail(L"Failed to create user data directory", title);
  }

  WNDCLASSEXW windowClass = {};
  windowClass.cbSize = sizeof(windowClass);
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = SetupWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = static_cast<HICON>(config.iconHandle);
  windowClass.hIconSm = static_cast<HICON>(config.iconHandle);
  windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_MENU + 1);
  windowClass.lpszClassName = kWindowClass;
  if (!RegisterClassExW(&windowClass)) {
    return Fail(L"Failed to register window class", title);
  }

  const int width = DpiScale(300);
  const int height = DpiScale(90);
  const int x = GetSystemMetrics(SM_CXSCREEN) / 2 - width / 2;
  const int y = GetSystemMetrics(SM_CYSCREEN) / 2 - height / 2;
  HWND window = CreateWindowExW(0, kWindowClass, Utf8ToWide(config.downloadingMessage).c_str(),
                                WS_VISIBLE | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX, x, y, width,
                                height, nullptr, nullptr, instance, nullptr);
  if (!window) {
    return Fail(L"Failed to create window", title);
  }
  RECT client;
  GetClientRect(window, &client);
  HWND bar = CreateWindowExW(0, PROGRESS_CLASSW, nullptr, WS_CHILD | WS_VISIBLE,
                             client.left + DpiScale(10), client.top + DpiScale(10),
                             client.right - client.left - DpiScale(20),
                             client.bottom - client.top - DpiScale(20), window, nullptr, instance,
                             nullptr);
  SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  SendMessageW(bar, PBM_SETSTEP, 1, 0);

  DownloadJob job;
  job.link = kBootstrapperLink;
  job.targetPath = folder + L"\\Webview2Setup.exe";
  job.progressWindow = window;
  job.progressBar = bar;

  // Whatever lies at the target from an earlier run must never be started in
  // place of a fresh download.
  DeleteFileW(job.targetPath.c_str());
  if (GetFileAttributesW(job.targetPath.c_str()) != INVALID_FILE_ATTRIBUTES) {
    DestroyWindow(window);
    RunMessageLoop();
    return false;
  }

  const uintptr_t thread = _beginthreadex(nullptr, 0, DownloadThread, &job, 0, nullptr);
  if (!thread) {
    DestroyWindow(window);
    RunMessageLoop();  // takes the quit message the window's end posted
    return false;
  }
  RunMessageLoop();
  WaitForSingleObject(reinterpret_cast<HANDLE>(thread), INFINITE);
  CloseHandle(reinterpret_cast<HANDLE>(thread));

  if (!DownloadSucceeded(SUCCEEDED(job.outcome.result), job.outcome.httpStatus)) return false;
  return RunAndWait(job.targetPath, folder);
}

}  // namespace kiln

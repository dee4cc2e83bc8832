#include "webview/webview2/loader_win.h"

#include <objbase.h>

#include <optional>
#include <string>

#include "common/files_win.h"
#include "common/text_win.h"
#include "webview/webview2/co_task_string.h"
#include "webview/webview2/runtime_search.h"

namespace kiln {
namespace {

enum RuntimeType : INT32 { kInstalledRuntime = 0, kFixedRuntime = 1 };

// CreateWebViewEnvironmentWithOptionsInternal, exported by the runtime's
// client DLL. Five arguments of one stack slot each, callee cleans up.
// The first is a flag that every caller sets; it is declared as a 32-bit
// integer and passed as 1 so the whole slot is defined: a callee that reads
// it as a C++ bool sees true in the low byte, one that reads a BOOL sees TRUE.
using CreateEnvironmentInternal = HRESULT(STDMETHODCALLTYPE*)(
    INT32 flag, INT32 runtimeType, PCWSTR userDataFolder,
    ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler);

constexpr HRESULT kRuntimeNotFound = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);

// Client DLLs are per process architecture; the folder is fixed at build time.
#if defined(_M_ARM64) || defined(__aarch64__)
constexpr char kClientDllArch[] = "arm64";
#elif defined(_WIN64)
constexpr char kClientDllArch[] = "x64";
#else
constexpr char kClientDllArch[] = "x86";
#endif

// A null or empty folder asks for an installed runtime.
RuntimeRequest RequestFor(PCWSTR browserExecutableFolder) {
  const std::string& exe = GetExecutablePath();
  const size_t slash = exe.rfind('\\');
  RuntimeRequest request;
  request.browserFolder = WideToUtf8(browserExecutableFolder);
  request.exeFolder = slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
  request.arch = kClientDllArch;
  return request;
}

// A failed call must never read as success, even if Windows left no code.
HRESULT LastErrorResult() {
  const DWORD error = GetLastError();
  return error == ERROR_SUCCESS ? E_FAIL : HRESULT_FROM_WIN32(error);
}

}  // namespace

HRESULT CreateCoreWebView2EnvironmentWithOptions(
    PCWSTR browserExecutableFolder, PCWSTR userDataFolder,
    ICoreWebView2EnvironmentOptions* environmentOptions,
    ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* environmentCreatedHandler) {
  if (!environmentCreatedHandler) return E_POINTER;
  SystemRuntimeProbe probe;
  const std::optional<RuntimeLocation> runtime =
      FindRuntime(RequestFor(browserExecutableFolder), probe);
  if (!runtime) return kRuntimeNotFound;

  // The plain path, not the "\\?\" form: the runtime finds its own files from
  // its module path and must see an ordinary one. Loading with the altered
  // search path lets the DLL's dependencies come from its own folder. The DLL
  // is never freed: the environment and its callbacks live in it, and nothing
  // tells us reliably when the last of them is gone.
  const HMODULE client = LoadLibraryExW(Utf8ToWide(runtime->clientDll).c_str(), nullptr,
                                        LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!client) return LastErrorResult();
  const FARPROC entry = GetProcAddress(client, "CreateWebViewEnvironmentWithOptionsInternal");
  if (!entry) return LastErrorResult();
  const auto create = reinterpret_cast<CreateEnvironmentInternal>(
      reinterpret_cast<void (*)()>(entry));
  return create(1, runtime->isFixed ? kFixedRuntime : kInstalledRuntime, userDataFolder,
                environmentOptions, environmentCreatedHandler);
}

HRESULT GetAvailableCoreWebView2BrowserVersionString(PCWSTR browserExecutableFolder,
                                                     LPWSTR* versionInfo) {
  if (!versionInfo) return E_POINTER;
  *versionInfo = nullptr;
  SystemRuntimeProbe probe;
  const std::string version = AvailableRuntimeVersion(RequestFor(browserExecutableFolder), probe);
  if (version.empty()) return kRuntimeNotFound;
  *versionInfo = CoTaskCopy(Utf8ToWide(version));
  return *versionInfo ? S_OK : E_OUTOFMEMORY;
}

}  // namespace kiln

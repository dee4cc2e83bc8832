// Where the runtime lies on this machine: the registry entries of installed
// runtimes and the files of a runtime folder.
#pragma once

#include <optional>
#include <string>

namespace kiln {

// Client DLLs are per process architecture; the folder is fixed at build time.
#if defined(_M_ARM64) || defined(__aarch64__)
inline constexpr wchar_t kClientDllArch[] = L"arm64";
#elif defined(_WIN64)
inline constexpr wchar_t kClientDllArch[] = L"x64";
#else
inline constexpr wchar_t kClientDllArch[] = L"x86";
#endif

struct RuntimeLocation {
  std::wstring clientDll;  // full path, without "\\?\"
  bool isFixed = false;
  std::wstring version;  // installed runtimes only: folder name and channel suffix
};

// The first usable installed runtime: channels from most to least stable,
// machine-wide before per-user registration within a channel.
std::optional<RuntimeLocation> FindInstalledRuntime();

// The fixed runtime in `folder` (resolved against the executable's folder),
// when its client DLL is there.
std::optional<RuntimeLocation> FindFixedRuntime(const std::wstring& folder);

// "\StringFileInfo\040904B0\ProductVersion" of a DLL; empty when it has none.
std::wstring ReadProductVersion(const std::wstring& dllPath);

}  // namespace kiln

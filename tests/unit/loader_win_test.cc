#include "webview/webview2/loader_win.h"

#include <gtest/gtest.h>
#include <objbase.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fake_client/fake_client.h"

namespace kiln {
namespace {

namespace fs = std::filesystem;

#ifdef _WIN64
constexpr wchar_t kArch[] = L"x64";
#else
constexpr wchar_t kArch[] = L"x86";
#endif

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x80070002);

enum Channel { kRuntime, kBeta, kDev, kCanary };
constexpr const wchar_t* kChannelKeys[] = {
    L"Software\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}",
    L"Software\\Microsoft\\EdgeUpdate\\ClientState\\{2CD8A007-E189-409D-A2C8-9AF4EF3C72AA}",
    L"Software\\Microsoft\\EdgeUpdate\\ClientState\\{0D50BFEC-CD6A-4F9A-964C-C7416E3ACB10}",
    L"Software\\Microsoft\\EdgeUpdate\\ClientState\\{65C35B14-6C1D-4122-AC46-7148CC9D6497}",
};
constexpr wchar_t kEdgeUpdateKey[] = L"Software\\Microsoft\\EdgeUpdate";
const HKEY kHives[] = {HKEY_LOCAL_MACHINE, HKEY_CURRENT_USER};
// EdgeUpdate registers in the 32-bit registry view; so do the tests.
constexpr REGSAM kView = KEY_WOW64_32KEY;

fs::path ExeFolder() {
  std::vector<wchar_t> buffer(32768);
  GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
  return fs::path(buffer.data()).parent_path();
}

std::wstring UniqueName(const wchar_t* stem) {
  static int counter = 0;
  return stem + std::to_wstring(GetCurrentProcessId()) + L"_" + std::to_wstring(++counter);
}

// Takes every channel's registration out of the way for one test and puts
// back whatever was there before.
class RegistryScope {
 public:
  RegistryScope() {
    for (HKEY hive : kHives) {
      HKEY root = nullptr;
      if (RegOpenKeyExW(hive, kEdgeUpdateKey, 0, KEY_READ | kView, &root) == ERROR_SUCCESS) {
        RegCloseKey(root);
      } else {
        createdRoots_.push_back(hive);
      }
      for (const wchar_t* path : kChannelKeys) {
        Saved saved{hive, path, false, false, {}};
        HKEY key = nullptr;
        if (RegOpenKeyExW(hive, path, 0, KEY_QUERY_VALUE | KEY_SET_VALUE | kView, &key) ==
            ERROR_SUCCESS) {
          saved.keyExisted = true;
          DWORD bytes = 0;
          if (RegGetValueW(key, nullptr, L"EBWebView", RRF_RT_REG_SZ, nullptr, nullptr, &bytes) ==
              ERROR_SUCCESS) {
            saved.value.resize(bytes / sizeof(wchar_t) + 1);
            bytes = static_cast<DWORD>(saved.value.size() * sizeof(wchar_t));
            saved.valueExisted = RegGetValueW(key, nullptr, L"EBWebView", RRF_RT_REG_SZ, nullptr,
                                              saved.value.data(), &bytes) == ERROR_SUCCESS;
            saved.value.resize(wcslen(saved.value.c_str()));
          }
          RegDeleteValueW(key, L"EBWebView");
          RegCloseKey(key);
        }
        saved_.push_back(saved);
      }
    }
  }

  ~RegistryScope() {
    for (const Saved& saved : saved_) {
      if (!saved.keyExisted) {
        RegDeleteKeyExW(saved.hive, saved.path, kView, 0);
        continue;
      }
      HKEY key = nullptr;
      if (RegOpenKeyExW(saved.hive, saved.path, 0, KEY_SET_VALUE | kView, &key) != ERROR_SUCCESS) {
        continue;
      }
      if (saved.valueExisted) {
        Write(key, L"EBWebView", saved.value);
      } else {
        RegDeleteValueW(key, L"EBWebView");
      }
      RegCloseKey(key);
    }
    for (HKEY hive : createdRoots_) {
      HKEY parent = nullptr;
      if (RegOpenKeyExW(hive, L"Software\\Microsoft", 0, KEY_ALL_ACCESS | kView, &parent) ==
          ERROR_SUCCESS) {
        RegDeleteTreeW(parent, L"EdgeUpdate");
        RegCloseKey(parent);
      }
    }
  }

  void Register(HKEY hive, Channel channel, const fs::path& folder) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(hive, kChannelKeys[channel], 0, nullptr, 0, KEY_SET_VALUE | kView,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    Write(key, L"EBWebView", folder.wstring());
    RegCloseKey(key);
  }

 private:
  struct Saved {
    HKEY hive;
    const wchar_t* path;
    bool keyExisted;
    bool valueExisted;
    std::wstring value;
  };

  static void Write(HKEY key, const wchar_t* name, const std::wstring& value) {
    RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  }

  std::vector<Saved> saved_;
  std::vector<HKEY> createdRoots_;  // hives that had no EdgeUpdate key at all
};

class LoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::vector<wchar_t> current(32768);
    GetCurrentDirectoryW(static_cast<DWORD>(current.size()), current.data());
    savedCurrentDirectory_ = current.data();
    temp_ = fs::temp_directory_path() / UniqueName(L"kiln_loader_");
    fs::create_directories(temp_);
  }

  void TearDown() override {
    SetCurrentDirectoryW(savedCurrentDirectory_.c_str());
    // The loader never frees a client DLL; the test does, so its folders can go.
    for (const fs::path& dll : clients_) {
      while (HMODULE module = GetModuleHandleW(dll.c_str())) FreeLibrary(module);
    }
    std::error_code ignored;
    for (const fs::path& folder : foldersToRemove_) fs::remove_all(folder, ignored);
    fs::remove_all(temp_, ignored);
  }

  // Copies a fake client into <runtimeFolder>\EBWebView\<arch>\.
  fs::path InstallClient(const fs::path& runtimeFolder,
                         const wchar_t* variant = L"fake_webview2_client.dll") {
    const fs::path dll = ClientPath(runtimeFolder);
    fs::create_directories(dll.parent_path());
    fs::copy_file(ExeFolder() / variant, dll, fs::copy_options::overwrite_existing);
    clients_.push_back(dll);
    return dll;
  }

  static fs::path ClientPath(const fs::path& runtimeFolder) {
    return runtimeFolder / L"EBWebView" / kArch / L"EmbeddedBrowserWebView.dll";
  }

  // A folder beside the test executable, named relative to it.
  std::wstring MakeExeRelativeFolder() {
    const std::wstring name = UniqueName(L"kiln_fixed_");
    foldersToRemove_.push_back(ExeFolder() / name);
    return name;
  }

  fs::path temp_;

 private:
  std::wstring savedCurrentDirectory_;
  std::vector<fs::path> clients_;
  std::vector<fs::path> foldersToRemove_;
};

// The version string and result, freeing the string.
struct VersionResult {
  HRESULT result;
  bool isNull;
  std::wstring text;
};

VersionResult VersionFor(const wchar_t* folder) {
  LPWSTR version = reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(0x1234));  // must be reset
  VersionResult answer;
  answer.result = GetAvailableCoreWebView2BrowserVersionString(folder, &version);
  answer.isNull = version == nullptr;
  if (version) {
    answer.text = version;
    CoTaskMemFree(version);
  }
  return answer;
}

const FakeClientCall* CallSeenBy(const fs::path& dll) {
  const HMODULE module = GetModuleHandleW(dll.c_str());
  if (!module) return nullptr;
  const auto lastCall = reinterpret_cast<FakeClientLastCallFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "FakeClientLastCall")));
  return lastCall ? lastCall() : nullptr;
}

bool IsLoaded(const fs::path& dll) { return GetModuleHandleW(dll.c_str()) != nullptr; }

// Stand-ins for the COM objects; the fake client only records their addresses.
struct Objects {
  int options = 0;
  int handler = 0;
  ICoreWebView2EnvironmentOptions* Options() {
    return reinterpret_cast<ICoreWebView2EnvironmentOptions*>(&options);
  }
  ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler* Handler() {
    return reinterpret_cast<ICoreWebView2CreateCoreWebView2EnvironmentCompletedHandler*>(&handler);
  }
};

TEST_F(LoaderTest, FixedFolderIsTakenFromTheExecutableFolderNotTheCurrentDirectory) {
  const std::wstring name = MakeExeRelativeFolder();
  const fs::path client = InstallClient(ExeFolder() / name);
  // The same relative folder under the current directory must be ignored.
  const fs::path decoy = InstallClient(temp_ / name);
  ASSERT_TRUE(SetCurrentDirectoryW(temp_.c_str()));

  const VersionResult version = VersionFor(name.c_str());
  EXPECT_EQ(version.result, S_OK);
  EXPECT_EQ(version.text, kFakeClientProductVersion);

  Objects objects;
  const wchar_t userDataFolder[] = L"C:\\Users\\Someone\\AppData\\Local\\Game";
  EXPECT_EQ(CreateCoreWebView2EnvironmentWithOptions(name.c_str(), userDataFolder,
                                                     objects.Options(), objects.Handler()),
            kFakeClientDefaultResult);
  // Still loaded after the call: the loader never frees the client.
  const FakeClientCall* call = CallSeenBy(client);
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call->count, 1);
  EXPECT_EQ(call->flag, 1);
  EXPECT_EQ(call->runtimeType, 1);
  EXPECT_EQ(call->userDataFolder, userDataFolder);
  EXPECT_EQ(call->environmentOptions, objects.Options());
  EXPECT_EQ(call->environmentCreatedHandler, objects.Handler());
  EXPECT_FALSE(IsLoaded(decoy));
}

TEST_F(LoaderTest, FixedFolderMayBeAbsoluteAndNeedsItsClientDll) {
  const fs::path runtime = temp_ / L"fixed runtime";
  InstallClient(runtime);
  VersionResult version = VersionFor(runtime.c_str());
  EXPECT_EQ(version.result, S_OK);
  EXPECT_EQ(version.text, kFakeClientProductVersion);

  const fs::path empty = temp_ / L"empty runtime";
  fs::create_directories(empty / L"EBWebView" / kArch);
  version = VersionFor(empty.c_str());
  EXPECT_EQ(version.result, kNotFound);
  EXPECT_TRUE(version.isNull);
}

// The search's rules are tested natively over an in-memory registry; this
// shows the real registry, read in the view EdgeUpdate writes, feeding them.
TEST_F(LoaderTest, InstalledRuntimeIsFoundThroughTheRealRegistry) {
  RegistryScope registry;
  VersionResult version = VersionFor(nullptr);
  EXPECT_EQ(version.result, kNotFound);
  EXPECT_TRUE(version.isNull);
  registry.Register(HKEY_CURRENT_USER, kRuntime, temp_ / L"missing" / L"121.0.2277.83");
  version = VersionFor(nullptr);
  EXPECT_EQ(version.result, kNotFound);
  EXPECT_TRUE(version.isNull);
  Objects objects;
  EXPECT_EQ(CreateCoreWebView2EnvironmentWithOptions(nullptr, nullptr, objects.Options(),
                                                     objects.Handler()),
            kNotFound);

  // The folder name is the version, not the DLL's own ProductVersion.
  const fs::path runtime = temp_ / L"Application" / L"121.0.2277.83";
  const fs::path client = InstallClient(runtime);
  registry.Register(HKEY_CURRENT_USER, kRuntime, runtime);

  // A missing fixed folder does not fall back to the installed runtime.
  const std::wstring name = MakeExeRelativeFolder();
  InstallClient(temp_ / name);  // only under the current directory
  ASSERT_TRUE(SetCurrentDirectoryW(temp_.c_str()));
  version = VersionFor(name.c_str());
  EXPECT_EQ(version.result, kNotFound);
  EXPECT_TRUE(version.isNull);
  EXPECT_EQ(CreateCoreWebView2EnvironmentWithOptions(name.c_str(), nullptr, objects.Options(),
                                                     objects.Handler()),
            kNotFound);
  EXPECT_FALSE(IsLoaded(client));

  for (const wchar_t* evergreen : {static_cast<const wchar_t*>(nullptr), L""}) {
    version = VersionFor(evergreen);
    EXPECT_EQ(version.result, S_OK);
    EXPECT_EQ(version.text, L"121.0.2277.83");
  }
  EXPECT_EQ(CreateCoreWebView2EnvironmentWithOptions(nullptr, nullptr, nullptr, objects.Handler()),
            kFakeClientDefaultResult);
  const FakeClientCall* call = CallSeenBy(client);
  ASSERT_NE(call, nullptr);
  EXPECT_EQ(call->flag, 1);
  EXPECT_EQ(call->runtimeType, 0);
  EXPECT_EQ(call->userDataFolder, nullptr);
  EXPECT_EQ(call->environmentOptions, nullptr);
  EXPECT_EQ(call->environmentCreatedHandler, objects.Handler());
}

TEST_F(LoaderTest, NullPointersAreRefusedBeforeAnythingIsLoaded) {
  const fs::path runtime = temp_ / L"fixed";
  const fs::path client = InstallClient(runtime);
  Objects objects;
  EXPECT_EQ(CreateCoreWebView2EnvironmentWithOptions(runtime.c_str(), nullptr, objects.Options(),
                                                     nullptr),
            E_POINTER);
  EXPECT_FALSE(IsLoaded(client));
  EXPECT_EQ(GetAvailableCoreWebView2BrowserVersionString(runtime.c_str(), nullptr), E_POINTER);
}

TEST_F(LoaderTest, ReturnsWhatTheClientReturns) {
  const fs::path runtime = temp_ / L"fixed";
  const fs::path client = InstallClient(runtime);
  // The test's own reference sets up the fake before the loader finds it.
  const HMODULE module = LoadLibraryW(client.c_str());
  ASSERT_NE(module, nullptr);
  const auto setResult = reinterpret_cast<FakeClientSetResultFn>(
      reinterpret_cast<void (*)()>(GetProcAddress(module, "FakeClientSetResult")));
  ASSERT_NE(setResult, nullptr);
  setResult(HRESULT_FROM_WIN32(ERROR_INVALID_STATE));

  Objects objects;
  EXPECT_EQ(CreateCoreWebView2EnvironmentWithOptions(runtime.c_str(), nullptr, objects.Options(),
                                                     objects.Handler()),
            HRESULT_FROM_WIN32(ERROR_INVALID_STATE));
  EXPECT_EQ(CallSeenBy(client)->count, 1);
}

TEST_F(LoaderTest, ClientThatCannotBeUsedGivesTheWindowsError) {
  const fs::path noEntry = temp_ / L"no entry";
  InstallClient(noEntry, L"fake_webview2_client_no_entry.dll");
  Objects objects;
  EXPECT_EQ(CreateCoreWebView2EnvironmentWithOptions(noEntry.c_str(), nullptr, objects.Options(),
                                                     objects.Handler()),
            HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND));

  const fs::path junk = temp_ / L"junk";
  fs::create_directories(ClientPath(junk).parent_path());
  std::ofstream(ClientPath(junk), std::ios::binary) << "not a DLL";
  const HRESULT result = CreateCoreWebView2EnvironmentWithOptions(junk.c_str(), nullptr,
                                                                  objects.Options(),
                                                                  objects.Handler());
  EXPECT_EQ(HRESULT_FACILITY(result), FACILITY_WIN32);
  EXPECT_TRUE(FAILED(result));
}

}  // namespace
}  // namespace kiln

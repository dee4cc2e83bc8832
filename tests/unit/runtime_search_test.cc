#include "webview/webview2/runtime_search.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <tuple>
#include <vector>

namespace kiln {
namespace {

constexpr RegistryHive kMachine = RegistryHive::LocalMachine;
constexpr RegistryHive kUser = RegistryHive::CurrentUser;

// EdgeUpdate's keys, written out here so that a wrong GUID in the product
// cannot agree with itself.
constexpr const char* kRuntimeKey =
    "Software\\Microsoft\\EdgeUpdate\\ClientState\\{F3017226-FE2A-4295-8BDF-00C3A9A7E4C5}";
constexpr const char* kBetaKey =
    "Software\\Microsoft\\EdgeUpdate\\ClientState\\{2CD8A007-E189-409D-A2C8-9AF4EF3C72AA}";
constexpr const char* kDevKey =
    "Software\\Microsoft\\EdgeUpdate\\ClientState\\{0D50BFEC-CD6A-4F9A-964C-C7416E3ACB10}";
constexpr const char* kCanaryKey =
    "Software\\Microsoft\\EdgeUpdate\\ClientState\\{65C35B14-6C1D-4122-AC46-7148CC9D6497}";
// A channel some loaders know and Kiln does not search.
constexpr const char* kInternalKey =
    "Software\\Microsoft\\EdgeUpdate\\ClientState\\{BE59E8FD-089A-411B-A3B0-051D9E417818}";

constexpr char kExeFolder[] = "C:\\Games\\Tiny App\\";

std::string ClientOf(const std::string& runtimeFolder, const std::string& arch = "x86") {
  return runtimeFolder + "\\EBWebView\\" + arch + "\\EmbeddedBrowserWebView.dll";
}

// An in-memory machine: registry strings, files and the ProductVersion of
// DLLs. It records which DLLs' versions were read.
class FakeRuntimeProbe : public RuntimeProbe {
 public:
  // The "EBWebView" value of a channel's key.
  FakeRuntimeProbe& Register(RegistryHive hive, const char* key, const std::string& folder) {
    registry_[{hive, key, "EBWebView"}] = folder;
    return *this;
  }
  FakeRuntimeProbe& File(const std::string& path, const std::string& productVersion = "") {
    files_.insert(path);
    productVersions_[path] = productVersion;
    return *this;
  }
  // A runtime folder with its client DLL, registered in one channel.
  FakeRuntimeProbe& Install(RegistryHive hive, const char* key, const std::string& folder) {
    return Register(hive, key, folder).File(ClientOf(folder));
  }

  std::string RegistryText(RegistryHive hive, const std::string& keyPath,
                           const std::string& name) override {
    const auto found = registry_.find({hive, keyPath, name});
    return found == registry_.end() ? std::string() : found->second;
  }
  bool IsFile(const std::string& path) override { return files_.count(path) > 0; }
  std::string ProductVersion(const std::string& dllPath) override {
    versionsRead.push_back(dllPath);
    const auto found = productVersions_.find(dllPath);
    return found == productVersions_.end() ? std::string() : found->second;
  }

  std::vector<std::string> versionsRead;

 private:
  std::map<std::tuple<RegistryHive, std::string, std::string>, std::string> registry_;
  std::set<std::string> files_;
  std::map<std::string, std::string> productVersions_;
};

RuntimeRequest Installed(const std::string& arch = "x86") { return {"", kExeFolder, arch}; }

RuntimeRequest Fixed(const std::string& folder, const std::string& exeFolder = kExeFolder,
                     const std::string& arch = "x86") {
  return {folder, exeFolder, arch};
}

TEST(RuntimeSearchTest, FindsAnInstalledRuntimeByItsFolderName) {
  // The folder name is the version, not the DLL's own ProductVersion.
  const std::string folder = "C:\\Users\\Someone\\AppData\\Local\\Application\\121.0.2277.83";
  FakeRuntimeProbe probe;
  probe.Register(kUser, kRuntimeKey, folder).File(ClientOf(folder), "120.0.2210.91");

  const std::optional<RuntimeLocation> runtime = FindRuntime(Installed(), probe);
  ASSERT_TRUE(runtime);
  EXPECT_EQ(runtime->clientDll, ClientOf(folder));
  EXPECT_FALSE(runtime->isFixed);
  EXPECT_EQ(AvailableRuntimeVersion(Installed(), probe), "121.0.2277.83");
  EXPECT_TRUE(probe.versionsRead.empty());
}

// A runtime of each channel, its folder name and the version string it gives.
struct ChannelRuntime {
  const char* key;
  const char* folderName;
  const char* version;
};
constexpr ChannelRuntime kChannelRuntimes[] = {
    {kRuntimeKey, "131.0.2903.146", "131.0.2903.146"},
    {kBetaKey, "86.0.622.11", "86.0.622.11 beta"},
    {kDevKey, "87.0.654.0", "87.0.654.0 dev"},
    {kCanaryKey, "87.0.658.0", "87.0.658.0 canary"},
};

TEST(RuntimeSearchTest, ChannelsRunFromRuntimeToCanaryWithTheirSuffixes) {
  for (const ChannelRuntime& channel : kChannelRuntimes) {
    for (RegistryHive hive : {kMachine, kUser}) {
      FakeRuntimeProbe probe;
      probe.Install(hive, channel.key, std::string("C:\\Edge\\") + channel.folderName);
      const std::optional<RuntimeLocation> runtime = FindRuntime(Installed(), probe);
      ASSERT_TRUE(runtime) << channel.key;
      EXPECT_FALSE(runtime->isFixed) << "a preview channel still counts as installed";
      EXPECT_EQ(AvailableRuntimeVersion(Installed(), probe), channel.version);
    }
  }
  // Only those four channels are searched.
  FakeRuntimeProbe probe;
  probe.Install(kMachine, kInternalKey, "C:\\Edge\\131.0.2903.146");
  EXPECT_FALSE(FindRuntime(Installed(), probe));
}

TEST(RuntimeSearchTest, MachineRegistrationComesBeforeTheUserOneAndRuntimeBeforeBeta) {
  const std::string machine = "C:\\machine\\121.0.2277.83";
  const std::string user = "C:\\user\\122.0.2365.59";
  const std::string beta = "C:\\beta\\123.0.2420.10";
  FakeRuntimeProbe probe;
  probe.Install(kUser, kRuntimeKey, user).Install(kMachine, kBetaKey, beta);
  probe.Install(kMachine, kRuntimeKey, machine);
  EXPECT_EQ(FindRuntime(Installed(), probe)->clientDll, ClientOf(machine));
  EXPECT_EQ(AvailableRuntimeVersion(Installed(), probe), "121.0.2277.83");

  // Without the machine-wide runtime the user's runtime still beats a newer Beta.
  probe.Register(kMachine, kRuntimeKey, "C:\\gone\\121.0.2277.83");
  EXPECT_EQ(FindRuntime(Installed(), probe)->clientDll, ClientOf(user));
  EXPECT_EQ(AvailableRuntimeVersion(Installed(), probe), "122.0.2365.59");
}

TEST(RuntimeSearchTest, SkipsRuntimesTooOldWithoutClientOrWithoutVersionName) {
  FakeRuntimeProbe probe;
  probe.Install(kMachine, kRuntimeKey, "C:\\rt\\86.0.615.99");
  probe.Register(kUser, kRuntimeKey, "C:\\rt\\130.0.2849.80");  // no client DLL
  probe.Install(kMachine, kBetaKey, "C:\\rt\\Application");
  probe.Install(kUser, kBetaKey, "C:\\rt\\86.0.616.0");
  const std::optional<RuntimeLocation> runtime = FindRuntime(Installed(), probe);
  ASSERT_TRUE(runtime);
  EXPECT_EQ(runtime->clientDll, ClientOf("C:\\rt\\86.0.616.0"));
  EXPECT_FALSE(runtime->isFixed);
  EXPECT_EQ(AvailableRuntimeVersion(Installed(), probe), "86.0.616.0 beta");
}

TEST(RuntimeSearchTest, VersionStringNamesThePreviewChannel) {
  FakeRuntimeProbe probe;
  probe.Install(kUser, kDevKey, "C:\\rt\\125.0.2518.0");
  EXPECT_EQ(AvailableRuntimeVersion(Installed(), probe), "125.0.2518.0 dev");

  // A trailing backslash in the registration does not hide the version.
  probe.Register(kMachine, kCanaryKey, "C:\\rt\\126.0.2540.0\\");
  probe.File(ClientOf("C:\\rt\\126.0.2540.0"));
  probe.Register(kUser, kDevKey, "C:\\missing\\125.0.2518.0");
  EXPECT_EQ(AvailableRuntimeVersion(Installed(), probe), "126.0.2540.0 canary");
}

TEST(RuntimeSearchTest, NothingInstalledFindsNothing) {
  FakeRuntimeProbe probe;
  EXPECT_FALSE(FindRuntime(Installed(), probe));
  EXPECT_EQ(AvailableRuntimeVersion(Installed(), probe), "");

  probe.Register(kUser, kRuntimeKey, "C:\\missing\\121.0.2277.83");
  EXPECT_FALSE(FindRuntime(Installed(), probe));
  EXPECT_EQ(AvailableRuntimeVersion(Installed(), probe), "");

  // A registration under another value name is not the runtime's.
  FakeRuntimeProbe elsewhere;
  elsewhere.File(ClientOf("C:\\rt\\121.0.2277.83"));
  EXPECT_FALSE(FindRuntime(Installed(), elsewhere));
}

// Which registered folder names count as versions, and which versions are
// new enough: four numeric parts compared as numbers, from 86.0.616.0 on.
TEST(RuntimeSearchTest, OnlyFourPartVersionsFrom86_0_616_0AreUsed) {
  const struct {
    const char* name;
    bool used;
  } kNames[] = {
      {"131.0.2903.146", true},
      {"4294967295.007.0.0", true},
      {"86.0.616.0", true},
      {"86.0.616.1", true},
      {"86.1.0.0", true},
      {"131.0.0.0", true},
      // Leading zeros do not change the number.
      {"0086.000.0616.0000", true},
      {"0086.000.0615.9999", false},
      // As text these would sort before 86.0.616.0.
      {"86.0.1000.0", true},
      {"100.0.0.0", true},
      {"86.0.615.9999", false},
      {"85.999.9999.9999", false},
      {"0.0.0.0", false},
      {"131", false},
      {"131.0.2903", false},
      {"131.0.2903.146.1", false},
      {"131.0.2903.146 beta", false},
      {"131..2903.146", false},
      {".0.2903.146", false},
      {"131.0.2903.", false},
      {"131.0.2903.14a", false},
      {"131.0.-1.0", false},
      {"+131.0.2903.146", false},
      {" 131.0.2903.146", false},
      {"131,0,2903,146", false},
      {"4294967296.0.0.0", false},
      {"99999999999999999999.0.0.0", false},
      {"\xEF\xBC\x91.0.0.0", false},  // a full-width digit one
      {"Application", false},
  };
  for (const auto& row : kNames) {
    const std::string folder = std::string("C:\\Edge\\") + row.name;
    FakeRuntimeProbe probe;
    probe.Install(kMachine, kRuntimeKey, folder);
    const std::optional<RuntimeLocation> runtime = FindRuntime(Installed(), probe);
    EXPECT_EQ(runtime.has_value(), row.used) << row.name;
    EXPECT_EQ(AvailableRuntimeVersion(Installed(), probe), row.used ? row.name : "") << row.name;
    EXPECT_EQ(IsSupportedRuntimeVersion(row.name), row.used) << row.name;
  }
}

TEST(RuntimeSearchTest, OlderVersionsAreStillVersions) {
  for (const char* text : {"0.0.0.0", "85.999.9999.9999", "86.0.616.0", kMinimumRuntimeVersion}) {
    EXPECT_TRUE(IsRuntimeVersion(text)) << text;
  }
  for (const char* text : {"", "131.0.2903", "131.0.2903.146 beta", "v131.0.2903.146"}) {
    EXPECT_FALSE(IsRuntimeVersion(text)) << text;
  }
}

// The version is the last component of the registered folder.
TEST(RuntimeSearchTest, TakesTheVersionFromTheLastComponentOfTheFolder) {
  const struct {
    const char* registered;
    const char* runtimeFolder;  // where the client DLL is looked for
    const char* version;        // empty when the registration is not used
  } kFolders[] = {
      {"C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\131.0.2903.146",
       "C:\\Program Files (x86)\\Microsoft\\EdgeWebView\\Application\\131.0.2903.146",
       "131.0.2903.146"},
      {"C:\\Edge\\131.0.2903.146\\\\", "C:\\Edge\\131.0.2903.146", "131.0.2903.146"},
      {"C:/Edge/131.0.2903.146/", "C:\\Edge\\131.0.2903.146", "131.0.2903.146"},
      {"131.0.2903.146", "131.0.2903.146", "131.0.2903.146"},
      {"C:\\", "C:", ""},  // the name "C:"
      {"\\\\", "", ""},    // no name at all
      {"", "", ""},        // an empty value is none
  };
  for (const auto& row : kFolders) {
    FakeRuntimeProbe probe;
    probe.Register(kMachine, kRuntimeKey, row.registered).File(ClientOf(row.runtimeFolder));
    const std::optional<RuntimeLocation> runtime = FindRuntime(Installed(), probe);
    ASSERT_EQ(runtime.has_value(), *row.version != '\0') << row.registered;
    if (runtime) {
      EXPECT_EQ(runtime->clientDll, ClientOf(row.runtimeFolder)) << row.registered;
    }
    EXPECT_EQ(AvailableRuntimeVersion(Installed(), probe), row.version) << row.registered;
  }
}

TEST(RuntimeSearchTest, ClientDllLiesInTheArchitectureFolder) {
  FakeRuntimeProbe probe;
  probe.Register(kMachine, kRuntimeKey, "C:/Edge/131.0.2903.146//");
  probe.File(ClientOf("C:\\Edge\\131.0.2903.146", "x64"));
  EXPECT_FALSE(FindRuntime(Installed("x86"), probe));
  EXPECT_EQ(FindRuntime(Installed("x64"), probe)->clientDll,
            "C:\\Edge\\131.0.2903.146\\EBWebView\\x64\\EmbeddedBrowserWebView.dll");
  EXPECT_EQ(FindRuntime(Fixed("C:/Edge/131.0.2903.146//", kExeFolder, "x64"), probe)->clientDll,
            "C:\\Edge\\131.0.2903.146\\EBWebView\\x64\\EmbeddedBrowserWebView.dll");
}

TEST(RuntimeSearchTest, RelativeFixedFoldersJoinTheExecutableFolder) {
  const struct {
    const char* folder;
    const char* exeFolder;
    const char* runtimeFolder;
  } kFolders[] = {
      {"webview2", kExeFolder, "C:\\Games\\Tiny App\\webview2"},
      {"webview2", "C:\\Games\\Tiny App", "C:\\Games\\Tiny App\\webview2"},
      {"rt\\x", "C:\\", "C:\\rt\\x"},
      // Forms that Windows would read against the current drive or directory
      // stay under the executable's folder.
      {"\\webview2", kExeFolder, "C:\\Games\\Tiny App\\webview2"},
      {"D:webview2", kExeFolder, "C:\\Games\\Tiny App\\D:webview2"},
      {".\\webview2", kExeFolder, "C:\\Games\\Tiny App\\.\\webview2"},
      // Drive paths and network paths stand as they are.
      {"D:\\Runtimes\\120", kExeFolder, "D:\\Runtimes\\120"},
      {"d:/runtimes/120", kExeFolder, "d:\\runtimes\\120"},
      {"D:\\", kExeFolder, "D:"},
      {"\\\\server\\share\\rt", kExeFolder, "\\\\server\\share\\rt"},
      {"//server/share/rt", kExeFolder, "\\\\server\\share\\rt"},
      {"\\\\?\\D:\\Runtimes\\120", kExeFolder, "\\\\?\\D:\\Runtimes\\120"},
  };
  for (const auto& row : kFolders) {
    FakeRuntimeProbe probe;
    probe.File(ClientOf(row.runtimeFolder), "120.0.2210.91");
    const std::optional<RuntimeLocation> runtime =
        FindRuntime(Fixed(row.folder, row.exeFolder), probe);
    ASSERT_TRUE(runtime) << row.folder << " from " << row.exeFolder;
    EXPECT_EQ(runtime->clientDll, ClientOf(row.runtimeFolder));
    EXPECT_TRUE(runtime->isFixed);
  }
}

TEST(RuntimeSearchTest, FixedRuntimeReportsItsClientDllProductVersion) {
  const std::string client = ClientOf("C:\\Games\\Tiny App\\webview2");
  FakeRuntimeProbe probe;
  // Even a Canary folder gets no channel suffix.
  probe.File(client, "116.0.1903.0")
      .Register(kMachine, kCanaryKey, "C:\\Games\\Tiny App\\webview2");

  // Finding the runtime to load it does not read its version.
  EXPECT_TRUE(FindRuntime(Fixed("webview2"), probe));
  EXPECT_TRUE(probe.versionsRead.empty());
  EXPECT_EQ(AvailableRuntimeVersion(Fixed("webview2"), probe), "116.0.1903.0");
  EXPECT_EQ(probe.versionsRead, std::vector<std::string>{client});

  // A client DLL without a version reports no runtime at all.
  FakeRuntimeProbe unversioned;
  unversioned.File(client);
  EXPECT_TRUE(FindRuntime(Fixed("webview2"), unversioned));
  EXPECT_EQ(AvailableRuntimeVersion(Fixed("webview2"), unversioned), "");
}

TEST(RuntimeSearchTest, MissingFixedRuntimeFailsWithoutFallingBackToAnInstalledRuntime) {
  FakeRuntimeProbe probe;
  probe.Install(kUser, kRuntimeKey, "C:\\rt\\121.0.2277.83");
  // The folder is there but holds no client DLL.
  probe.File("C:\\Games\\Tiny App\\webview2\\EBWebView\\x86\\other.dll");
  EXPECT_FALSE(FindRuntime(Fixed("webview2"), probe));
  EXPECT_EQ(AvailableRuntimeVersion(Fixed("webview2"), probe), "");
  EXPECT_TRUE(probe.versionsRead.empty());
}

}  // namespace
}  // namespace kiln

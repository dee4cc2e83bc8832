#include "extensions/extension_lifecycle.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "extension_fakes.h"
#include "extensions/module_loader.h"

namespace kiln {
namespace {

using testing::RecordingExtension;
using Log = std::vector<std::string>;

// What one fake DLL does when its WrapperExtInit is called.
struct FakeModule {
  bool hasEntry = true;
  std::function<IExtension*(IApplication*)> init;
};

// Modules by path; every open, close and init goes to the shared log.
class FakeLoader final : public ModuleLoader {
 public:
  explicit FakeLoader(Log* log) : log(log) {}

  void* Open(const std::string& path) override {
    log->push_back("open " + path);
    auto it = modules.find(path);
    return it == modules.end() ? nullptr : &it->second;
  }
  WrapperExtInitFunction FindEntry(void* module) override {
    calling = static_cast<FakeModule*>(module);
    return calling->hasEntry ? &Entry : nullptr;
  }
  void Close(void* module) override {
    for (const auto& [path, fake] : modules) {
      if (&fake == module) log->push_back("close " + path);
    }
  }

  std::map<std::string, FakeModule> modules;
  Log* log;

 private:
  // Extension::Load calls the entry right after finding it.
  static IExtension* KILN_CDECL Entry(IApplication* application) {
    return calling->init(application);
  }
  static FakeModule* calling;
};

FakeModule* FakeLoader::calling = nullptr;

class ExtensionLifecycleTest : public ::testing::Test {
 protected:
  // A module at exeFolder + file whose init runs setup, then returns its
  // recording extension (or null when refuse is set).
  RecordingExtension& AddModule(const std::string& file,
                                std::function<void(IApplication*)> setup = nullptr,
                                bool refuse = false) {
    auto name = file.substr(0, file.find('.'));
    instances.push_back(std::make_unique<RecordingExtension>(name, &log));
    RecordingExtension* instance = instances.back().get();
    loader.modules[app.exeFolder + file].init = [=](IApplication* application) -> IExtension* {
      log.push_back(name + " WrapperExtInit");
      if (setup) setup(application);
      return refuse ? nullptr : instance;
    };
    return *instance;
  }

  AppContext app{"C:\\game\\"};
  Log log;
  FakeLoader loader{&log};
  std::vector<std::unique_ptr<RecordingExtension>> instances;
};

TEST(ExtensionFileNameTest, OnlyNamesEndingInDotExtDotDll) {
  for (const char* name : {"audio.ext.dll", "AUDIO.EXT.DLL", "a.Ext.Dll", ".ext.dll", "a b.ext.dll",
                           "x.ext.dll.ext.dll"}) {
    EXPECT_TRUE(IsExtensionFileName(name)) << name;
  }
  for (const char* name : {"audio.dll", "audio.ext.dllx", "audio.ext.dll.bak", "audioext.dll",
                           "audio.ext.dl", "ext.dll", "AUDIOE~1.DLL", "", "audio.ext_dll"}) {
    EXPECT_FALSE(IsExtensionFileName(name)) << name;
  }
}

TEST_F(ExtensionLifecycleTest, ALoadedExtensionGetsItsOwnRecord) {
  IApplication* seen[2] = {};
  AddModule("a.ext.dll", [&](IApplication* application) { seen[0] = application; });
  AddModule("b.ext.dll", [&](IApplication* application) { seen[1] = application; });
  Extension* a = LoadExtensionFile(app, "a.ext.dll", loader);
  Extension* b = LoadExtensionFile(app, "b.ext.dll", loader);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(static_cast<void*>(seen[0]), static_cast<void*>(a));
  EXPECT_EQ(static_cast<void*>(seen[1]), static_cast<void*>(b));
  EXPECT_EQ(a->path, "C:\\game\\a.ext.dll");
  EXPECT_EQ(a->instance, instances[0].get());
  EXPECT_NE(a->module, nullptr);
  ASSERT_EQ(app.extensions.size(), 2u);
  EXPECT_EQ(app.extensions[0].get(), a);
  EXPECT_EQ(log, (Log{"open C:\\game\\a.ext.dll", "a WrapperExtInit", "open C:\\game\\b.ext.dll",
                      "b WrapperExtInit"}));
}

TEST_F(ExtensionLifecycleTest, RefusedExtensionsLeaveNothingBehind) {
  AddModule("refuses.ext.dll",
            [](IApplication* application) {
              application->RegisterComponentId("taken-by-refused");
              application->RegisterComponentId("also-refused");
              application->SetSharedValue("left", application);
            },
            /*refuse=*/true);
  loader.modules["C:\\game\\noentry.ext.dll"].hasEntry = false;
  AddModule("keeps.ext.dll",
            [](IApplication* application) { application->RegisterComponentId("kept"); });

  EXPECT_EQ(LoadExtensionFile(app, "missing.ext.dll", loader), nullptr);
  EXPECT_EQ(LoadExtensionFile(app, "refuses.ext.dll", loader), nullptr);
  EXPECT_EQ(LoadExtensionFile(app, "noentry.ext.dll", loader), nullptr);
  Extension* kept = LoadExtensionFile(app, "keeps.ext.dll", loader);
  ASSERT_NE(kept, nullptr);

  EXPECT_EQ(app.extensions.size(), 1u);
  ASSERT_EQ(app.components.size(), 1u);
  EXPECT_EQ(app.components.at("kept"), kept);
  // A refused extension is freed at once and never destroyed: it made no
  // instance. Shared values are the extensions' business and stay.
  EXPECT_EQ(log, (Log{"open C:\\game\\missing.ext.dll", "open C:\\game\\refuses.ext.dll",
                      "refuses WrapperExtInit", "close C:\\game\\refuses.ext.dll",
                      "open C:\\game\\noentry.ext.dll", "close C:\\game\\noentry.ext.dll",
                      "open C:\\game\\keeps.ext.dll", "keeps WrapperExtInit"}));
  EXPECT_EQ(app.sharedValues.count("left"), 1u);
}

TEST_F(ExtensionLifecycleTest, StartUpNotifiesInLoadOrder) {
  AddModule("a.ext.dll", [](IApplication* application) { application->SetInterfaceVersion(2); });
  AddModule("b.ext.dll");  // stays at version 1
  RecordingExtension& late = AddModule("c.ext.dll");
  AddModule("d.ext.dll", [](IApplication* application) { application->SetInterfaceVersion(7); });
  AddModule("e.ext.dll", [](IApplication* application) { application->SetInterfaceVersion(-2); });
  for (const char* file : {"a.ext.dll", "b.ext.dll", "c.ext.dll", "d.ext.dll", "e.ext.dll"}) {
    ASSERT_NE(LoadExtensionFile(app, file, loader), nullptr);
  }
  Extension& lateRecord = *app.extensions[2];
  late.onWindow = [&] { lateRecord.SetInterfaceVersion(2); };

  log.clear();
  NotifyExtensionsLoaded(app);
  NotifyMainWindowCreated(app, reinterpret_cast<WindowHandle>(0x1234));
  EXPECT_EQ(log, (Log{"a OnExtensionsLoaded", "d OnExtensionsLoaded",
                      "a OnMainWindowCreated 4660", "b OnMainWindowCreated 4660",
                      "c OnMainWindowCreated 4660", "d OnMainWindowCreated 4660",
                      "e OnMainWindowCreated 4660"}));
  EXPECT_EQ(lateRecord.interfaceVersion, 2);  // too late to be asked
}

TEST_F(ExtensionLifecycleTest, VersionsAreReadBeforeAnyoneIsNotified) {
  AddModule("a.ext.dll", [](IApplication* application) { application->SetInterfaceVersion(2); });
  AddModule("b.ext.dll");
  Extension* a = LoadExtensionFile(app, "a.ext.dll", loader);
  Extension* b = LoadExtensionFile(app, "b.ext.dll", loader);
  // a is handed b's interface (say through a shared value) and raises it.
  auto raise = [b] { b->SetInterfaceVersion(2); };
  struct Raiser final : IExtension {
    std::function<void()> raise;
    Log* log;
    void Destroy() override {}
    void OnWebMessage(const char*, int32_t, const ExtensionValue*, double) override {}
    void OnMainWindowCreated(WindowHandle) override {}
    void OnExtensionsLoaded() override {
      log->push_back("a OnExtensionsLoaded");
      raise();
    }
  } raiser;
  raiser.raise = raise;
  raiser.log = &log;
  a->instance = &raiser;
  log.clear();
  NotifyExtensionsLoaded(app);
  EXPECT_EQ(log, Log{"a OnExtensionsLoaded"});
}

TEST_F(ExtensionLifecycleTest, UnloadingDestroysThenFreesEachInLoadOrder) {
  AddModule("a.ext.dll", [](IApplication* application) {
    application->RegisterComponentId("a");
    application->SetSharedValue("k", application);
  });
  AddModule("b.ext.dll", [](IApplication* application) { application->RegisterComponentId("b"); });
  ASSERT_NE(LoadExtensionFile(app, "a.ext.dll", loader), nullptr);
  ASSERT_NE(LoadExtensionFile(app, "b.ext.dll", loader), nullptr);
  log.clear();
  UnloadExtensions(app, loader);
  EXPECT_EQ(log, (Log{"a Destroy", "close C:\\game\\a.ext.dll", "b Destroy",
                      "close C:\\game\\b.ext.dll"}));
  EXPECT_TRUE(app.extensions.empty());
  EXPECT_TRUE(app.components.empty());
  EXPECT_EQ(app.sharedValues.size(), 1u);  // goes with the context

  // Unloaded when the session ended, the extensions are not unloaded again
  // by the teardown after the message loop.
  log.clear();
  UnloadExtensions(app, loader);
  EXPECT_EQ(log, Log{});
}

TEST_F(ExtensionLifecycleTest, TheRegistryEmptiesOnceEveryExtensionIsUnloaded) {
  AddModule("a.ext.dll", [](IApplication* application) { application->RegisterComponentId("a"); });
  AddModule("b.ext.dll");
  ASSERT_NE(LoadExtensionFile(app, "a.ext.dll", loader), nullptr);
  Extension* b = LoadExtensionFile(app, "b.ext.dll", loader);
  ASSERT_NE(b, nullptr);
  // b takes "a" on its way out, after a was unloaded.
  struct Taker final : IExtension {
    IApplication* application;
    Log* log;
    void Destroy() override {
      log->push_back(std::string("b takes a ") + (application->RegisterComponentId("a") ? "true" : "false"));
    }
    void OnWebMessage(const char*, int32_t, const ExtensionValue*, double) override {}
    void OnMainWindowCreated(WindowHandle) override {}
    void OnExtensionsLoaded() override {}
  } taker;
  taker.application = b;
  taker.log = &log;
  b->instance = &taker;
  log.clear();
  UnloadExtensions(app, loader);
  EXPECT_EQ(log, (Log{"a Destroy", "close C:\\game\\a.ext.dll", "b takes a false",
                      "close C:\\game\\b.ext.dll"}));
  EXPECT_TRUE(app.components.empty());
}

}  // namespace
}  // namespace kiln

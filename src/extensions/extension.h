// The host's record of one loaded extension DLL. It is at the same time the
// IApplication the extension calls: the record's own address is what the
// extension receives, and every service acts on the record it is called on.
#pragma once

#include <cstdint>
#include <string>

#include "kiln/extension.h"

namespace kiln {

struct AppContext;
class ModuleLoader;

class Extension final : public IApplication {
 public:
  Extension(AppContext* context, std::string path);
  Extension(const Extension&) = delete;
  Extension& operator=(const Extension&) = delete;
  ~Extension() = default;

  // Opens the DLL and calls its WrapperExtInit with this record; true when it
  // returned an instance. A refused extension must be Unload()ed.
  bool Load(ModuleLoader& loader);

  // Destroys the instance (if any), then frees the DLL (if loaded). The ids
  // it registered stay: unloading empties the registry once every extension
  // is unloaded.
  void Unload(ModuleLoader& loader);

  // Takes back the component ids this extension registered: those of an
  // extension that registered ids and then declined to load.
  void ForgetComponentIds();

  // IApplication. Calls that break the rules (null texts, messages before
  // the web view exists, malformed UTF-8) are ignored instead of harming the
  // host; none of them throws.
  bool RegisterComponentId(const char* id) override;
  void SendWebMessage(const char* messageId, uint32_t count, const NamedExtensionValue* values,
                      double asyncId) override;
  const char* GetAppFolder() override;
  const char* GetContentFolder() override;
  const char* GetUserDataFolder() override;
  void SetInterfaceVersion(int32_t version) override;
  void SetSharedValue(const char* key, void* value) override;
  void* GetSharedValue(const char* key) override;
  void RemoveSharedValue(const char* key) override;

  AppContext* context = nullptr;  // not owned
  std::string path;               // full path of the DLL, UTF-8
  void* module = nullptr;         // the loaded DLL
  int32_t interfaceVersion = 1;
  IExtension* instance = nullptr;  // released through Destroy
  std::string componentId;         // the last id registered; empty until then

};

}  // namespace kiln

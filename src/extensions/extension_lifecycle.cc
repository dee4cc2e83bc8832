#include "extensions/extension_lifecycle.h"

#include <memory>
#include <vector>

#include "app/app_context.h"
#include "extensions/extension.h"
#include "extensions/module_loader.h"

namespace kiln {

bool IsExtensionFileName(const std::string& name) {
  static constexpr char kSuffix[] = ".ext.dll";
  constexpr size_t kLength = sizeof(kSuffix) - 1;
  if (name.size() < kLength) return false;
  const char* tail = name.data() + name.size() - kLength;
  for (size_t i = 0; i < kLength; ++i) {
    char c = tail[i];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != kSuffix[i]) return false;
  }
  return true;
}

Extension* LoadExtensionFile(AppContext& app, const std::string& fileName, ModuleLoader& loader) {
  auto extension = std::make_unique<Extension>(&app, app.exeFolder + fileName);
  if (!extension->Load(loader)) {
    extension->Unload(loader);
    // Ids it registered before declining must not outlive its record.
    extension->ForgetComponentIds();
    return nullptr;
  }
  app.extensions.push_back(std::move(extension));
  return app.extensions.back().get();
}

void NotifyExtensionsLoaded(AppContext& app) {
  // Versions are read once, before any notification: what an extension does
  // inside its OnExtensionsLoaded cannot enrol another one.
  std::vector<IExtension*> asked;
  for (const auto& extension : app.extensions) {
    if (extension->interfaceVersion >= 2) asked.push_back(extension->instance);
  }
  for (IExtension* instance : asked) instance->OnExtensionsLoaded();
}

void NotifyMainWindowCreated(AppContext& app, WindowHandle window) {
  for (const auto& extension : app.extensions) extension->instance->OnMainWindowCreated(window);
}

void UnloadExtensions(AppContext& app, ModuleLoader& loader) {
  for (const auto& extension : app.extensions) extension->Unload(loader);
  app.components.clear();
  app.extensions.clear();
}

}  // namespace kiln

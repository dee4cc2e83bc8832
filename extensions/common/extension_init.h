// How each of Kiln's own extensions answers WrapperExtInit: its component id
// is taken, the extension is made and started, and on any failure (the id
// already taken, a throw, a start that fails) nothing is left behind and the
// host is told no. No exception may leave WrapperExtInit.
#pragma once

#include "kiln/extension.h"

namespace kiln::extensions {

// Extension has a constructor taking the application, `bool Start()` (run on
// the UI thread, after the id is taken) and IExtension's Destroy.
template <typename Extension>
IExtension* InitExtension(IApplication* application, const char* componentId) {
  Extension* extension = nullptr;
  try {
    if (!application->RegisterComponentId(componentId)) return nullptr;
    extension = new Extension(application);
    if (extension->Start()) return extension;
  } catch (...) {
  }
  if (extension) extension->Destroy();
  return nullptr;
}

}  // namespace kiln::extensions

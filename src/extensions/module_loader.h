// The three module operations that loading an extension needs, so that the
// loading rules run the same against Windows DLLs and against test fakes.
#pragma once

#include <string>

#include "kiln/extension.h"

namespace kiln {

class ModuleLoader {
 public:
  // Loads the module at path (UTF-8); null when it cannot be loaded.
  virtual void* Open(const std::string& path) = 0;
  // The module's "WrapperExtInit" export, or null.
  virtual WrapperExtInitFunction FindEntry(void* module) = 0;
  virtual void Close(void* module) = 0;

 protected:
  ~ModuleLoader() = default;
};

}  // namespace kiln

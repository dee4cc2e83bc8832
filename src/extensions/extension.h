// One loaded extension DLL. (Filled in by the extension work.)
#pragma once

namespace kiln {

class Extension {
 public:
  virtual ~Extension() = default;
};

}  // namespace kiln

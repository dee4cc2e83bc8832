#include "pack/pack_files.h"

namespace kiln {

bool PutInPlace(PackFiles& files, const std::string& from, const std::string& to, const std::string& aside) {
  const bool replacing = files.Exists(to);
  if (replacing && !files.Rename(to, aside)) return false;
  if (!files.Rename(from, to)) {
    // Should the old one not go back either, it stays whole under aside.
    if (replacing) files.Rename(aside, to);
    return false;
  }
  if (replacing) files.RemoveTree(aside);
  return true;
}

}  // namespace kiln

// kiln-pack's work: from an app folder to DIR/<Product>/, the folder players
// are given, with the exe named for the game and carrying its icon and
// version. Nothing is left looking complete unless all of it was written:
// the folder is made under another name and renamed at the end.
#pragma once

#include <optional>
#include <string>

#include "check/kiln_exe.h"
#include "pack/pack_files.h"

namespace kiln {

struct PackOptions {
  std::string appFolder;
  std::string outDir = "dist";
  bool zip = false;
  std::string signPfx;  // empty: not signed
  std::string exeName;
  std::string icon;  // empty: window.icon
  std::string kiln;  // empty: the kiln.exe of arch that KilnExeCandidates finds
  // The build packed; nothing: x86, the shipped build, or the architecture
  // of the kiln.exe named.
  std::optional<KilnArch> arch;
};


// Prints findings and what was made; returns the exit code, 0 when packed.
int Pack(const PackOptions& options, PackFiles& files);

}  // namespace kiln

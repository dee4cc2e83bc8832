// The kiln.exe an app folder is judged against. Its architecture decides
// which DLLs it can load and which folder of a fixed runtime it looks in;
// with no kiln.exe at hand, the shipped build's (x86) holds.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "check/app_folder.h"
#include "check/pe_image.h"

namespace kiln {

enum class KilnArch { X86, X64 };

struct KilnTarget {
  KilnArch arch = KilnArch::X86;
  // The file name of the exe judged against; empty for the shipped build's
  // rule, when there was none.
  std::string exe;
};

// "x86" or "x64": as --arch takes it and a runtime's EBWebView folder is named.
const char* ArchName(KilnArch arch);
std::optional<KilnArch> ArchNamed(const std::string& name);

// True when a process of the architecture can load the image: its machine
// and its header form (PE32 for x86, PE32+ for x64) match.
bool ArchLoads(KilnArch arch, const PeImage& image);

// What the findings call the exe judged against: "kiln.exe (x86, as
// shipped)", or its file name and architecture, "My Game.exe (x64)".
std::string KilnDescription(const KilnTarget& kiln);

// The architecture of a kiln.exe; nothing for any other file.
std::optional<KilnArch> KilnExeArch(std::string_view bytes, const PeImage& image);

// The kiln.exe in the app folder: "kiln.exe", else another exe at its top
// that is kiln.exe (one packed and named for the game), first by name.
std::optional<KilnTarget> FindKilnExeIn(AppFolder& folder);

}  // namespace kiln

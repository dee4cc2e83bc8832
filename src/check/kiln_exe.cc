#include "check/kiln_exe.h"

#include "common/ascii.h"
#include "extensions/extension_lifecycle.h"

namespace kiln {
namespace {

constexpr uint64_t kMaxExeBytes = uint64_t{256} << 20;

bool EndsWithExe(const std::string& name) {
  return name.size() > 4 && EqualsIgnoringAsciiCase(name.substr(name.size() - 4), ".exe");
}

std::optional<KilnArch> ArchOfFile(AppFolder& folder, const std::string& path) {
  const FileFacts facts = folder.Examine(path);
  if (!facts.exists || facts.isFolder || facts.size > kMaxExeBytes) return std::nullopt;
  const std::optional<std::string> bytes = folder.Read(path, kMaxExeBytes);
  if (!bytes) return std::nullopt;
  const std::optional<PeImage> image = ReadPeImage(*bytes);
  return image ? KilnExeArch(*bytes, *image) : std::nullopt;
}

}  // namespace

const char* ArchName(KilnArch arch) { return arch == KilnArch::X64 ? "x64" : "x86"; }

std::optional<KilnArch> ArchNamed(const std::string& name) {
  if (name == "x86") return KilnArch::X86;
  if (name == "x64") return KilnArch::X64;
  return std::nullopt;
}

bool ArchLoads(KilnArch arch, const PeImage& image) {
  return arch == KilnArch::X64 ? image.machine == kMachineAmd64 && image.wide
                               : image.machine == kMachineI386 && !image.wide;
}

std::string KilnDescription(const KilnTarget& kiln) {
  if (kiln.exe.empty()) return std::string("kiln.exe (") + ArchName(kiln.arch) + ", as shipped)";
  return kiln.exe + " (" + ArchName(kiln.arch) + ")";
}

// kiln.exe names its configuration file and the extensions' entry point;
// another program hardly names both.
std::optional<KilnArch> KilnExeArch(std::string_view bytes, const PeImage& image) {
  if (image.characteristics & kImageFileDll) return std::nullopt;
  if (bytes.find(kExtensionEntryName) == std::string_view::npos ||
      bytes.find(std::string_view("p\0a\0c\0k\0a\0g\0e\0.\0j\0s\0o\0n\0", 24)) ==
          std::string_view::npos) {
    return std::nullopt;
  }
  for (const KilnArch arch : {KilnArch::X86, KilnArch::X64}) {
    if (ArchLoads(arch, image)) return arch;
  }
  return std::nullopt;
}

std::optional<KilnTarget> FindKilnExeIn(AppFolder& folder) {
  if (const std::optional<KilnArch> arch = ArchOfFile(folder, "kiln.exe")) {
    return KilnTarget{*arch, "kiln.exe"};
  }
  const std::optional<std::vector<FolderEntry>> entries = folder.List("");
  if (!entries) return std::nullopt;
  for (const FolderEntry& entry : *entries) {
    if (!EndsWithExe(entry.name) || EqualsIgnoringAsciiCase(entry.name, "kiln.exe")) continue;
    if (const std::optional<KilnArch> arch = ArchOfFile(folder, entry.name)) {
      return KilnTarget{*arch, entry.name};
    }
  }
  return std::nullopt;
}

}  // namespace kiln

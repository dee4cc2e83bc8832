#include "check/dll_check.h"

#include <cstdio>

namespace kiln {
namespace {

// Far above any extension or runtime client DLL; larger files are not read.
constexpr uint64_t kMaxDllBytes = uint64_t{256} << 20;

std::string MachineName(uint16_t machine) {
  switch (machine) {
    case kMachineI386: return "a 32-bit (i386)";
    case kMachineAmd64: return "a 64-bit (x86-64)";
    case kMachineArm64: return "a 64-bit ARM (ARM64)";
    case 0x01C4: return "a 32-bit ARM";
    default: {
      char text[40];
      std::snprintf(text, sizeof(text), "a machine 0x%04X", machine);
      return text;
    }
  }
}

// What the judged kiln.exe is and loads, after "is a ... DLL; ".
std::string LoadsOnly(const KilnTarget& kiln) {
  return KilnDescription(kiln) + (kiln.arch == KilnArch::X64
                                      ? " is a 64-bit program and loads only 64-bit (x86-64) DLLs"
                                      : " is a 32-bit program and loads only 32-bit (i386) DLLs");
}

}  // namespace

std::optional<PeImage> ReadLoadableDll(AppFolder& folder, const std::string& path,
                                       const KilnTarget& kiln, Findings& findings) {
  if (folder.Examine(path).size > kMaxDllBytes) {
    findings.Warning(path, "is larger than 256 MiB; not checked");
    return std::nullopt;
  }
  const std::optional<std::string> bytes = folder.Read(path, kMaxDllBytes);
  if (!bytes) {
    findings.Error(path, "cannot be read");
    return std::nullopt;
  }
  std::optional<PeImage> image = ReadPeImage(*bytes);
  if (!image) {
    findings.Error(path, "is not a Windows DLL");
  } else if (image->truncated) {
    findings.Error(path, "is cut short: its headers or sections run past the end of the file, "
                         "and Windows refuses to load it");
  } else if (!ArchLoads(kiln.arch, *image)) {
    findings.Error(path, "is " + MachineName(image->machine) + " DLL; " + LoadsOnly(kiln));
  } else if (!(image->characteristics & kImageFileDll)) {
    findings.Error(path, "is a program, not a DLL");
  } else {
    return image;
  }
  return std::nullopt;
}

std::optional<PeImage> ReadAnyImage(AppFolder& folder, const std::string& path) {
  if (folder.Examine(path).size > kMaxDllBytes) return std::nullopt;
  const std::optional<std::string> bytes = folder.Read(path, kMaxDllBytes);
  return bytes ? ReadPeImage(*bytes) : std::nullopt;
}

}  // namespace kiln

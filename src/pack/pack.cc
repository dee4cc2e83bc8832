#include "pack/pack.h"

#include <memory>
#include <nlohmann/json.hpp>

#include "app/app_config.h"
#include "check/app_check.h"
#include "check/console.h"
#include "check/pe_image.h"
#include "extensions/extension_lifecycle.h"
#include "pack/exe_resources.h"
#include "pack/kiln_exe_search.h"
#include "pack/pack_plan.h"
#include "pack/resource_section.h"
#include "pack/signing.h"
#include "pack/zip_archive.h"

namespace kiln {
namespace {

constexpr uint64_t kMaxExeBytes = uint64_t{256} << 20;
constexpr uint64_t kMaxIconBytes = uint64_t{64} << 20;
constexpr uint64_t kMaxFileBytes = uint64_t{4} << 30;

int Fail(const std::string& where, const std::string& what) {
  WriteOutput("error: " + (where.empty() ? "" : where + ": ") + what + "\n");
  return 1;
}

std::string Join(const std::string& folder, const std::string& name) {
  return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string FileNameOf(const std::string& path) {
  const size_t separator = path.find_last_of("/\\");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

// The kiln.exe packed, and the architecture the app folder is judged for.
struct ChosenKiln {
  std::string path;
  std::string bytes;
  PeImage image;
  KilnTarget target;
};

class Packer {
 public:
  Packer(const PackOptions& options, PackFiles& files) : options_(options), files_(files) {}

  ~Packer() {
    if (!temporary_.empty()) files_.RemoveTree(temporary_);
  }

  // The kiln.exe --kiln names, which must be of the --arch asked for, or
  // the first of that architecture where KilnExeCandidates looks.
  std::optional<ChosenKiln> ChooseKiln() {
    if (!options_.kiln.empty()) {
      std::optional<std::string> bytes = files_.Read(options_.kiln, kMaxExeBytes);
      std::optional<ChosenKiln> chosen = bytes ? KilnOf(options_.kiln, std::move(*bytes)) : std::nullopt;
      if (!bytes) {
        Fail(options_.kiln, "cannot be read");
      } else if (!chosen) {
        Fail(options_.kiln, "is not kiln.exe");
      } else if (options_.arch && *options_.arch != chosen->target.arch) {
        const std::string asked = ArchName(*options_.arch);
        Fail(options_.kiln, std::string("is the ") + ArchName(chosen->target.arch) +
                                " build of kiln.exe, not the " + asked + " one --arch " + asked +
                                " packs; name an " + asked + " kiln.exe, or leave out --arch");
        chosen.reset();
      }
      return chosen;
    }
    const KilnArch arch = options_.arch.value_or(KilnArch::X86);
    const std::vector<std::string> candidates = KilnExeCandidates(arch, ProgramFolder());
    std::string searched;
    for (const std::string& candidate : candidates) {
      std::optional<std::string> bytes = files_.Read(candidate, kMaxExeBytes);
      std::optional<ChosenKiln> chosen = bytes ? KilnOf(candidate, std::move(*bytes)) : std::nullopt;
      if (chosen && chosen->target.arch == arch) return chosen;
      searched += (searched.empty() ? "" : " or ") + candidate;
    }
    Fail("", std::string("no ") + ArchName(arch) + " kiln.exe found (looked for " + searched +
                 "); name one with --kiln");
    return std::nullopt;
  }

  static std::optional<ChosenKiln> KilnOf(const std::string& path, std::string bytes) {
    std::optional<PeImage> image = ReadPeImage(bytes);
    const std::optional<KilnArch> arch = image ? KilnExeArch(bytes, *image) : std::nullopt;
    if (!arch) return std::nullopt;
    return ChosenKiln{path, std::move(bytes), std::move(*image), {*arch, FileNameOf(path)}};
  }

  int Run() {
    const std::unique_ptr<AppFolder> folder = OpenAppFolder(options_.appFolder);
    if (!folder) return Fail(options_.appFolder, "cannot be read as a folder");
    const std::optional<ChosenKiln> chosen = ChooseKiln();
    if (!chosen) return 1;
    const std::string& kilnPath = chosen->path;
    const std::string* kiln = &chosen->bytes;
    const PeImage* image = &chosen->image;
    Findings findings = CheckAppFolder(*folder, chosen->target);
    std::optional<PackPlan> plan =
        findings.HasErrors() ? std::nullopt : PlanPack(*folder, options_.exeName, findings);
    if (!findings.list().empty()) WriteOutput(FormatReport(findings.list()));
    if (!plan) return 1;
    if (files_.IsWithin(options_.outDir, options_.appFolder)) {
      return Fail(options_.outDir, "lies inside the app folder; pack into a folder outside it");
    }


    std::vector<IconImage> icons;
    const std::string iconName = options_.icon.empty() ? plan->iconPath : options_.icon;
    if (!iconName.empty()) {
      const std::optional<std::string> bytes =
          options_.icon.empty() ? folder->Read(plan->iconPath, kMaxIconBytes)
                                : files_.Read(options_.icon, kMaxIconBytes);
      if (!bytes) return Fail(iconName, "cannot be read, or is larger than 64 MiB");
      std::string why;
      std::optional<std::vector<IconImage>> made = MakeIconImages(*bytes, why);
      if (!made) return Fail(iconName, why);
      icons = std::move(*made);
    } else {
      WriteOutput("warning: package.json: no window.icon, so the exe keeps Windows' default icon\n");
    }
    std::string why;
    const std::optional<std::string> exe =
        WithResources(*kiln, PackedResources(image->resources, icons, plan->version), why);
    if (!exe) return Fail(kilnPath, why);

    const std::string product = plan->product;
    const std::string finished = Join(options_.outDir, product);
    const std::string suffix = UniqueSuffix();
    if (!files_.MakeFolders(options_.outDir)) return Fail(options_.outDir, "cannot be made");
    temporary_ = Join(options_.outDir, "." + product + ".partial-" + suffix);
    if (!files_.MakeFolders(temporary_)) return Fail(options_.outDir, "cannot be written to");
    for (const std::string& path : plan->files) {
      const std::optional<std::string> bytes = folder->Read(path, kMaxFileBytes);
      if (!bytes) return Fail(Join(options_.appFolder, path), "cannot be read");
      const size_t slash = path.rfind('/');
      if ((slash != std::string::npos && !files_.MakeFolders(Join(temporary_, path.substr(0, slash)))) ||
          !files_.Write(Join(temporary_, path), *bytes)) {
        return Fail(Join(options_.outDir, path), "cannot be written");
      }
    }
    const std::string exePath = Join(temporary_, product + ".exe");
    if (!options_.signPfx.empty()) {
      const std::string unsigned_ = Join(options_.outDir, "." + product + ".unsigned-" + suffix);
      const bool written = files_.Write(unsigned_, *exe);
      const bool signedOk = written && SignExe(unsigned_, exePath, options_.signPfx, why);
      files_.RemoveTree(unsigned_);
      if (!written) return Fail(options_.outDir, "cannot be written to");
      if (!signedOk) return Fail(options_.signPfx, why);
    } else if (!files_.Write(exePath, *exe)) {
      return Fail(exePath, "cannot be written");
    }

    // The finished folder as players get it must pass the same checks.
    const std::unique_ptr<AppFolder> packed = OpenAppFolder(temporary_);
    const Findings again = packed ? CheckAppFolder(*packed, chosen->target) : Findings();
    if (!packed || again.HasErrors()) {
      WriteOutput(FormatReport(again.list()));
      return Fail(finished, "the packed folder does not pass kiln-check");
    }

    if (!PutInPlace(files_, temporary_, finished, Join(options_.outDir, "." + product + ".old-" + suffix))) {
      return Fail(finished, "cannot be put in place (a file of it may be open in another program)");
    }
    temporary_.clear();
    WriteOutput("packed " + Join(finished, product + ".exe") + "\n");

    if (options_.zip) {
      std::vector<ZipEntry> entries;
      plan->files.push_back(product + ".exe");
      for (const std::string& path : plan->files) {
        const std::string file = Join(finished, path);
        const std::optional<std::string> bytes = files_.Read(file, kMaxFileBytes);
        if (!bytes) return Fail(file, "cannot be read");
        entries.push_back({product + "/" + path, *bytes, files_.ModifiedTime(file)});
      }
      const std::string archive = ZipArchive(entries);
      if (archive.empty()) return Fail(finished, "is too large for a zip archive");
      const std::string zip = Join(options_.outDir, product + ".zip");
      const std::string partial = Join(options_.outDir, "." + product + ".zip.partial-" + suffix);
      if (!files_.Write(partial, archive)) return Fail(zip, "cannot be written");
      if (!PutInPlace(files_, partial, zip, Join(options_.outDir, "." + product + ".zip.old-" + suffix))) {
        files_.RemoveTree(partial);
        return Fail(zip, "cannot be put in place (it may be open in another program)");
      }
      WriteOutput("zipped " + zip + "\n");
    }
    return 0;
  }

 private:
  const PackOptions& options_;
  PackFiles& files_;
  std::string temporary_;  // removed unless it became the finished folder
};

}  // namespace

int Pack(const PackOptions& options, PackFiles& files) { return Packer(options, files).Run(); }

}  // namespace kiln

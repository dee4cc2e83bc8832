// What a packed build of an app folder holds, decided from the folder alone:
// the exe's name and version texts, and the files players need.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <nlohmann/json_fwd.hpp>

#include "check/app_folder.h"
#include "check/findings.h"
#include "pack/version_resource.h"

namespace kiln {

struct PackPlan {
  std::string product;  // the exe's name without ".exe"
  std::string iconPath;  // window.icon in the app folder; empty when there is none
  VersionInfo version;
  std::vector<std::string> files;  // paths in the app folder, in name order
};

// From a folder whose package.json kiln-check accepts. exeName, when not
// empty, names the exe instead of the title. Errors go to findings.
std::optional<PackPlan> PlanPack(AppFolder& folder, const std::string& exeName,
                                 Findings& findings);

// The name as a file name Windows accepts, by the rules of the user data
// folder's name; empty when none of its characters is left.
std::string ProductFileName(const std::string& name);

// npm's "author": a text ("Ann <ann@example.com> (https://...)", whose name
// is the part before "<" or "(") or an object with a "name".
std::string AuthorName(const nlohmann::json& author);

}  // namespace kiln

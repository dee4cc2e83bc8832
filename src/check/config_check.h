// package.json, read by the same code as kiln.exe reads it: what stops
// start-up, and what kiln.exe quietly replaces or ignores.
#pragma once

#include <set>
#include <string>

#include "app/app_config.h"
#include "check/app_folder.h"
#include "check/findings.h"

namespace kiln {

struct CheckedConfig {
  // As kiln.exe fills it; a refused key leaves its field at the default.
  AppConfig config;
  // The file held a JSON object, so the keys below mean something.
  bool parsed = false;
  // Keys whose value start-up refuses ("name", "settings.content-mode").
  std::set<std::string> refused;

  // True when kiln.exe would take the key's value (or default) as read.
  bool Knows(const std::string& key) const { return parsed && !refused.count(key); }
};

CheckedConfig CheckPackageJson(AppFolder& folder, Findings& findings);

}  // namespace kiln

// Where the page comes from: the www folder and its start page in the
// bundle content mode, the address in the remote one.
#pragma once

#include <string>

#include "app/app_config.h"
#include "check/app_folder.h"
#include "check/findings.h"
#include "webview/path_guard.h"

namespace kiln {

// www exists, the content server finds the start page kiln.exe navigates
// to, and every name under www is one the content server can serve.
void CheckBundleContent(AppFolder& folder, const AppConfig& config, Findings& findings);

// "main" is an absolute http or https address.
void CheckRemoteAddress(const AppConfig& config, Findings& findings);

// Why Windows cannot open a path, in words for the app's author.
std::string DescribePathFault(PathFault fault);

}  // namespace kiln

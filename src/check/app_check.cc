#include "check/app_check.h"

#include "check/config_check.h"
#include "check/content_check.h"
#include "check/extension_check.h"
#include "check/icon_check.h"
#include "check/runtime_folder_check.h"
#include "check/steam_check.h"

namespace kiln {

Findings CheckAppFolder(AppFolder& folder, const KilnTarget& kiln) {
  Findings findings;
  const CheckedConfig checked = CheckPackageJson(folder, findings);
  // What depends on a setting is checked only when kiln.exe would know the
  // setting; the extensions are loaded whatever package.json says.
  if (checked.parsed) CheckIcon(folder, checked.config, findings);
  if (checked.Knows("settings.distribution-mode")) {
    CheckRuntimeFolder(folder, checked.config, kiln, findings);
  }
  CheckExtensions(folder, kiln, findings);
  CheckSteamApi(folder, kiln, findings);
  CheckSteam(folder, kiln, findings);
  if (checked.Knows("settings.content-mode")) {
    if (checked.config.contentMode == ContentMode::Bundle) {
      CheckBundleContent(folder, checked.config, findings);
    } else {
      CheckRemoteAddress(checked.config, findings);
    }
  }
  return findings;
}

}  // namespace kiln

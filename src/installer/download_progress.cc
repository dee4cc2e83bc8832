#include "installer/download_progress.h"

namespace kiln {

std::optional<int> ProgressPosition(uint32_t progress, uint32_t progressMax) {
  if (progressMax == 0) return std::nullopt;
  const float position = static_cast<float>(progress) * 100.0f / static_cast<float>(progressMax);
  return static_cast<int>(position);
}

bool DownloadSucceeded(bool transferSucceeded, int httpStatus) {
  return transferSucceeded && (httpStatus == 0 || (httpStatus >= 200 && httpStatus < 300));
}

}  // namespace kiln

// Arithmetic of the installer's progress bar.
#pragma once

#include <cstdint>
#include <optional>

namespace kiln {

// Position from 0 to 100 of a download that has received `progress` of
// `progressMax` bytes; none while the total is unknown (0), so the bar keeps
// its place. Single precision, truncated, as the bar has only 100 steps.
std::optional<int> ProgressPosition(uint32_t progress, uint32_t progressMax);

// A download counts only when the transfer itself succeeded and the server
// answered 200: a 404 "succeeds" too, and saves the error page.
bool DownloadSucceeded(bool transferSucceeded, int httpStatus);

}  // namespace kiln

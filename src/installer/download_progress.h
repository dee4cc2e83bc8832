// Arithmetic of the installer's progress bar.
#pragma once

#include <cstdint>
#include <optional>

namespace kiln {

// Position from 0 to 100 of a download that has received `progress` of
// `progressMax` bytes; none while the total is unknown (0), so the bar keeps
// its place. Single precision, truncated, as the bar has only 100 steps.
std::optional<int> ProgressPosition(uint32_t progress, uint32_t progressMax);

// A download counts when the transfer itself succeeded and no answer but a
// success was heard: a 404 "succeeds" too, and saves the error page. The
// status of the last answer is heard (after any redirects) when the URL
// moniker reports it, 0 when it did not; a download is never thrown away
// for want of one.
bool DownloadSucceeded(bool transferSucceeded, int httpStatus);

}  // namespace kiln

// Steps that make many requests in one go, for benchmarks. Each answer is
// read to its end as the browser would read it; instead of a response line
// per request, one "bulk" line gives the count of each status, the bytes
// read and the milliseconds taken.
//   requests {prefix, suffix, count}  the URIs prefix + i + suffix, i from 0
//   ranges {uri, count, size, fileSize, seed}  Range requests for size bytes
//                                     at random starts (random_ranges.h)
#pragma once

#include <nlohmann/json.hpp>

namespace standin {

class WebView;

void RunBulkRequests(WebView* webView, const nlohmann::json& step);
void RunBulkRanges(WebView* webView, const nlohmann::json& step);

}  // namespace standin

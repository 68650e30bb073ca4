#pragma once

#include "core/QuadGeometry.h"

#include <string>
#include <vector>

// The largest raster an order can deliver: a 1° quad at one arc-second is
// 3601 × 3601 samples, of at most 4 bytes each.
inline constexpr unsigned long long kLargestRasterBytes = 3601ull * 3601 * 4;
// The archive holds that raster with its small companion files.
inline constexpr unsigned long long kMaxArchiveBytes = kLargestRasterBytes + (8ull << 20);

// 38 lower-case hex digits from 19 draws of the C library's rand(), which
// the program never seeds: codes follow the generator's default sequence.
std::string MakeRequestCode();

// The extract service's order URL for a quad; `host` is "name" or "name:port".
std::string ElevationOrderUrl(const std::string& host, const Quad& quad, const std::string& requestCode);

// The status-page phrases whose progress text is logged, in order of
// precedence.
const std::vector<std::string>& ElevationProgressPhrases();

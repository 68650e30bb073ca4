#pragma once

#include <cstddef>
#include <string>
#include <vector>

// The 1° cells of the SRTM height-file layout, named by their south-west
// corner: N39W099 covers 39°N to 40°N and 99°W to 98°W.
struct HgtCell {
    int latitude = 0;
    int longitude = 0;
    bool operator==(const HgtCell&) const = default;
};

// A height file holds 3601 × 3601 or 1201 × 1201 big-endian 16-bit posts.
inline constexpr size_t kLargestHgtBytes = 3601ull * 3601ull * 2ull;

// "N39W099": latitude two digits, longitude three, zero-padded.
std::string HgtCellName(const HgtCell& cell);

// The gzipped tile of `cell` under `baseUrl`: baseUrl/N39/N39W099.hgt.gz.
std::string HgtTileUrl(const std::string& baseUrl, const HgtCell& cell);

// Posts on a side of a height file of `bytes` bytes: 3601, 1201, or 0 when
// no height file has that size.
int HgtPostsForBytes(unsigned long long bytes);

// The cells whose tiles hold the posts of the box, south to north and west
// to east: one for an aligned 1° box (its north and east edge posts are the
// tile's own last row and column), up to four otherwise.
std::vector<HgtCell> HgtCellsForBox(double west, double east, double south, double north);

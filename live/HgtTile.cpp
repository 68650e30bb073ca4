#include "live/HgtTile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace {

// Quad edges arrive as decimal texts; an integral edge must not pull in the
// neighbouring cell through rounding noise.
constexpr double kEdgeTolerance = 1e-9;

}  // namespace

std::string HgtCellName(const HgtCell& cell)
{
    char name[16];
    std::snprintf(name, sizeof name, "%c%02d%c%03d", cell.latitude < 0 ? 'S' : 'N', std::abs(cell.latitude) % 100,
                  cell.longitude < 0 ? 'W' : 'E', std::abs(cell.longitude) % 1000);
    return name;
}

std::string HgtTileUrl(const std::string& baseUrl, const HgtCell& cell)
{
    std::string base = baseUrl;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    const std::string name = HgtCellName(cell);
    return base + "/" + name.substr(0, 3) + "/" + name + ".hgt.gz";
}

int HgtPostsForBytes(unsigned long long bytes)
{
    if (bytes == 3601ull * 3601ull * 2ull)
        return 3601;
    if (bytes == 1201ull * 1201ull * 2ull)
        return 1201;
    return 0;
}

std::vector<HgtCell> HgtCellsForBox(double west, double east, double south, double north)
{
    std::vector<HgtCell> cells;
    if (!(west <= east) || !(south <= north) || std::fabs(west) > 180 || std::fabs(east) > 180 ||
        std::fabs(south) > 90 || std::fabs(north) > 90)
        return cells;
    const int firstLatitude = static_cast<int>(std::floor(south + kEdgeTolerance));
    const int lastLatitude = std::max(firstLatitude, static_cast<int>(std::ceil(north - kEdgeTolerance)) - 1);
    const int firstLongitude = static_cast<int>(std::floor(west + kEdgeTolerance));
    const int lastLongitude = std::max(firstLongitude, static_cast<int>(std::ceil(east - kEdgeTolerance)) - 1);
    for (int latitude = firstLatitude; latitude <= lastLatitude; ++latitude)
        for (int longitude = firstLongitude; longitude <= lastLongitude; ++longitude)
            cells.push_back({latitude, longitude});
    return cells;
}

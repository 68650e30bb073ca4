#include "mapdraw/BoundaryLines.h"

#include <algorithm>
#include <fstream>
#include <sstream>

bool BoundaryLines::Load(const std::string& folder)
{
    lines_.clear();
    std::ifstream file(folder + "/boundaries.txt");
    if (!file)
        return false;
    std::string text;
    while (std::getline(file, text)) {
        if (text.empty() || text[0] == '#')
            continue;
        std::istringstream in(text);
        std::string kind;
        long x = 0, y = 0;
        if (!(in >> kind >> x >> y))
            return false;
        BoundaryLine line;
        line.kind = kind == "N" ? BoundaryLine::Kind::Nation
                    : kind == "S" ? BoundaryLine::Kind::State
                                  : BoundaryLine::Kind::County;
        long dx = 0, dy = 0;
        line.longitudes.push_back(x * 1e-4);
        line.latitudes.push_back(y * 1e-4);
        while (in >> dx >> dy) {
            x += dx;
            y += dy;
            line.longitudes.push_back(x * 1e-4);
            line.latitudes.push_back(y * 1e-4);
        }
        const auto [minLon, maxLon] = std::minmax_element(line.longitudes.begin(), line.longitudes.end());
        const auto [minLat, maxLat] = std::minmax_element(line.latitudes.begin(), line.latitudes.end());
        line.west = *minLon;
        line.east = *maxLon;
        line.south = *minLat;
        line.north = *maxLat;
        lines_.push_back(std::move(line));
    }
    return !lines_.empty();
}

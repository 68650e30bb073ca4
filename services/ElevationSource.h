#pragma once

#include "services/ElevationGrid.h"

#include <string>

// Builds the elevation posts of an order. Real SRTM tiles in `hgtFolder`
// (names like N39W099.hgt; 3601 or 1201 posts square, big-endian int16, void
// -32768, and 32767 taken as void too) are used wherever they cover the area,
// mosaicked across tile edges; everything else gets synthetic terrain with
// clusters of voids covering about `voidFraction` of it.
struct ElevationSourceOptions {
    std::string hgtFolder;
    double voidFraction = 0.005;
};

// False when the box cannot be shaped (see ShapeGrid).
bool BuildElevationGrid(const ElevationSourceOptions& options, double west, double east,
                        double south, double north, ElevationGrid& grid);

// The tile name for the tile whose south-west corner is (latitude, longitude),
// for example N39W099.hgt.
std::string HgtTileName(int latitude, int longitude);

#pragma once

#include "live/HgtTile.h"
#include "terrain/ElevationGrid.h"

#include <string>
#include <utility>
#include <vector>

// Builds the elevation posts of an order. Real elevation in `hgtFolder` is
// used wherever it covers the area, mosaicked across file edges, the finest
// file serving where files overlap: SRTM tiles (names like N39W099.hgt; 3601
// or 1201 posts square, big-endian int16, void -32768, and 32767 taken as
// void too) and any north-up longitude/latitude raster GDAL reads (GeoTIFF,
// ESRI grids, the USGS 1" tiles), whose no-data value becomes a void. Files
// of the folder that are no such raster are named on standard error and
// skipped. Everything else gets synthetic terrain with clusters of voids
// covering about `voidFraction` of it.
struct ElevationSourceOptions {
    std::string hgtFolder;  // the data folder (named for its first kind of file)
    double voidFraction = 0.005;
};

// False when the box cannot be shaped (see ShapeGrid).
bool BuildElevationGrid(const ElevationSourceOptions& options, double west, double east,
                        double south, double north, ElevationGrid& grid);

// The same heights on a lattice of `columns` × `rows` posts `spacing`
// arc-seconds apart, its north-west post at (westArcSeconds,
// northArcSeconds), for pictures of the terrain: data files are sampled at
// the posts, and synthetic terrain gets no voids when the spacing is not one
// arc-second. False when the lattice cannot be shaped (see ShapeLattice).
bool BuildElevationLattice(const ElevationSourceOptions& options, double westArcSeconds, double northArcSeconds,
                           double spacing, int columns, int rows, ElevationGrid& grid);

// Posts from the height files `tiles` only (each of its cell, read just
// where the box needs it), mosaicked as BuildElevationGrid does; every post
// no tile holds is void, never synthetic. False when the box cannot be
// shaped or a tile cannot be read.
bool BuildElevationGridFromTileFiles(const std::vector<std::pair<HgtCell, std::string>>& tiles, double west,
                                     double east, double south, double north, ElevationGrid& grid);

// The tile name for the tile whose south-west corner is (latitude, longitude),
// for example N39W099.hgt.
std::string HgtTileName(int latitude, int longitude);

#pragma once

#include "live/HgtTile.h"

#include <cstdio>
#include <string>

// Turns one staged 1" elevation GeoTIFF of the USGS 3D Elevation Program
// into the plain height file of `cell`: 3601 × 3601 big-endian int16 posts,
// row 0 on the north edge, written to `out`. The file must be a GeoTIFF (no
// other GDAL driver is tried) in geographic NAD83 or WGS84 coordinates,
// north up, with 1" pixels, a no-data value, and pixel centres covering
// every post of the cell. Posts are interpolated bilinearly between pixel
// centres (so a post on a centre keeps its height), from the nearest pixel
// next to voids; heights round to whole metres, no-data becomes -32768.
// False with `error` saying what is wrong with the file otherwise.
bool ConvertDemGeoTiff(const std::string& tiffPath, const HgtCell& cell, std::FILE* out, std::string& error);

// The 3DEP tile of `cell`, named by its NORTH-west corner:
// baseUrl/n40w099/USGS_1_n40w099.tif for N39W099.
std::string DemGeoTiffUrl(const std::string& baseUrl, const HgtCell& cell);

#pragma once

#include <string>
#include <vector>

// Writes `vrtPath`, GDAL's virtual mosaic of the GeoTIFFs `sources` (paths
// relative to the mosaic's folder, or absolute), made by GDAL's own VRT
// builder, so that a GIS opens a whole region as one raster. The mosaic
// replaces an older one only when whole. False with `error` set.
bool WriteRegionMosaic(const std::string& vrtPath, const std::vector<std::string>& sources, std::string& error);

#pragma once

#include "export/GreyScale.h"
#include "export/HeightMapPlacement.h"
#include "export/HeightSamples.h"

#include <string>

// Writers of the height exports. Each writes `path` as it stands (callers
// give a temporary name) and returns false with `error` on failure.

// 16-bit greyscale PNG, top row north, greys from `grey`.
bool WritePng16(const HeightSamples& samples, const GreyScale& grey, const std::string& path, std::string& error);

// Little-endian unsigned 16-bit, rows north to south, no header.
bool WriteRaw16(const HeightSamples& samples, const GreyScale& grey, const std::string& path, std::string& error);

// GeoTIFF of the heights as 16-bit signed integers in EPSG:4326, no data = 0,
// raster pixels as points, so each GeoTIFF post lies where the height map's
// post lies. Fails when a height does not fit 16 bits.
bool WriteGeoTiff(const HeightSamples& samples, const HeightMapPlacement& placement, const std::string& path,
                  std::string& error);

// The final texture as an 8-bit RGB PNG.
bool WriteTexturePng(const std::string& texture, const std::string& path, std::string& error);

#pragma once

#include "raster/ElevationColorTable.h"

#include <string>

class ImageCache;
class LogSink;

// Paints a height map with the elevation colour ramp. Returns 0 on success,
// 2 when the height map cannot be read, 1 when the colour image cannot be
// made or written.
int ElevationToColor(const std::string& heightMap, const std::string& output, LogSink& log,
                     ImageCache* images = nullptr);

// The ramp entry for a height: a quarter of the height, held to 0 … 1999.
// Inline: it runs once per pixel of a height map.
inline int ElevationColorIndex(int height)
{
    // Integer division truncates toward zero like trunc(z × 2000 / 8000).
    const int index = height / 4;
    if (index >= kElevationColorCount)
        return kElevationColorCount - 1;
    return index < 0 ? 0 : index;
}

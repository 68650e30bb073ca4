#pragma once

#include "raster/StretchTga.h"

#include <string>

class ImageCache;
class LogSink;
class TGAFile;

// Lays the street map's tile over `image` in place, band by band, without
// the full-size copies of the map that stretching, pasting and combining
// would make: each pixel takes the tile pixel the corners' stretch gives it
// (the one StretchTga would put there in an image of this size; black
// outside the tile) and then the map's colour rules (see MapColorRules.h).
// Returns 0, 1 when the tile cannot be opened, 2 when the corners fix no
// stretch.
int LayMapOver(const std::string& tile, const StretchCorners& corners, TGAFile& image, LogSink& log,
               ImageCache* images = nullptr);

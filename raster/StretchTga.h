#pragma once

#include <string>

class ImageCache;
class LogSink;

// Where the four corners of the target are to show the source, in source
// pixels from the source's top-left corner.
struct StretchCorners {
    double x0, y0;  // target top-left
    double x1, y1;  // target top-right
    double x2, y2;  // target bottom-left
    double x3, y3;  // target bottom-right
};

// Resamples `source` into a `width` × `height` image through the bilinear
// map fixed by the corners, taking the nearest source pixel (black outside
// the source). Returns 0 on success; 1 or 2 when the map has no solution in
// x or y; 3 when the source cannot be opened; 4 when the target cannot be
// created; 5 when it cannot be written.
int StretchTga(const std::string& source, const std::string& target, const StretchCorners& corners, int width,
               int height, LogSink& log, ImageCache* images = nullptr);

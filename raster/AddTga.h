#pragma once

#include <string>

class ImageCache;
class LogSink;

// Copies the tile's pixels into the target with the tile's bottom-left pixel
// at (x, y) (rows counted from the bottom), clipping at the target's edges.
// A target that cannot be opened is replaced by a white canvas of
// canvasWidth × canvasHeight. Returns 0 on success, 1 when the tile cannot
// be opened, 3 when the target cannot be made or written.
int AddTga(const std::string& tile, const std::string& target, int x, int y, int canvasWidth, int canvasHeight,
           LogSink& log, ImageCache* images = nullptr);

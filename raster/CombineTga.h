#pragma once

#include <string>

class ImageCache;
class LogSink;

// Lays the street map over the elevation colouring. Map pixels in the
// transparent list show the colouring, pixels in the lightening list tint
// it, all others stay. The lists come from "legend.tga" in the current
// folder, or built-in defaults. A colouring of another size is first
// stretched to the map's size into "<colouring>.stretched.tga", removed
// afterwards unless `keepIntermediates`.
// Returns 0 on success, 1 when the map cannot be opened, 2 when the
// colouring (or its stretched copy) cannot be opened, 3 when the output
// cannot be made or written.
int CombineTga(const std::string& map, const std::string& elevationColoring, const std::string& output,
               LogSink& log, bool keepIntermediates,
               ImageCache* images = nullptr);

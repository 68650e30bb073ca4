#pragma once

#include "core/QuadGeometry.h"

#include <optional>
#include <string>

// What a successful job left behind: the quad it ran for, the full paths of
// its four result files and what its stages found on the way.
struct JobResult {
    Quad quad;
    std::string heightMap;
    std::string texture;  // the final texture: with the route when one was drawn
    std::string firstParameterFile;
    std::string secondParameterFile;
    int rasterRows = 0;  // the height map's size in pixels
    int rasterColumns = 0;
    // In scanner mode, the quad of the next job.
    std::optional<Quad> nextQuad;
};

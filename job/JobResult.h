#pragma once

#include "core/QuadGeometry.h"

#include <string>

// What a successful job left behind: the quad it ran for (copied when the
// job started, so scanner mode moving the fields on does not change it) and
// the full paths of its four result files.
struct JobResult {
    Quad quad;
    std::string heightMap;
    std::string texture;  // the final texture: with the route when one was drawn
    std::string firstParameterFile;
    std::string secondParameterFile;
};

#pragma once

#include "core/QuadGeometry.h"

#include <optional>
#include <string>

// Where the posts of a job's height map lie. The elevation raster has posts
// on all four edges of the quad; the import leaves out its north row and
// east column, so the image's top-left post lies on the west edge one post
// south of the north edge, and its bottom-left post on the south-west corner.
struct HeightMapPlacement {
    Quad quad;
    int columns = 0;
    int rows = 0;

    double SpacingX() const { return (quad.right - quad.left) / columns; }
    double SpacingY() const { return (quad.top - quad.bottom) / rows; }
    // The post of image column `column` (west to east) and row `row` (north
    // to south).
    double Longitude(int column) const { return quad.left + column * SpacingX(); }
    double Latitude(int row) const { return quad.top - (row + 1) * SpacingY(); }
};

// The quad of an existing height map found without the job that made it:
// from its sidecar "X_el.json" when one lies beside it, else from a name made
// from the quad's corner ("40.000000N99.000000W_el.tga"), whose size then
// follows from `columns` posts one arc-second apart. Nothing when neither
// tells.
std::optional<Quad> FindQuadOfHeightMap(const std::string& heightMap, int columns);

// The quad named by a coordinate file name, sized `size` degrees.
std::optional<Quad> QuadFromCoordinateName(const std::string& fileName, double size);

#include "core/QuadGeometry.h"

#include "core/StringPrintf.h"

#include <cmath>

int TextureWidth(double quadTop, double quadBottom, int textureHeight)
{
    const double midLatitude = (quadTop + quadBottom) * 0.5;
    return static_cast<int>(std::cos(midLatitude * kPi / 180.0) * textureHeight + 0.5);
}

Quad QuadFromPoint(double longitude, double latitude, double quadSize, bool alignToGrid)
{
    Quad quad;
    if (alignToGrid) {
        quad.right = std::ceil(longitude / quadSize) * quadSize;
        quad.left = quad.right - quadSize;
        quad.top = std::ceil(latitude / quadSize) * quadSize;
        quad.bottom = quad.top - quadSize;
    } else {
        quad.left = longitude - quadSize / 2;
        quad.right = longitude + quadSize / 2;
        quad.top = latitude + quadSize / 2;
        quad.bottom = latitude - quadSize / 2;
    }
    return quad;
}

std::string QuadLogLine(const Quad& quad)
{
    return StringPrintf("  quad: %lf, %lf, %lf, %lf", quad.left, quad.right, quad.top, quad.bottom);
}

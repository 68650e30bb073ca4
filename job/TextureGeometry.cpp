#include "job/TextureGeometry.h"

#include <algorithm>
#include <cmath>

namespace {

// The map image's quad rows and half width, as the texture stages ask for it.
constexpr double kMapTopRow = 24.0;
constexpr double kMapQuadRows = 1200.0;
constexpr double kMapHalfWidth = kMapImageWidth * 0.5;

} // namespace

TextureGeometry::TextureGeometry(const Quad& quad, int width, int height)
    : quad_(quad), width_(width), height_(height)
{
    const double span = quad.top - quad.bottom;
    // The map's box is 4 % taller than the quad and centred on it.
    const double mapSpan = span * 1.04;
    mapTop_ = (quad.top + quad.bottom) * 0.5 + mapSpan * 0.5;
    mapRowsPerDegree_ = kMapImageHeight / mapSpan;
    mapColumnsPerDegree_ = kMapImageWidth / (quad.right - quad.left);
    cosTop_ = std::cos(quad.top * kPi / 180);
    cosBottom_ = std::cos(quad.bottom * kPi / 180);
}

double TextureGeometry::LatitudeAt(double y) const
{
    const double mapRow = kMapTopRow + kMapQuadRows * y / height_;
    return mapTop_ - mapRow / mapRowsPerDegree_;
}

double TextureGeometry::LongitudeAt(double x, double y) const
{
    // The trapezoid's half width at this row, between the north and south
    // edges' cosines, and the map column x reaches across it.
    const double share = y / height_;
    const double halfWidth = kMapHalfWidth * (cosTop_ + (cosBottom_ - cosTop_) * share);
    const double mapColumn = kMapHalfWidth - halfWidth + 2 * halfWidth * x / width_;
    const double cosLatitude = std::max(1e-9, std::cos(LatitudeAt(y) * kPi / 180));
    return (quad_.left + quad_.right) * 0.5 + (mapColumn - kMapHalfWidth) / (mapColumnsPerDegree_ * cosLatitude);
}

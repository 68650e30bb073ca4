#pragma once

#include "core/QuadGeometry.h"

// Where each point of the texture lies on the ground: the place the street
// map shows there. The texture is the map image's trapezoid of the quad
// (north edge 1200 × cos(north) pixels long in row 24, south edge
// 1200 × cos(south) in row 1224) stretched bilinearly onto width × height
// pixels, so a point is followed through that stretch back into the map
// image and from there onto the ground by the map's own geometry (latitude
// linear in rows, longitude scaled by the cosine of the latitude).
class TextureGeometry {
public:
    TextureGeometry(const Quad& quad, int width, int height);

    int Width() const { return width_; }
    int Height() const { return height_; }

    // Texture coordinates are continuous: x from 0 at the west edge to
    // Width(), y from 0 at the north edge to Height(); pixel (c, r) has its
    // centre at (c + 0.5, r + 0.5). Latitude depends on the row alone.
    double LatitudeAt(double y) const;
    double LongitudeAt(double x, double y) const;

private:
    Quad quad_;
    int width_, height_;
    double mapTop_;          // latitude of the map image's top edge
    double mapRowsPerDegree_;
    double mapColumnsPerDegree_;  // at the equator
    double cosTop_, cosBottom_;
};

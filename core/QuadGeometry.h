#pragma once

#include <string>

inline constexpr double kPi = 3.141592653589793;

// The texture is 1200 pixels high unless the job asks for more; its width
// keeps one degree of longitude cos(mid-latitude) times as wide as one
// degree of latitude.
inline constexpr int kTextureHeight = 1200;

// The map image asked from the map server: 1200 pixels wide and 4 % taller
// than the quad, so the quad lies in rows 24 to 1224.
inline constexpr int kMapImageWidth = 1200;
inline constexpr int kMapImageHeight = static_cast<int>(1200 * 1.04 + 0.5);

struct Quad {
    double left = 0.0;
    double right = 0.0;
    double top = 0.0;
    double bottom = 0.0;
};

int TextureWidth(double quadTop, double quadBottom, int textureHeight = kTextureHeight);

// The quad of `quadSize` degrees for a point: either the grid cell whose
// east and north edges are the next multiples of the size at or above the
// point, or a quad centred on it.
Quad QuadFromPoint(double longitude, double latitude, double quadSize, bool alignToGrid);

// "  quad: left, right, top, bottom" as the activity log shows a derived quad.
std::string QuadLogLine(const Quad& quad);

#include "terrain/Noise.h"

#include <cmath>

double ValueNoise(double x, double y, double cell, uint64_t seed)
{
    const double fx = x / cell;
    const double fy = y / cell;
    const double ix = std::floor(fx);
    const double iy = std::floor(fy);
    const double wx = SmoothStep(fx - ix);
    const double wy = SmoothStep(fy - iy);
    const auto cx = static_cast<int64_t>(ix);
    const auto cy = static_cast<int64_t>(iy);
    const double a = CellRandom(cx, cy, seed);
    const double b = CellRandom(cx + 1, cy, seed);
    const double c = CellRandom(cx, cy + 1, seed);
    const double d = CellRandom(cx + 1, cy + 1, seed);
    const double top = a + (b - a) * wx;
    const double bottom = c + (d - c) * wx;
    return top + (bottom - top) * wy;
}

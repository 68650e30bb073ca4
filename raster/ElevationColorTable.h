#pragma once

#include <cstdint>

// The colour ramp that paints heights: entry i holds (red, green, blue) for
// heights 4 × i to 4 × i + 3.
inline constexpr int kElevationColorCount = 2000;
extern const uint8_t elevationColorTable[kElevationColorCount][3];

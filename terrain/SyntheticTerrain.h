#pragma once

#include "terrain/ElevationGrid.h"

// Deterministic terrain for places without real elevation: a function of
// absolute latitude and longitude shaped like the United States — low coastal
// plains in the east, the Appalachians, plains rising westward to the Rocky
// Mountains, basins and ranges, the Sierra and the coast ranges — with ridges
// and valleys at several scales. Heights are at least 1 m.

// Fills every post of the grid, at its spacing.
void FillSyntheticTerrain(ElevationGrid& grid);

// Height of one post at the given position in arc-seconds.
int SyntheticHeightAt(double longitudeArcSeconds, double latitudeArcSeconds);

// Marks clusters of voids (kNoDataSample) covering about `fraction` of the
// area, also a function of the place alone. `eligible`, when given, limits
// the marks to posts for which it holds true. Only grids of one arc-second
// posts get voids.
void StampSyntheticVoids(ElevationGrid& grid, double fraction,
                         const std::vector<bool>* eligible = nullptr);

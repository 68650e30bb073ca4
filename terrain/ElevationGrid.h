#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline constexpr int16_t kNoDataSample = -9999;
inline constexpr double kArcSecond = 1.0 / 3600.0;

// Elevation posts one arc-second apart (or `spacing` arc-seconds for a
// lattice shaped by ShapeLattice), stored row by row from north to south,
// west to east. Posts lie on both edges of the area, so a 1-degree quad has
// 3601 × 3601 of them.
struct ElevationGrid {
    int columns = 0;
    int rows = 0;
    double west = 0.0;   // longitude of the westmost post column
    double north = 0.0;  // latitude of the northmost post row
    double spacing = 1.0;  // arc-seconds between posts
    std::vector<int16_t> samples;

    int16_t& At(int column, int row) { return samples[static_cast<size_t>(row) * columns + column]; }
    int16_t At(int column, int row) const
    {
        return samples[static_cast<size_t>(row) * columns + column];
    }
    // Post positions in arc-seconds; every grid derives them the same way, so
    // grids whose edges meet sample the very same coordinates there.
    double ColumnArcSeconds(int column) const { return west * 3600.0 + column * spacing; }
    double RowArcSeconds(int row) const { return north * 3600.0 - row * spacing; }
};

// Number of posts on an edge of `degrees`, both ends included.
int PostsForSpan(double degrees);

// An empty grid of posts for the box; false when the box is degenerate or
// larger than `maxSpanDegrees` on a side.
bool ShapeGrid(ElevationGrid& grid, double west, double east, double south, double north,
               double maxSpanDegrees = 1.0);

// An empty grid of `columns` × `rows` posts `spacing` arc-seconds apart whose
// north-west post lies at (westArcSeconds, northArcSeconds); false when a
// side has fewer than two posts or the spacing is not positive.
bool ShapeLattice(ElevationGrid& grid, double westArcSeconds, double northArcSeconds, double spacing, int columns,
                  int rows);

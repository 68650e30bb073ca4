#include "terrain/ElevationGrid.h"

#include <cmath>

int PostsForSpan(double degrees)
{
    return static_cast<int>(std::floor(degrees * 3600.0 + 0.5)) + 1;
}

bool ShapeGrid(ElevationGrid& grid, double west, double east, double south, double north,
               double maxSpanDegrees)
{
    if (!(east > west) || !(north > south))
        return false;
    if (east - west > maxSpanDegrees + 1e-9 || north - south > maxSpanDegrees + 1e-9)
        return false;
    const int columns = PostsForSpan(east - west);
    const int rows = PostsForSpan(north - south);
    if (columns < 2 || rows < 2)
        return false;
    grid.columns = columns;
    grid.rows = rows;
    grid.west = west;
    grid.north = north;
    grid.samples.assign(static_cast<size_t>(columns) * rows, kNoDataSample);
    return true;
}

bool ShapeLattice(ElevationGrid& grid, double westArcSeconds, double northArcSeconds, double spacing, int columns,
                  int rows)
{
    if (!(spacing > 0.0) || columns < 2 || rows < 2)
        return false;
    grid.columns = columns;
    grid.rows = rows;
    grid.west = westArcSeconds / 3600.0;
    grid.north = northArcSeconds / 3600.0;
    grid.spacing = spacing;
    grid.samples.assign(static_cast<size_t>(columns) * rows, kNoDataSample);
    return true;
}

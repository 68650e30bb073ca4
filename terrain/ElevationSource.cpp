#include "terrain/ElevationSource.h"

#include "terrain/ElevationRaster.h"
#include "terrain/SyntheticTerrain.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iterator>
#include <tuple>

namespace {

// The data files that touch the box: the .hgt tiles by name, then every
// other raster of the folder.
std::vector<ElevationRaster> LoadData(const std::string& folder, double west, double east, double south,
                                      double north)
{
    std::vector<ElevationRaster> rasters;
    if (folder.empty())
        return rasters;
    for (int lat = static_cast<int>(std::floor(south)); lat <= static_cast<int>(std::floor(north)); ++lat) {
        for (int lon = static_cast<int>(std::floor(west)); lon <= static_cast<int>(std::floor(east)); ++lon) {
            ElevationRaster tile;
            if (LoadHgtTile(folder, lat, lon, tile))
                rasters.push_back(std::move(tile));
        }
    }
    std::vector<ElevationRaster> others = LoadFolderRasters(folder, west, east, south, north);
    std::move(others.begin(), others.end(), std::back_inserter(rasters));
    return rasters;
}

// Finest first, so the first file that holds a post serves it. Between files
// as fine as each other an .hgt tile comes first, and of two tiles the one
// north and east of the edge they share; then the file name decides.
void OrderFinestFirst(std::vector<ElevationRaster>& rasters)
{
    auto key = [](const ElevationRaster& r) {
        const bool isTile = r.name.size() > 4 && (r.name.ends_with(".hgt") || r.name.ends_with(".HGT"));
        return std::make_tuple(std::llround(r.Spacing() * 1e6), !isTile, -r.northPost, -r.westPost, r.name);
    };
    std::stable_sort(rasters.begin(), rasters.end(),
                     [&](const ElevationRaster& a, const ElevationRaster& b) { return key(a) < key(b); });
}

// The row and the column of `raster` whose posts fall on the grid's row y
// and its first column, when the raster's posts lie one arc-second apart on
// the grid's own posts; false otherwise.
bool AlignedPosts(const ElevationRaster& raster, const ElevationGrid& grid, double y, long& row, long& column)
{
    constexpr double kAligned = 1e-7;
    if (raster.spacingX != 1.0 || raster.spacingY != 1.0 || grid.spacing != 1.0)
        return false;
    const double fy = raster.northPost - y;
    const double fx = grid.ColumnArcSeconds(0) - raster.westPost;
    row = std::lround(fy);
    column = std::lround(fx);
    return std::fabs(fy - row) < kAligned && std::fabs(fx - column) < kAligned;
}

// The posts of one grid row that `raster` holds and no earlier raster did.
size_t FillRowFromRaster(const ElevationRaster& raster, ElevationGrid& grid, int row, std::vector<bool>& fromData)
{
    const double y = grid.RowArcSeconds(row);
    long rasterRow = 0, firstColumn = 0;
    const bool aligned = AlignedPosts(raster, grid, y, rasterRow, firstColumn);
    size_t covered = 0;
    for (int column = 0; column < grid.columns; ++column) {
        const size_t index = static_cast<size_t>(row) * grid.columns + column;
        const double x = grid.ColumnArcSeconds(column);
        if (fromData[index] || !raster.Covers(x, y))
            continue;
        if (aligned) {
            // On a post: the post itself, as Sample() would give it, without
            // its interpolation arithmetic.
            const int16_t post = raster.Post(static_cast<int>(firstColumn + column), static_cast<int>(rasterRow));
            grid.samples[index] = post == ElevationRaster::kVoidPost ? kNoDataSample : post;
        } else {
            grid.samples[index] = static_cast<int16_t>(raster.Sample(x, y));
        }
        fromData[index] = true;
        ++covered;
    }
    return covered;
}

// Fills the posts that some data file holds; returns how many it filled.
// Each post comes from the first raster (in the given order) that holds it.
size_t FillRowsFromData(const std::vector<ElevationRaster>& rasters, ElevationGrid& grid, std::vector<bool>& fromData,
                        int firstRow, int endRow)
{
    size_t covered = 0;
    for (int row = firstRow; row < endRow; ++row) {
        const double y = grid.RowArcSeconds(row);
        for (const ElevationRaster& raster : rasters)
            if (raster.CoversLatitude(y))
                covered += FillRowFromRaster(raster, grid, row, fromData);
    }
    return covered;
}

size_t FillFromData(const std::vector<ElevationRaster>& rasters, ElevationGrid& grid, std::vector<bool>& fromData)
{
    return FillRowsFromData(rasters, grid, fromData, 0, grid.rows);
}

}  // namespace

std::string HgtTileName(int latitude, int longitude)
{
    return HgtCellName({latitude, longitude}) + ".hgt";
}

bool BuildElevationGridFromTileFiles(const std::vector<std::pair<HgtCell, std::string>>& tiles, double west,
                                     double east, double south, double north, ElevationGrid& grid)
{
    if (!ShapeGrid(grid, west, east, south, north))
        return false;
    // The tiles are read a band of rows at a time, so that beside the grid
    // only a band of each tile is held, never whole tiles.
    constexpr int kBandRows = 256;
    std::vector<bool> fromData(grid.samples.size(), false);
    for (int firstRow = 0; firstRow < grid.rows; firstRow += kBandRows) {
        const int endRow = std::min(grid.rows, firstRow + kBandRows);
        const HgtBox band{west, east, grid.RowArcSeconds(endRow - 1) / 3600.0, grid.RowArcSeconds(firstRow) / 3600.0};
        std::vector<ElevationRaster> rasters;
        for (const auto& [cell, path] : tiles) {
            if (band.south > cell.latitude + 1 || band.north < cell.latitude)
                continue;  // the band lies outside this tile
            ElevationRaster tile;
            if (!LoadHgtFile(path, cell.latitude, cell.longitude, tile, &band))
                return false;
            rasters.push_back(std::move(tile));
        }
        OrderFinestFirst(rasters);
        FillRowsFromData(rasters, grid, fromData, firstRow, endRow);
    }
    return true;
}

namespace {

// Fills a shaped grid whose posts span the box from the data files and
// synthetic terrain.
void FillElevationGrid(const ElevationSourceOptions& options, double west, double east, double south, double north,
                       ElevationGrid& grid)
{
    std::vector<ElevationRaster> rasters = LoadData(options.hgtFolder, west, east, south, north);
    OrderFinestFirst(rasters);
    const size_t count = grid.samples.size();
    std::vector<bool> fromData(count, false);
    const size_t covered = rasters.empty() ? 0 : FillFromData(rasters, grid, fromData);
    if (covered == count)
        return;
    if (covered == 0) {
        FillSyntheticTerrain(grid);
        StampSyntheticVoids(grid, options.voidFraction);
        return;
    }

    ElevationGrid synthetic = grid;
    FillSyntheticTerrain(synthetic);
    std::vector<bool> eligible(count);
    for (size_t i = 0; i < count; ++i) {
        eligible[i] = !fromData[i];
        if (!fromData[i])
            grid.samples[i] = synthetic.samples[i];
    }
    StampSyntheticVoids(grid, options.voidFraction, &eligible);
}

}  // namespace

bool BuildElevationGrid(const ElevationSourceOptions& options, double west, double east,
                        double south, double north, ElevationGrid& grid)
{
    if (!ShapeGrid(grid, west, east, south, north))
        return false;
    FillElevationGrid(options, west, east, south, north, grid);
    return true;
}

bool BuildElevationLattice(const ElevationSourceOptions& options, double westArcSeconds, double northArcSeconds,
                           double spacing, int columns, int rows, ElevationGrid& grid)
{
    if (!ShapeLattice(grid, westArcSeconds, northArcSeconds, spacing, columns, rows))
        return false;
    const double east = (westArcSeconds + (columns - 1) * spacing) / 3600.0;
    const double south = (northArcSeconds - (rows - 1) * spacing) / 3600.0;
    FillElevationGrid(options, grid.west, east, south, grid.north, grid);
    return true;
}

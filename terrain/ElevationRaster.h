#pragma once

#include <cstdint>
#include <string>
#include <vector>

// A block of elevation posts from one data file — an SRTM .hgt tile or any
// north-up longitude/latitude raster GDAL reads — in the arc-second
// coordinates of ElevationGrid. Voids are stored as kVoidPost.
struct ElevationRaster {
    static constexpr int16_t kVoidPost = -32768;

    std::string name;          // the file it came from, for messages
    int columns = 0;
    int rows = 0;
    double westPost = 0.0;     // arc-seconds east of Greenwich of column 0
    double northPost = 0.0;    // arc-seconds north of the equator of row 0
    double spacingX = 1.0;     // arc-seconds between columns
    double spacingY = 1.0;     // arc-seconds between rows
    std::vector<int16_t> posts;  // row by row from north to south

    int16_t Post(int column, int row) const { return posts[static_cast<size_t>(row) * columns + column]; }
    // The larger of the two spacings: the smaller it is, the finer the file.
    double Spacing() const { return spacingX > spacingY ? spacingX : spacingY; }
    // Whether (x, y) lies between the posts (edges included).
    bool Covers(double x, double y) const;
    bool CoversLatitude(double y) const;
    // The height at (x, y): the post itself where (x, y) falls on one, else
    // interpolated between the four around it (the nearest one if any of
    // them is void); kNoDataSample for a void.
    int Sample(double x, double y) const;
};

// A box in degrees.
struct HgtBox {
    double west = 0, east = 0, south = 0, north = 0;
};

// The SRTM tile at `path` of the cell whose south-west corner is
// (latitude, longitude): its posts within `box` and one around it, or all of
// them when `box` is null. False when it cannot be read or has the wrong size.
bool LoadHgtFile(const std::string& path, int latitude, int longitude, ElevationRaster& raster, const HgtBox* box);

// An SRTM tile "N39W099.hgt" (or its lower-case name) of `folder`; false
// when neither name exists. A file of the wrong size is reported on
// standard error and not used.
bool LoadHgtTile(const std::string& folder, int latitude, int longitude, ElevationRaster& raster);

// The rasters GDAL reads in `folder` (every file but .hgt tiles) with the
// posts that fall into the box (in degrees) and one post around it. Files
// that are no readable elevation raster are named on standard error, once
// per process; their companion files (world files, headers, .prj) are not.
std::vector<ElevationRaster> LoadFolderRasters(const std::string& folder, double west, double east, double south,
                                               double north);

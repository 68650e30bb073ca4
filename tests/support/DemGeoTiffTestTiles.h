#pragma once

// GeoTIFF tiles laid out like the USGS 3DEP staged 1" tiles, made with GDAL
// for the tests of the second elevation source. Header-only; users link
// GDAL (the live library brings it).

#include "tests/support/HgtTestTiles.h"

#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <cmath>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

struct DemGeoTiffLayout {
    int overlap = 6;             // pixels beyond the cell on every side
    bool centresOnPosts = true;  // pixel centres on whole arc-seconds (else on half ones, as real tiles)
    const char* crs = "EPSG:4269";  // NAD83 geographic; empty: none
    bool noData = true;          // declares -999999 as no-data
    int trimEast = 0;            // pixels cut off the east side
};

// The height of a test GeoTIFF pixel whose centre is (x, y) arc-seconds:
// the test terrain plus a fraction that rounds away, so posts on centres
// must come out as TestTerrain exactly.
inline double DemTestHeight(double x, double y)
{
    return TestTerrain(std::lround(x), std::lround(y)) + 0.3;
}

// Writes the tile of the cell with south-west corner (latitude, longitude)
// to `path`; pixels for which `isVoid` holds get the no-data value.
inline void WriteDemGeoTiff(const std::string& path, int latitude, int longitude, const DemGeoTiffLayout& layout = {},
                            const std::function<bool(long x, long y)>& isVoid = {})
{
    GDALAllRegister();
    const double half = layout.centresOnPosts ? 0.5 : 0.0;
    const int side = 3601 + 2 * layout.overlap - (layout.centresOnPosts ? 0 : 1);
    const int columns = side - layout.trimEast;
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    char** options = CSLSetNameValue(nullptr, "COMPRESS", "DEFLATE");
    options = CSLSetNameValue(options, "ZLEVEL", "1");
    GDALDatasetH dataset = GDALCreate(driver, path.c_str(), columns, side, 1, GDT_Float32, options);
    CSLDestroy(options);
    if (!dataset)
        throw std::runtime_error("GDALCreate " + path);
    // Column c's centre lies at west + (c + 0.5) pixels.
    const double west = longitude * 3600.0 - layout.overlap - half;
    const double north = (latitude + 1) * 3600.0 + layout.overlap + half;
    double transform[6] = {west / 3600.0, 1.0 / 3600.0, 0, north / 3600.0, 0, -1.0 / 3600.0};
    GDALSetGeoTransform(dataset, transform);
    if (*layout.crs) {
        OGRSpatialReferenceH srs = OSRNewSpatialReference(nullptr);
        OSRSetFromUserInput(srs, layout.crs);
        GDALSetSpatialRef(dataset, srs);
        OSRDestroySpatialReference(srs);
    }
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    if (layout.noData)
        GDALSetRasterNoDataValue(band, -999999);
    std::vector<float> row(static_cast<size_t>(columns));
    for (int r = 0; r < side; ++r) {
        const double y = north - (r + 0.5);
        for (int c = 0; c < columns; ++c) {
            const double x = west + (c + 0.5);
            const bool hole = isVoid && isVoid(std::lround(x), std::lround(y));
            row[c] = hole ? -999999.0f : static_cast<float>(DemTestHeight(x, y));
        }
        if (GDALRasterIO(band, GF_Write, 0, r, columns, 1, row.data(), columns, 1, GDT_Float32, 0, 0) != CE_None)
            throw std::runtime_error("GDALRasterIO");
    }
    GDALClose(dataset);
}

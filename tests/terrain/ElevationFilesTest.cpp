#include "terrain/ElevationSource.h"
#include "tests/support/TempDir.h"

#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <functional>
#include <vector>

namespace {

constexpr double kSecond = 1.0 / 3600.0;

// A height for every arc-second position, with a block of voids.
int16_t Terrain(long x, long y)
{
    if ((x + 1000000) % 700 < 7 && (y + 1000000) % 500 < 5)
        return -32768;
    return static_cast<int16_t>(200 + (x + 360 * 3600) % 900 + (y + 180 * 3600) % 611);
}

// The 3-arc-second tile with its south-west corner at (39°N, 99°W), as .hgt.
void WriteHgt(const std::string& folder)
{
    std::string bytes(1201 * 1201 * 2, '\0');
    for (int row = 0; row < 1201; ++row)
        for (int column = 0; column < 1201; ++column) {
            const auto value = static_cast<uint16_t>(Terrain(-99 * 3600L + column * 3, 40 * 3600L - row * 3));
            const size_t at = (static_cast<size_t>(row) * 1201 + column) * 2;
            bytes[at] = static_cast<char>(value >> 8);
            bytes[at + 1] = static_cast<char>(value & 0xff);
        }
    WriteFileBytes(folder + "/" + HgtTileName(39, -99), bytes);
}

struct Raster {
    int columns = 0, rows = 0;
    double transform[6] = {};
    int epsg = 4326;  // 0: none
    GDALDataType type = GDT_Int16;
    std::optional<double> noData;
    bool georeferenced = true;  // false: no transform inside the file
    std::function<double(int column, int row)> value;
};

void WriteGeoTiff(const std::string& path, const Raster& raster)
{
    GDALAllRegister();
    GDALDatasetH dataset =
        GDALCreate(GDALGetDriverByName("GTiff"), path.c_str(), raster.columns, raster.rows, 1, raster.type, nullptr);
    ASSERT_NE(dataset, nullptr);
    if (raster.georeferenced)
        GDALSetGeoTransform(dataset, const_cast<double*>(raster.transform));
    if (raster.epsg) {
        OGRSpatialReferenceH reference = OSRNewSpatialReference(nullptr);
        OSRImportFromEPSG(reference, raster.epsg);
        GDALSetSpatialRef(dataset, reference);
        OSRDestroySpatialReference(reference);
    }
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    if (raster.noData)
        GDALSetRasterNoDataValue(band, *raster.noData);
    std::vector<double> line(raster.columns);
    for (int row = 0; row < raster.rows; ++row) {
        for (int column = 0; column < raster.columns; ++column)
            line[column] = raster.value(column, row);
        ASSERT_EQ(GDALRasterIO(band, GF_Write, 0, row, raster.columns, 1, line.data(), raster.columns, 1,
                               GDT_Float64, 0, 0),
                  CE_None);
    }
    GDALClose(dataset);
}

// The same tile as the .hgt, as GDAL places such a tile: pixel areas
// centred on the posts, no data -32768.
Raster TileAsGeoTiff()
{
    Raster tile;
    tile.columns = tile.rows = 1201;
    const double half = 1.5 * kSecond;
    const double transform[6] = {-99 - half, 3 * kSecond, 0, 40 + half, 0, -3 * kSecond};
    std::copy(std::begin(transform), std::end(transform), tile.transform);
    tile.noData = -32768;
    tile.value = [](int column, int row) { return Terrain(-99 * 3600L + column * 3, 40 * 3600L - row * 3); };
    return tile;
}

ElevationGrid Build(const std::string& folder, double west, double north, double size)
{
    ElevationGrid grid;
    EXPECT_TRUE(BuildElevationGrid({folder, 0.0}, west, west + size, north - size, north, grid));
    return grid;
}

TEST(ElevationFiles, AGeoTiffServesTheSameHeightsAsTheSameTileAsHgt)
{
    TempDir hgt, tiff;
    WriteHgt(hgt.Path().string());
    WriteGeoTiff(tiff.File("tile.tif"), TileAsGeoTiff());
    // Inside the tile (posts between its posts are interpolated) and on its
    // north and east edges.
    size_t voids = 0;
    for (const auto& [west, north] : {std::pair{-98.7, 39.6}, std::pair{-98.1, 40.0}}) {
        const ElevationGrid fromHgt = Build(hgt.Path().string(), west, north, 0.1);
        const ElevationGrid fromTiff = Build(tiff.Path().string(), west, north, 0.1);
        ASSERT_EQ(fromHgt.samples.size(), fromTiff.samples.size());
        size_t differ = 0;
        for (size_t i = 0; i < fromHgt.samples.size(); ++i) {
            differ += fromHgt.samples[i] != fromTiff.samples[i];
            voids += fromTiff.samples[i] == kNoDataSample;
        }
        EXPECT_EQ(differ, 0u) << west << " " << north;
    }
    EXPECT_GT(voids, 0u);
}

TEST(ElevationFiles, TheFinerFileWinsWhereFilesOverlapAndNoDataBecomesAVoid)
{
    TempDir folder;
    WriteHgt(folder.Path().string());
    // A one-arc-second Float32 patch of 2000 m over 98.55°W-98.45°W,
    // 39.45°N-39.55°N, whose posts lie on whole arc-seconds, with one post
    // of no data.
    Raster patch;
    patch.columns = patch.rows = 361;
    const double transform[6] = {-98.55 - kSecond / 2, kSecond, 0, 39.55 + kSecond / 2, 0, -kSecond};
    std::copy(std::begin(transform), std::end(transform), patch.transform);
    patch.type = GDT_Float32;
    patch.noData = -3.4028234663852886e38;
    patch.value = [&](int column, int row) { return column == 100 && row == 230 ? *patch.noData : 2000.25; };
    WriteGeoTiff(folder.File("patch.tif"), patch);

    const ElevationGrid grid = Build(folder.Path().string(), -98.6, 39.5, 0.1);
    const ElevationGrid tileOnly = [&] {
        TempDir hgt;
        WriteHgt(hgt.Path().string());
        return Build(hgt.Path().string(), -98.6, 39.5, 0.1);
    }();
    // Grid column c lies at -98.6 + c", row r at 39.5 - r"; the patch
    // starts at column 180 and covers rows 0 to 180.
    EXPECT_EQ(grid.At(180, 0), 2000);
    EXPECT_EQ(grid.At(360, 180), 2000);
    EXPECT_EQ(grid.At(280, 50), kNoDataSample);  // patch post (100, 230)
    EXPECT_EQ(grid.At(179, 0), tileOnly.At(179, 0));
    EXPECT_EQ(grid.At(200, 181), tileOnly.At(200, 181));
}

TEST(ElevationFiles, FilesThatAreNoElevationRasterAreNamedAndSkipped)
{
    TempDir folder;
    WriteFileBytes(folder.File("notes.txt"), "tiles from the survey\n");
    // A projected raster and one without georeferencing.
    Raster projected = TileAsGeoTiff();
    projected.columns = projected.rows = 10;
    const double utm[6] = {500000, 30, 0, 4400000, 0, -30};
    std::copy(std::begin(utm), std::end(utm), projected.transform);
    projected.epsg = 32614;
    WriteGeoTiff(folder.File("utm.tif"), projected);
    Raster plain = projected;
    plain.epsg = 0;
    plain.georeferenced = false;
    WriteGeoTiff(folder.File("plain.tif"), plain);
    // A usable raster placed by its world file, which is its companion, not
    // a stray file.
    Raster good = TileAsGeoTiff();
    good.epsg = 0;
    good.georeferenced = false;
    WriteGeoTiff(folder.File("good.tif"), good);
    WriteFileBytes(folder.File("good.tfw"),
                   "0.000833333333333333\n0\n0\n-0.000833333333333333\n-99\n40\n");

    testing::internal::CaptureStderr();
    const ElevationGrid grid = Build(folder.Path().string(), -98.7, 39.6, 0.1);
    const std::string errors = testing::internal::GetCapturedStderr();
    for (const char* name : {"notes.txt", "utm.tif", "plain.tif"})
        EXPECT_NE(errors.find("\"" + folder.File(name) + "\""), std::string::npos) << name << "\n" << errors;
    EXPECT_NE(errors.find("not in longitude and latitude"), std::string::npos) << errors;
    EXPECT_EQ(errors.find("good."), std::string::npos) << errors;
    // The good raster still serves the posts.
    EXPECT_EQ(grid.At(0, 0), Terrain(static_cast<long>(std::lround(-98.7 * 3600)), static_cast<long>(std::lround(39.6 * 3600))));

    // Each file is named once, not on every order.
    testing::internal::CaptureStderr();
    Build(folder.Path().string(), -98.7, 39.6, 0.1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST(ElevationFiles, OnlyPlainRasterFilesInsideTheFolderAreOpened)
{
    TempDir outside, folder;
    // A raster outside the folder, reached through a VRT, a link and GDAL's
    // virtual file systems: none of them may be read.
    Raster secret = TileAsGeoTiff();
    secret.value = [](int, int) { return 4321.0; };
    WriteGeoTiff(outside.File("secret.tif"), secret);
    WriteFileBytes(folder.File("points-elsewhere.vrt"),
                   "<VRTDataset rasterXSize=\"1201\" rasterYSize=\"1201\"><SRS>EPSG:4326</SRS>"
                   "<GeoTransform>-99.0004166,0.000833333,0,40.0004166,0,-0.000833333</GeoTransform>"
                   "<VRTRasterBand dataType=\"Int16\" band=\"1\"><SimpleSource><SourceFilename relativeToVRT=\"0\">" +
                       outside.File("secret.tif") +
                       "</SourceFilename><SourceBand>1</SourceBand></SimpleSource></VRTRasterBand></VRTDataset>");
    std::filesystem::create_symlink(outside.File("secret.tif"), folder.File("link.tif"));
    ASSERT_EQ(::mkfifo(folder.File("pipe.tif").c_str(), 0600), 0);

    testing::internal::CaptureStderr();
    const auto started = std::chrono::steady_clock::now();
    const ElevationGrid grid = Build(folder.Path().string(), -98.7, 39.6, 0.1);
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10)) << "the FIFO blocked the read";
    for (const int16_t post : grid.samples)
        ASSERT_NE(post, 4321) << "a post came from outside the folder";
    EXPECT_NE(errors.find("\"" + folder.File("points-elsewhere.vrt") + "\" in the data folder: it is no raster of the"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("\"" + folder.File("link.tif") + "\" in the data folder: it is a link to a place outside"),
              std::string::npos)
        << errors;
    EXPECT_NE(errors.find("\"" + folder.File("pipe.tif") + "\" in the data folder: it is no regular file"),
              std::string::npos)
        << errors;

    // A link to a file inside the folder is fine.
    WriteGeoTiff(folder.File("inside.data"), TileAsGeoTiff());
    std::filesystem::create_symlink(folder.File("inside.data"), folder.File("inside.tif"));
    testing::internal::CaptureStderr();
    const ElevationGrid served = Build(folder.Path().string(), -98.7, 39.6, 0.1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(served.At(0, 0),
              Terrain(static_cast<long>(std::lround(-98.7 * 3600)), static_cast<long>(std::lround(39.6 * 3600))));
}

TEST(ElevationFiles, ARasterFinerThanAnArcSecondIsReadAtArcSecondPosts)
{
    TempDir folder;
    // A third of an arc-second, as the finest USGS tiles: each post's height
    // sits on the pixel whose centre is the post, the pixels between differ.
    Raster fine;
    fine.columns = fine.rows = 3 * 400 + 1;
    const double third = kSecond / 3;
    const double transform[6] = {-98.8 - third / 2, third, 0, 39.7 + third / 2, 0, -third};
    std::copy(std::begin(transform), std::end(transform), fine.transform);
    fine.noData = -32768;
    fine.value = [](int column, int row) {
        if (column % 3 != 0 || row % 3 != 0)
            return 9000.0;
        return static_cast<double>(Terrain(static_cast<long>(std::lround(-98.8 * 3600)) + column / 3,
                                           static_cast<long>(std::lround(39.7 * 3600)) - row / 3));
    };
    WriteGeoTiff(folder.File("third.tif"), fine);
    const ElevationGrid grid = Build(folder.Path().string(), -98.75, 39.65, 0.05);
    long differ = 0;
    for (int row = 0; row < grid.rows; ++row)
        for (int column = 0; column < grid.columns; ++column)
            differ += grid.At(column, row) !=
                      Terrain(static_cast<long>(std::lround(grid.ColumnArcSeconds(column))),
                              static_cast<long>(std::lround(grid.RowArcSeconds(row))));
    EXPECT_EQ(differ, 0);
}

} // namespace

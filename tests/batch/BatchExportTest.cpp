#include "raster/TGAFile.h"
#include "tests/support/TempDir.h"

#include <gdal.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <vector>

namespace {

// Runs terrafetch-batch in `folder` on the bundled services; its exit status.
int RunBatch(const TempDir& folder, const std::string& arguments)
{
    const std::string command = "cd \"" + folder.Path().string() +
                                "\" && env -u TERRAFETCH_EXTRACT_HOST -u TERRAFETCH_MAP_HOST -u TERRAFETCH_GEOCODE_HOST \"" +
                                TERRAFETCH_BATCH_PROGRAM "\" " + arguments + " > log.txt 2> errors.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::set<std::string> Names(const TempDir& folder)
{
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder.Path()))
        names.insert(entry.path().filename().string());
    return names;
}

TEST(BatchExport, AJobWritesItsResultsAndTheFiveExportFiles)
{
    TempDir folder;
    ASSERT_EQ(RunBatch(folder, "--west -99 --north 40 --size 0.1 --names-from-coordinates --export png16,geotiff,r16,png"), 0)
        << ReadFileBytes(folder.File("log.txt")) << ReadFileBytes(folder.File("errors.txt"));
    const std::string prefix = "40.000000N99.000000W";
    const std::set<std::string> expected{"log.txt", "errors.txt",
                                         prefix + "_el.tga", prefix + "_tx_c.tga", prefix + "_1.alp", prefix + "_2.alp",
                                         prefix + "_el.png", prefix + "_el.tif", prefix + "_el.r16", prefix + "_el.json",
                                         prefix + "_tx.png"};
    std::set<std::string> names = Names(folder);
    names.erase("terraFetch.log");  // written only when a status page needs tracing
    EXPECT_EQ(names, expected);

    // The GeoTIFF's first post at 99°W, one post south of 40°N, posts one
    // arc-second apart, every value the height map's.
    GDALAllRegister();
    GDALDatasetH tiff = GDALOpen(folder.File(prefix + "_el.tif").c_str(), GA_ReadOnly);
    ASSERT_NE(tiff, nullptr);
    double transform[6] = {};
    ASSERT_EQ(GDALGetGeoTransform(tiff, transform), CE_None);
    EXPECT_NEAR(transform[0] + transform[1] / 2, -99.0, 1e-9);
    EXPECT_NEAR(transform[3] + transform[5] / 2, 40.0 - 1.0 / 3600, 1e-9);
    EXPECT_NEAR(transform[1], 1.0 / 3600, 1e-12);
    EXPECT_NEAR(transform[5], -1.0 / 3600, 1e-12);
    TGAFile heightMap;
    ASSERT_EQ(heightMap.Open(folder.File(prefix + "_el.tga")), 0);
    const int columns = heightMap.GetWidth(), rows = heightMap.GetHeight();
    ASSERT_EQ(GDALGetRasterXSize(tiff), columns);
    ASSERT_EQ(GDALGetRasterYSize(tiff), rows);
    std::vector<int32_t> values(static_cast<size_t>(columns) * rows);
    ASSERT_EQ(GDALRasterIO(GDALGetRasterBand(tiff, 1), GF_Read, 0, 0, columns, rows, values.data(), columns, rows,
                           GDT_Int32, 0, 0),
              CE_None);
    GDALClose(tiff);
    long differ = 0;
    for (int row = 0; row < rows; ++row)
        for (int x = 0; x < columns; ++x)
            differ += values[static_cast<size_t>(row) * columns + x] != heightMap.GetValue(x, rows - 1 - row);
    EXPECT_EQ(differ, 0);
}

} // namespace

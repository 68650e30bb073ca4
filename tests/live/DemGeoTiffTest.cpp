#include "live/DemGeoTiff.h"
#include "live/ElevationTileFetcher.h"
#include "live/SourceCacheKey.h"
#include "tests/support/Deadline.h"
#include "tests/support/DemGeoTiffTestTiles.h"
#include "tests/support/HgtTestTiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <set>
#include <thread>

namespace {

namespace fs = std::filesystem;

int PostAt(const std::string& heights, int column, int row)
{
    const size_t at = (static_cast<size_t>(row) * 3601 + column) * 2;
    return static_cast<int16_t>((static_cast<uint8_t>(heights[at]) << 8) | static_cast<uint8_t>(heights[at + 1]));
}

// Converts `tiff` for the cell; the height file's bytes, or empty with `error` set.
std::string Convert(const std::string& tiff, HgtCell cell, std::string& error, const fs::path& folder)
{
    const std::string out = (folder / "out.hgt").string();
    std::FILE* file = std::fopen(out.c_str(), "wb");
    const bool converted = ConvertDemGeoTiff(tiff, cell, file, error);
    std::fclose(file);
    return converted ? ReadFileBytes(out) : std::string();
}


TEST(DemGeoTiff, TilesAreNamedByTheirNorthWestCorner)
{
    EXPECT_EQ(DemGeoTiffUrl("https://h/current/", {39, -99}), "https://h/current/n40w099/USGS_1_n40w099.tif");
    EXPECT_EQ(DemGeoTiffUrl("https://h", {-1, 10}), "https://h/n00e010/USGS_1_n00e010.tif");
    EXPECT_EQ(DemGeoTiffUrl("https://h", {-3, -1}), "https://h/s02w001/USGS_1_s02w001.tif");
}

TEST(DemGeoTiff, PostsOnPixelCentresKeepTheirHeightsAndNoDataBecomesVoid)
{
    TempDir folder;
    const std::string tiff = (folder.Path() / "tile.tif").string();
    // Voids at one inner post and on the cell's north-west corner.
    const long west = -99 * 3600L, north = 40 * 3600L;
    WriteDemGeoTiff(tiff, 39, -99, {}, [&](long x, long y) {
        return (x == west + 1000 && y == north - 2000) || (x == west && y == north);
    });
    std::string error;
    const std::string heights = Convert(tiff, {39, -99}, error, folder.Path());
    ASSERT_EQ(heights.size(), kLargestHgtBytes) << error;
    int mismatches = 0;
    for (int row = 0; row < 3601; ++row)
        for (int column = 0; column < 3601; ++column) {
            const bool hole = (column == 1000 && row == 2000) || (column == 0 && row == 0);
            const int expected = hole ? -32768 : TestTerrain(west + column, north - row);
            mismatches += PostAt(heights, column, row) != expected;
        }
    EXPECT_EQ(mismatches, 0);
}

TEST(DemGeoTiff, PostsBetweenPixelCentresAreInterpolated)
{
    // As the real tiles: pixel edges on whole arc-seconds, centres between posts.
    TempDir folder;
    const std::string tiff = (folder.Path() / "tile.tif").string();
    DemGeoTiffLayout layout;
    layout.centresOnPosts = false;
    WriteDemGeoTiff(tiff, 39, -99, layout);
    std::string error;
    const std::string heights = Convert(tiff, {39, -99}, error, folder.Path());
    ASSERT_EQ(heights.size(), kLargestHgtBytes) << error;
    const double west = -99 * 3600.0, north = 40 * 3600.0;
    for (const auto& [column, row] : {std::pair{0, 0}, {3600, 3600}, {1234, 2345}, {17, 3599}}) {
        const double x = west + column, y = north - row;
        const double mean = (DemTestHeight(x - 0.5, y + 0.5) + DemTestHeight(x + 0.5, y + 0.5) +
                             DemTestHeight(x - 0.5, y - 0.5) + DemTestHeight(x + 0.5, y - 0.5)) /
                            4;
        EXPECT_EQ(PostAt(heights, column, row), std::lround(mean)) << column << ", " << row;
    }
}

TEST(DemGeoTiff, FilesThatAreNoUsableTileFailWithTheirCause)
{
    TempDir folder;
    struct Case {
        const char* name;
        DemGeoTiffLayout layout;
        const char* cause;
    };
    DemGeoTiffLayout narrow, noCrs, projected, noNoData;
    narrow.trimEast = 7;
    noCrs.crs = "";
    projected.crs = "EPSG:32614";
    noNoData.noData = false;
    for (const Case& c : {Case{"narrow", narrow, "do not cover the cell N39W099"},
                          Case{"no CRS", noCrs, "no coordinate system"},
                          Case{"projected", projected, "not geographic"},
                          Case{"no no-data", noNoData, "no no-data value"}}) {
        const std::string tiff = (folder.Path() / (std::string(c.name) + ".tif")).string();
        WriteDemGeoTiff(tiff, 39, -99, c.layout);
        std::string error;
        EXPECT_TRUE(Convert(tiff, {39, -99}, error, folder.Path()).empty()) << c.name;
        EXPECT_NE(error.find(c.cause), std::string::npos) << c.name << ": " << error;
    }
    // The right file for another cell, and a file that is no GeoTIFF at all.
    std::string error;
    EXPECT_TRUE(Convert((folder.Path() / "narrow.tif").string(), {39, -98}, error, folder.Path()).empty());
    EXPECT_NE(error.find("do not cover the cell N39W098"), std::string::npos) << error;
    const std::string notTiff = (folder.Path() / "page.tif").string();
    WriteFileBytes(notTiff, "<html>Not Found</html>");
    EXPECT_TRUE(Convert(notTiff, {39, -99}, error, folder.Path()).empty());
    EXPECT_NE(error.find("no readable GeoTIFF"), std::string::npos) << error;
}

// An order through the fetcher, from a tile bucket and a 3DEP stand-in.
class SecondSourceTest : public ::testing::Test {
protected:
    static const std::string& TiffOf(int latitude, int longitude)
    {
        static std::map<std::pair<int, int>, std::string> tiffs;
        std::string& bytes = tiffs[{latitude, longitude}];
        if (bytes.empty()) {
            TempDir scratch;
            const std::string path = (scratch.Path() / "t.tif").string();
            WriteDemGeoTiff(path, latitude, longitude);
            bytes = ReadFileBytes(path);
        }
        return bytes;
    }
    static std::string TiffPath(HgtCell cell) { return DemGeoTiffUrl("", cell); }

    TileFetchStatus RunOrder(const std::string& demUrl, const std::string& dem2Url, std::vector<HgtCell> cells,
                             std::vector<std::pair<HgtCell, std::string>>* ready = nullptr)
    {
        LiveSourceSettings settings;
        settings.cacheFolder = cache.Path().string();
        settings.demUrl = demUrl;
        settings.dem2Url = dem2Url;
        ElevationTileFetcher fetcher(settings, 2, UpstreamClient::Limits{2, 5, 2, std::chrono::milliseconds(10), 4});
        const auto order = fetcher.Start(std::move(cells));
        Deadline deadline(std::chrono::seconds(25), [] { return std::string("an elevation order"); });
        while (!order->Status().Done())
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        if (ready)
            *ready = order->ReadyTiles();
        return order->Status();
    }

    fs::path Elevation() const { return cache.Path() / "elevation"; }

    TempDir cache;
};

TEST_F(SecondSourceTest, CellsTheBucketFailsForComeFromTheGeoTiffsCellByCell)
{
    TestTileServer bucket, usgs;
    bucket.Put("/N39/N39W099.hgt.gz", Gzip(MakeHgtTile(39, -99)));
    usgs.Put(TiffPath({39, -98}), TiffOf(39, -98));
    std::vector<std::pair<HgtCell, std::string>> ready;
    const TileFetchStatus status = RunOrder(bucket.BaseUrl(), usgs.BaseUrl(), {{39, -99}, {39, -98}}, &ready);
    ASSERT_FALSE(status.failed) << status.error;
    EXPECT_TRUE(status.secondSourceUsed);
    EXPECT_EQ(usgs.RequestCount(), 1) << "only the failed cell goes to the second source";
    ASSERT_EQ(ready.size(), 2u);
    for (const auto& [cell, path] : ready) {
        const std::string heights = ReadFileBytes(path);
        ASSERT_EQ(heights.size(), kLargestHgtBytes);
        for (const auto& [column, row] : {std::pair{0, 0}, {3600, 3600}, {1800, 7}})
            EXPECT_EQ(PostAt(heights, column, row),
                      TestTerrain(cell.longitude * 3600L + column, (cell.latitude + 1) * 3600L - row));
    }
    std::set<std::string> notes(status.notes.begin(), status.notes.end());
    EXPECT_EQ(notes.count("N39W099 from " + bucket.BaseUrl()), 1u) << *notes.begin();
    bool fromUsgs = false;
    for (const std::string& note : notes)
        fromUsgs = fromUsgs || note.starts_with("N39W098 from the USGS 3DEP 1-arc-second GeoTIFFs");
    EXPECT_TRUE(fromUsgs) << *notes.rbegin();
    EXPECT_EQ(FilesUnder(Elevation()),
              (std::set<std::string>{SourceCacheFolderName(bucket.BaseUrl()) + "/N39W099.hgt",
                                     SourceCacheFolderName(usgs.BaseUrl()) + "/N39W098.hgt"}))
        << "the GeoTIFF is not kept, only its height file";

    // Both are cached now, each under its source.
    const TileFetchStatus again = RunOrder(bucket.BaseUrl(), usgs.BaseUrl(), {{39, -99}, {39, -98}});
    ASSERT_FALSE(again.failed) << again.error;
    EXPECT_EQ(again.fromCache, 2);
    EXPECT_EQ(usgs.RequestCount(), 1);
}

TEST_F(SecondSourceTest, AForbiddenBucketFailsAloneThenACorrectedUrlServesTheTile)
{
    LoopbackServer forbidden([](HttpTestConnection& c) { c.Reply(403, "", "<Error>AccessDenied</Error>"); });
    const std::string wrong = forbidden.Url("/skadi");
    const TileFetchStatus failed = RunOrder(wrong, "none", {{39, -99}});
    ASSERT_TRUE(failed.failed);
    EXPECT_NE(failed.error.find("answered 403 for " + wrong + "/N39/N39W099.hgt.gz: check TERRAFETCH_DEM_URL"),
              std::string::npos)
        << failed.error;
    EXPECT_TRUE(FilesUnder(Elevation()).empty()) << *FilesUnder(Elevation()).begin();

    TestTileServer bucket;
    const std::string tile = MakeHgtTile(39, -99, 1201);
    bucket.Put("/N39/N39W099.hgt.gz", Gzip(tile));
    std::vector<std::pair<HgtCell, std::string>> ready;
    const TileFetchStatus fixed = RunOrder(bucket.BaseUrl(), "none", {{39, -99}}, &ready);
    ASSERT_FALSE(fixed.failed) << fixed.error;
    ASSERT_EQ(ready.size(), 1u);
    EXPECT_EQ(ReadFileBytes(ready[0].second), tile);
}

TEST_F(SecondSourceTest, WhenBothSourcesFailTheOrderNamesBothCausesAndSettings)
{
    LoopbackServer forbidden([](HttpTestConnection& c) { c.Reply(403, "", "<Error>AccessDenied</Error>"); });
    TestTileServer usgs;
    usgs.Put(TiffPath({39, -99}), "<html>not a tiff</html>");
    const TileFetchStatus status = RunOrder(forbidden.Url(""), usgs.BaseUrl(), {{39, -99}});
    ASSERT_TRUE(status.failed);
    for (const std::string& part : {std::string("answered 403"), std::string("TERRAFETCH_DEM_URL"),
                                    usgs.BaseUrl() + TiffPath({39, -99}), std::string("no readable GeoTIFF"),
                                    std::string("TERRAFETCH_DEM2_URL")})
        EXPECT_NE(status.error.find(part), std::string::npos) << part << " in " << status.error;

    // A second source that answers 404 names its setting too.
    TestTileServer empty;
    const TileFetchStatus missing = RunOrder(forbidden.Url(""), empty.BaseUrl(), {{39, -99}});
    ASSERT_TRUE(missing.failed);
    EXPECT_NE(missing.error.find("status 404: check TERRAFETCH_DEM2_URL"), std::string::npos) << missing.error;
    EXPECT_TRUE(FilesUnder(Elevation()).empty()) << *FilesUnder(Elevation()).begin();
}

}  // namespace

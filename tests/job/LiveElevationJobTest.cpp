#include "core/JobFields.h"
#include "job/JobFileNames.h"
#include "job/JobParameters.h"
#include "job/RunJob.h"
#include "job/ServiceHosts.h"
#include "live/HgtTile.h"
#include "raster/TGAFile.h"
#include "services/ReferenceServices.h"
#include "tests/support/HgtTestTiles.h"
#include "tests/support/NoWaitServices.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <filesystem>
#include <memory>

namespace {

namespace fs = std::filesystem;

// Generating and packing a 3601² tile takes a moment: each is made once.
const std::string& GzippedTile(int latitude, int longitude)
{
    static std::map<std::pair<int, int>, std::string> tiles;
    std::string& tile = tiles[{latitude, longitude}];
    if (tile.empty())
        tile = Gzip(MakeHgtTile(latitude, longitude));
    return tile;
}

std::string TilePath(int latitude, int longitude)
{
    const std::string name = HgtCellName({latitude, longitude});
    return "/" + name.substr(0, 3) + "/" + name + ".hgt.gz";
}

// Jobs whose elevation comes live from a loopback tile source, through
// services of their own with a fresh cache; the map and geocoder are the
// bundled ones.
class LiveElevationJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        previous = fs::current_path();
        fs::current_path(jobFolder.Path());
        job.quadSize = 0.1;
    }
    void TearDown() override { fs::current_path(previous); }

    // Runs the quad with the north-west corner (west, north) in a fresh job
    // folder; the job's result code.
    int Run(double west, double north)
    {
        if (!services) {
            ReferenceServiceOptions options;
            options.waitSeconds = 0;
            options.live.live = true;
            options.live.cacheFolder = cache.Path().string();
            options.live.demUrl = tileSourceUrl + "/skadi";
            options.live.dem2Url = secondSourceUrl;
            // The job takes its map from the bundled services (see the hosts below).
            options.drawMapsAhead = false;
            services = std::make_unique<ReferenceServices>(options);
            EXPECT_NE(services->Start(), 0) << services->Error();
        }
        runFolder = std::make_unique<TempDir>();
        fs::current_path(runFolder->Path());
        window = std::make_unique<RecordingWindow>();
        job.SetWestEdge(west);
        job.SetNorthEdge(north);
        ServiceHosts hosts{services->HostAndPort(), NoWaitServices().HostAndPort(), NoWaitServices().HostAndPort()};
        const std::atomic<bool> neverCancelled{false};
        return RunJob(*window, JobParametersFrom(job, hosts), neverCancelled);
    }

    std::string Log() const
    {
        std::string text;
        for (const std::string& line : window->Lines())
            text += line + "\n";
        return text;
    }

    std::string HeightMapBytes() const
    {
        for (const auto& entry : fs::directory_iterator(runFolder->Path()))
            if (entry.path().string().ends_with("_el.tga"))
                return ReadFileBytes(entry.path().string());
        return {};
    }

    // Whether every cell whose tile holds the post (two or four on an edge)
    // is missing.
    static bool AllCellsMissing(long ax, long ay, const std::vector<HgtCell>& missing)
    {
        auto cells = [](long at) {
            const long cell = at >= 0 ? at / 3600 : -((-at + 3599) / 3600);
            return at % 3600 == 0 ? std::vector<int>{int(cell), int(cell - 1)} : std::vector<int>{int(cell)};
        };
        for (const int latitude : cells(ay))
            for (const int longitude : cells(ax))
                if (std::find(missing.begin(), missing.end(), HgtCell{latitude, longitude}) == missing.end())
                    return false;
        return true;
    }

    // Heights of the 0.1° job's map against the terrain of the tiles; posts
    // in `missing` cells must be voids (0). The count of posts that differ.
    int Mismatches(double west, double north, const std::vector<HgtCell>& missing = {}) const
    {
        TGAFile heights;
        for (const auto& entry : fs::directory_iterator(runFolder->Path())) {
            if (entry.path().string().ends_with("_el.tga")) {
                EXPECT_EQ(heights.Open(entry.path().string()), 0);
            }
        }
        EXPECT_EQ(heights.GetWidth(), 360);
        int mismatches = 0;
        for (int y = 0; y < 360; ++y)
            for (int x = 0; x < 360; ++x) {
                const long ax = std::lround(west * 3600) + x;
                const long ay = std::lround(north * 3600) - (360 - y);
                const bool isMissing = AllCellsMissing(ax, ay, missing);
                mismatches += heights.GetValue(x, y) != (isMissing ? 0 : TestTerrain(ax, ay));
            }
        return mismatches;
    }

    std::vector<std::string> CachedFiles() const
    {
        std::vector<std::string> names;
        std::error_code error;
        for (const auto& entry : fs::recursive_directory_iterator(cache.Path() / "elevation", error))
            if (entry.is_regular_file())
                names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir jobFolder, cache;
    fs::path previous;
    std::string tileSourceUrl;
    std::string secondSourceUrl = "none";
    std::unique_ptr<ReferenceServices> services;
    std::unique_ptr<TempDir> runFolder;
    std::unique_ptr<RecordingWindow> window;
    JobFields job;
};

TEST_F(LiveElevationJobTest, AnAlignedQuadTakesOneTileAndItsPostsAreTheHeights)
{
    TestTileServer source;
    source.Put("/skadi" + TilePath(39, -99), GzippedTile(39, -99));
    tileSourceUrl = source.BaseUrl();
    ASSERT_EQ(Run(-99, 40), 0) << Log();
    EXPECT_EQ(source.RequestCount(), 1);
    EXPECT_EQ(Mismatches(-99, 40), 0);
    const std::string log = Log();
    EXPECT_NE(log.find("1 of 1 elevation tile downloaded."), std::string::npos) << log;
    EXPECT_NE(log.find("Elevation: 1-arc-second tiles from " + source.BaseUrl() + "/skadi"), std::string::npos) << log;
    EXPECT_NE(log.find("Elevation data: U.S. Geological Survey and U.S. National Oceanic and Atmospheric "
                       "Administration (3DEP, SRTM, GMTED2010, ETOPO1; public domain)."),
              std::string::npos)
        << log;
    EXPECT_EQ(log.find("USGS 3D Elevation Program"), std::string::npos) << "the second source was not used";
    EXPECT_EQ(CachedFiles(), std::vector<std::string>{"N39W099.hgt"});
}

TEST_F(LiveElevationJobTest, AQuadAcrossFourTilesTakesEachPostFromItsTileAndAMissingTileFailsTheJob)
{
    TestTileServer source;
    tileSourceUrl = source.BaseUrl();
    for (const HgtCell cell : {HgtCell{38, -99}, HgtCell{39, -99}, HgtCell{38, -98}})
        source.Put("/skadi" + TilePath(cell.latitude, cell.longitude), GzippedTile(cell.latitude, cell.longitude));
    // N39W098 is missing: the source answers 404, which means a wrong URL.
    EXPECT_NE(Run(-98.05, 39.05), 0) << Log();
    EXPECT_NE(Log().find("answered 404 for " + tileSourceUrl + "/skadi" + TilePath(39, -98) +
                         ": check TERRAFETCH_DEM_URL"),
              std::string::npos)
        << Log();
    EXPECT_TRUE(HeightMapBytes().empty());
    const std::vector<std::string> cached = CachedFiles();
    EXPECT_EQ(std::count(cached.begin(), cached.end(), "N39W098.hgt"), 0);

    // Nothing was remembered for the cell: once the tile is there, it is used.
    source.Put("/skadi" + TilePath(39, -98), GzippedTile(39, -98));
    ASSERT_EQ(Run(-98.05, 39.05), 0) << Log();
    EXPECT_EQ(Mismatches(-98.05, 39.05), 0);
    EXPECT_NE(Log().find("4 of 4 elevation tiles downloaded"), std::string::npos) << Log();
}

TEST_F(LiveElevationJobTest, TheSecondRunIsServedFromTheCacheWithTheSameBytes)
{
    std::string first;
    {
        TestTileServer source;
        source.Put("/skadi" + TilePath(39, -99), GzippedTile(39, -99));
        tileSourceUrl = source.BaseUrl();
        ASSERT_EQ(Run(-99, 40), 0) << Log();
        first = HeightMapBytes();
    }
    ASSERT_EQ(Run(-99, 40), 0) << Log();
    EXPECT_EQ(HeightMapBytes(), first);
    EXPECT_NE(Log().find("1 of 1 elevation tile downloaded (1 from the cache)."), std::string::npos) << Log();
}

TEST_F(LiveElevationJobTest, BrokenTilesAndAStoppedSourceFailTheJobWithTheSourceAndTheCause)
{
    const std::string gzip = GzippedTile(39, -99);
    std::string corrupt = gzip;
    corrupt[gzip.size() / 2] ^= 0x55;
    struct Case {
        std::string body;  // empty: the source is stopped
        const char* cause;
    };
    for (const Case& c : {Case{corrupt, "no intact gzip"}, Case{gzip.substr(0, gzip.size() / 2), "truncated"},
                          Case{"", "could not be downloaded"}}) {
        services.reset();  // each case with a fresh cache
        std::error_code ignored;
        fs::remove_all(cache.Path() / "elevation", ignored);
        auto source = std::make_unique<TestTileServer>();
        source->Put("/skadi" + TilePath(39, -99), c.body);
        tileSourceUrl = source->BaseUrl();
        if (c.body.empty())
            source.reset();
        EXPECT_NE(Run(-99, 40), 0) << c.cause;
        const std::string log = Log();
        const std::string expected = "The elevation tiles from " + tileSourceUrl + "/skadi could not be fetched: ";
        EXPECT_NE(log.find(expected), std::string::npos) << log;
        EXPECT_NE(log.find(c.cause), std::string::npos) << log;
        EXPECT_NE(log.find("Error: Status Code is 502"), std::string::npos) << log;
        EXPECT_TRUE(CachedFiles().empty()) << CachedFiles().front();
        EXPECT_TRUE(HeightMapBytes().empty()) << "never synthetic terrain";
    }
}

}  // namespace

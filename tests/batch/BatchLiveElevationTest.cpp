#include "live/DemGeoTiff.h"
#include "services/ReferenceServices.h"
#include "tests/support/DemGeoTiffTestTiles.h"
#include "tests/support/HgtTestTiles.h"
#include "tests/support/TempDir.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

namespace {

namespace fs = std::filesystem;

struct ElevationRun {
    int status = -1;
    std::string log;
    std::string heightMap;  // the bytes of the job's _el.tga
};

// Runs terrafetch-batch on the 0.1° quad in the north-west corner of
// N39W099 in a fresh folder, live, with `environment` and `arguments`.
ElevationRun RunLiveQuad(const std::string& environment, const std::string& arguments)
{
    TempDir folder;
    const std::string command = "cd \"" + folder.Path().string() +
                                "\" && env -u TERRAFETCH_EXTRACT_HOST -u TERRAFETCH_DEM_URL -u TERRAFETCH_DEM2_URL "
                                "TERRAFETCH_SOURCES=live " + environment + " \"" TERRAFETCH_BATCH_PROGRAM
                                "\" --west -99 --north 40 --size 0.1 " + arguments + " > log.txt 2>&1";
    const int status = std::system(command.c_str());
    ElevationRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.log = ReadFileBytes(folder.File("log.txt"));
    for (const auto& entry : fs::directory_iterator(folder.Path()))
        if (entry.path().string().ends_with("_el.tga"))
            run.heightMap = ReadFileBytes(entry.path().string());
    return run;
}

// Pixels of the 0.1° height map (24-bit, bottom row first, 360 a side) whose
// height is not the test terrain's.
int Mismatches(const std::string& tga)
{
    if (tga.size() != 18u + 360u * 360u * 3u)
        return -1;
    int mismatches = 0;
    for (int y = 0; y < 360; ++y)
        for (int x = 0; x < 360; ++x) {
            const size_t at = 18 + (static_cast<size_t>(y) * 360 + x) * 3;
            int value = static_cast<uint8_t>(tga[at]) | static_cast<uint8_t>(tga[at + 1]) << 8 |
                        static_cast<uint8_t>(tga[at + 2]) << 16;
            value = value & 0x800000 ? value - 0x1000000 : value;
            mismatches += value != TestTerrain(-99 * 3600L + x, 39 * 3600L + 3240 + y);
        }
    return mismatches;
}

// The map and geocoder come from bundled services of the test's own; the
// elevation from the services the program starts, live, against stand-ins.
class BatchLiveElevation : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        ReferenceServiceOptions options;
        options.waitSeconds = 0;
        bundled = new ReferenceServices(options);
        ASSERT_NE(bundled->Start(), 0) << bundled->Error();
        TempDir scratch;
        WriteDemGeoTiff(scratch.File("tile.tif"), 39, -99);
        tiff = new std::string(ReadFileBytes(scratch.File("tile.tif")));
    }
    static void TearDownTestSuite()
    {
        delete bundled;
        delete tiff;
    }

    std::string Environment(const std::string& demUrl) const
    {
        return "TERRAFETCH_DEM_URL=" + demUrl + " XDG_CACHE_HOME=" + cache.Path().string() +
               " TERRAFETCH_MAP_HOST=" + bundled->HostAndPort() + " TERRAFETCH_GEOCODE_HOST=" + bundled->HostAndPort();
    }

    TempDir cache;
    static inline ReferenceServices* bundled = nullptr;
    static inline std::string* tiff = nullptr;
};

TEST_F(BatchLiveElevation, AForbiddenBucketFailsTheJobAndTheGeoTiffsStandIn)
{
    LoopbackServer forbidden([](HttpTestConnection& c) { c.Reply(403, "", "<Error>AccessDenied</Error>"); });
    const std::string bucket = forbidden.Url("/skadi");

    // Without a second source the job fails, naming the tile's URL and the setting.
    const ElevationRun alone = RunLiveQuad(Environment(bucket), "--dem2-url none");
    EXPECT_NE(alone.status, 0) << alone.log;
    EXPECT_NE(alone.log.find("answered 403 for " + bucket + "/N39/N39W099.hgt.gz: check TERRAFETCH_DEM_URL"),
              std::string::npos)
        << alone.log;
    EXPECT_EQ(alone.log.find("Download successfully finished."), std::string::npos) << alone.log;
    EXPECT_TRUE(alone.heightMap.empty());

    // With the GeoTIFFs the cell comes from them, to the metre.
    TestTileServer usgs;
    usgs.Put(DemGeoTiffUrl("", {39, -99}), *tiff);
    const ElevationRun failover = RunLiveQuad(Environment(bucket), "--dem2-url " + usgs.BaseUrl());
    ASSERT_EQ(failover.status, 0) << failover.log;
    EXPECT_EQ(Mismatches(failover.heightMap), 0);
    EXPECT_NE(failover.log.find("N39W099 from the USGS 3DEP 1-arc-second GeoTIFFs"), std::string::npos)
        << failover.log;
    EXPECT_NE(failover.log.find("USGS 3D Elevation Program"), std::string::npos) << failover.log;

    // Both down: the job fails naming both causes and both settings.
    TestTileServer empty;
    TempDir fresh;
    const ElevationRun both = RunLiveQuad(
        "TERRAFETCH_DEM2_URL=" + empty.BaseUrl() + " " + Environment(bucket) + " XDG_CACHE_HOME=" + fresh.Path().string(),
        "");
    EXPECT_NE(both.status, 0) << both.log;
    for (const std::string& part : {std::string("answered 403"), std::string("TERRAFETCH_DEM_URL"),
                                    empty.BaseUrl() + "/n40w099/USGS_1_n40w099.tif", std::string("status 404"),
                                    std::string("TERRAFETCH_DEM2_URL")})
        EXPECT_NE(both.log.find(part), std::string::npos) << part << " in " << both.log;
    EXPECT_TRUE(both.heightMap.empty());
}

}  // namespace

#include "batch/BatchOptions.h"
#include "live/WmsAnswer.h"
#include "mapdraw/MapRenderer.h"
#include "raster/TGAFile.h"
#include "services/ReferenceServices.h"
#include "tests/job/PatternImageryWms.h"
#include "tests/services/LiveSourceStandIns.h"
#include "tests/support/HgtTestTiles.h"
#include "tests/support/TempDir.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

namespace fs = std::filesystem;

struct BatchRun {
    int status = -1;
    std::string log;
    std::string heightMap;  // the bytes of the job's _el.tga
    std::string mapGif;     // the map tile, when intermediates are kept
};

// Runs terrafetch-batch in a fresh folder with `environment` ("NAME=value ...").
BatchRun RunBatch(const std::string& environment, const std::string& arguments)
{
    TempDir folder;
    const std::string command = "cd \"" + folder.Path().string() +
                                "\" && env -u TERRAFETCH_EXTRACT_HOST -u TERRAFETCH_MAP_HOST -u TERRAFETCH_GEOCODE_HOST "
                                "-u TERRAFETCH_SOURCES " + environment + " \"" TERRAFETCH_BATCH_PROGRAM "\" " +
                                arguments + " > log.txt 2>&1";
    const int status = std::system(command.c_str());
    BatchRun run;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    run.log = ReadFileBytes(folder.File("log.txt"));
    for (const auto& entry : fs::directory_iterator(folder.Path()))
        if (entry.path().string().ends_with("_el.tga"))
            run.heightMap = ReadFileBytes(entry.path().string());
        else if (entry.path().extension() == ".gif")
            run.mapGif = ReadFileBytes(entry.path().string());
    return run;
}

// The height of the map's pixel (x, y) of a job whose map is `width` posts
// wide: 24-bit, bottom row first.
int Height(const std::string& tga, int width, int x, int y)
{
    const size_t at = 18 + (static_cast<size_t>(y) * width + x) * 3;
    const int value = static_cast<uint8_t>(tga[at]) | static_cast<uint8_t>(tga[at + 1]) << 8 |
                      static_cast<uint8_t>(tga[at + 2]) << 16;
    return value & 0x800000 ? value - 0x1000000 : value;
}

// The colour a map drawn in `view`'s geometry has at a place.
std::vector<uint8_t> MapColourAt(const RgbImage& image, const MapView& view, double longitude, double latitude)
{
    const int column = static_cast<int>(MapColumnOf(view, longitude, latitude));
    const int row = static_cast<int>(MapRowOf(view, latitude));
    const uint8_t* pixel = &image.rgb[(static_cast<size_t>(row) * image.width + column) * 3];
    return std::vector<uint8_t>(pixel, pixel + 3);
}

// The default 1° quad with its tile at a loopback stand-in of the public
// source; the map and geocoder are bundled services of the test's own.
class BatchLiveSources : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        tile = new std::string(MakeHgtTile(39, -99));
        ReferenceServiceOptions options;
        options.waitSeconds = 0;
        options.dataFolder = data.Path().string();
        WriteFileBytes(data.File("N39W099.hgt"), *tile);
        bundled = new ReferenceServices(options);
        ASSERT_NE(bundled->Start(), 0) << bundled->Error();
    }
    static void TearDownTestSuite()
    {
        delete bundled;
        delete tile;
    }

    std::string LiveEnvironment(const std::string& demUrl, const TempDir& cache) const
    {
        const std::string host = bundled->HostAndPort();
        return "TERRAFETCH_SOURCES=live TERRAFETCH_DEM2_URL=none TERRAFETCH_DEM_URL=" + demUrl + " TERRAFETCH_WMS_URL=" + demUrl +
               "/wms TERRAFETCH_WMS_BOUNDARIES_URL=" + demUrl + "/wms TERRAFETCH_GEOCODER_URL=" + demUrl +
               "/geocoder XDG_CACHE_HOME=" + cache.Path().string() + " TERRAFETCH_MAP_HOST=" + host +
               " TERRAFETCH_GEOCODE_HOST=" + host;
    }

    static inline TempDir data;
    static inline std::string* tile = nullptr;
    static inline ReferenceServices* bundled = nullptr;
};

TEST_F(BatchLiveSources, ALiveJobWritesTheTilesPostsExactlyAsABundledJobWithTheTile)
{
    // A tenth of a degree in the north-west corner of the tile's cell.
    const std::string kTenthOfADegree = "--west -99 --north 40 --size 0.1";
    const std::string host = bundled->HostAndPort();
    const BatchRun reference =
        RunBatch("TERRAFETCH_EXTRACT_HOST=" + host + " TERRAFETCH_MAP_HOST=" + host + " TERRAFETCH_GEOCODE_HOST=" + host,
                 kTenthOfADegree);
    ASSERT_EQ(reference.status, 0) << reference.log;

    TempDir cache;
    std::string demUrl;
    {
        TestTileServer source;
        source.Put("/skadi/N39/N39W099.hgt.gz", Gzip(*tile));
        demUrl = source.BaseUrl() + "/skadi";
        const BatchRun live = RunBatch(LiveEnvironment(demUrl, cache), kTenthOfADegree);
        ASSERT_EQ(live.status, 0) << live.log;
        EXPECT_NE(live.log.find("1 of 1 elevation tile downloaded."), std::string::npos) << live.log;
        ASSERT_EQ(live.heightMap.size(), 18u + 360u * 360u * 3u);
        EXPECT_TRUE(live.heightMap == reference.heightMap) << "byte-identical to the bundled job";
        // Its south edge lies at 39.9°N, 143,640 arc-seconds.
        for (const auto& [x, y] : {std::pair{0, 0}, {359, 359}, {123, 234}})
            EXPECT_EQ(Height(live.heightMap, 360, x, y), TestTerrain(-99 * 3600L + x, 143640L + y));
    }

    // The source is gone: the cache serves the same bytes.
    const BatchRun offline = RunBatch(LiveEnvironment(demUrl, cache), kTenthOfADegree);
    ASSERT_EQ(offline.status, 0) << offline.log;
    EXPECT_TRUE(offline.heightMap == reference.heightMap);

    // The same with an empty cache fails clearly.
    TempDir empty;
    const BatchRun failed = RunBatch(LiveEnvironment(demUrl, empty), kTenthOfADegree);
    EXPECT_NE(failed.status, 0);
    EXPECT_NE(failed.log.find("The elevation tiles from " + demUrl + " could not be fetched: \"" + demUrl +
                              "/N39/N39W099.hgt.gz\" could not be downloaded"),
              std::string::npos)
        << failed.log;
    EXPECT_TRUE(failed.heightMap.empty());
}

TEST_F(BatchLiveSources, ALiveJobDrawsItsMapFromTheWmsServices)
{
    TempDir cache;
    TestTileServer source;
    source.Put("/skadi/N39/N39W099.hgt.gz", Gzip(*tile));
    WmsStandIn physical(kRoadRed, true, Answer::kPng), boundaries(kBoundaryBlue, false, Answer::kPng);
    // Every service of the job is the program's own, live.
    const std::string environment = "TERRAFETCH_SOURCES=live TERRAFETCH_DEM2_URL=none TERRAFETCH_DEM_URL=" + source.BaseUrl() +
                                    "/skadi TERRAFETCH_WMS_URL=" + physical.Url() +
                                    " TERRAFETCH_WMS_BOUNDARIES_URL=" + boundaries.Url() +
                                    " TERRAFETCH_GEOCODER_URL=http://127.0.0.1:9 XDG_CACHE_HOME=" +
                                    cache.Path().string();
    const BatchRun run = RunBatch(environment, "--west -99 --north 40 --keep-intermediates");
    ASSERT_EQ(run.status, 0) << run.log;
    EXPECT_FALSE(physical.Boxes().empty());
    EXPECT_FALSE(boundaries.Boxes().empty());

    const WmsAnswer map = ReadWmsAnswer("image/gif", run.mapGif, 4000 * 4000);
    ASSERT_TRUE(map.ok) << map.error;
    const MapView view{.longitude = -98.5, .latitude = 39.5, .width = 1.0, .height = 1.04,
                       .imageWidth = map.image.width, .imageHeight = map.image.height};
    // The stand-ins paint roads over the quad's west half, boundaries over all of it.
    auto colourAt = [&](double longitude, double latitude) { return MapColourAt(map.image, view, longitude, latitude); };
    EXPECT_EQ(colourAt(-98.73, 39.37), std::vector<uint8_t>(kRoadRed, kRoadRed + 3));
    EXPECT_EQ(colourAt(-98.27, 39.63), std::vector<uint8_t>(kBoundaryBlue, kBoundaryBlue + 3));
    EXPECT_EQ(colourAt(-98.43, 40.01), std::vector<uint8_t>(3, 255)) << "white beyond the quad";
}

TEST_F(BatchLiveSources, LiveImageryComesFromTheImageryUrlAndFailsWithoutAStandIn)
{
    TempDir cache;
    TestTileServer source;
    source.Put("/skadi/N39/N39W099.hgt.gz", Gzip(*tile));
    const std::string live = LiveEnvironment(source.BaseUrl() + "/skadi", cache);
    const std::string tenth = " --west -99 --north 40 --size 0.1 --texture-height 2400 --texture ";

    // The bundled services' drawn imagery, asked for as a live source.
    const std::string standIn = "http://" + bundled->HostAndPort() + "/imagery/wms";
    const BatchRun drawn = RunBatch(live + " TERRAFETCH_IMAGERY_URL=" + standIn, tenth + "imagery+map");
    ASSERT_EQ(drawn.status, 0) << drawn.log;
    EXPECT_NE(drawn.log.find("Imagery: from \"Drawn imagery stand-in"), std::string::npos) << drawn.log;

    // A known mark lands where the quad's geometry puts it.
    const ImageryMark mark{-98.95, 39.95, 0.002};
    PatternImageryWms pattern(4096, mark);
    TempDir folder;
    const std::string command = "cd \"" + folder.Path().string() + "\" && env " + live + " \"" TERRAFETCH_BATCH_PROGRAM
                                "\" --imagery-url " + pattern.Url() + tenth + "imagery > log.txt 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << ReadFileBytes(folder.File("log.txt"));
    std::string texture;
    for (const auto& entry : fs::directory_iterator(folder.Path()))
        if (entry.path().string().ends_with("_tx_c.tga"))
            texture = entry.path().string();
    TGAFile image;
    ASSERT_EQ(image.Open(texture), 0);
    const int width = image.GetWidth(), height = image.GetHeight();
    ASSERT_EQ(height, 2400);
    double columns = 0, rows = 0;
    long marked = 0;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            uint8_t bgr[32] = {};
            image.GetPixel(x, y, bgr);
            const uint8_t rgb[3] = {bgr[2], bgr[1], bgr[0]};
            if (PatternImageryWms::IsMark(rgb))
                columns += x + 0.5, rows += height - y - 0.5, ++marked;
        }
    ASSERT_GT(marked, 0);
    EXPECT_NEAR(columns / marked, (mark.longitude + 99.0) / 0.1 * width, 2.0);
    EXPECT_NEAR(rows / marked, (40.0 - mark.latitude) / 0.1 * height, 2.0);

    // A service that answers no imagery fails the job; nothing stands in for
    // it. (With the cache above, the pieces kept would serve the quad.)
    pattern.Fail(ImageryFailure::NotAnImage);
    TempDir emptyCache;
    const BatchRun refused = RunBatch(LiveEnvironment(source.BaseUrl() + "/skadi", emptyCache) +
                                          " TERRAFETCH_IMAGERY_URL=" + pattern.Url(),
                                      tenth + "imagery");
    EXPECT_NE(refused.status, 0);
    EXPECT_NE(refused.log.find("Check the imagery URL (TERRAFETCH_IMAGERY_URL or --imagery-url)"), std::string::npos)
        << refused.log;
    EXPECT_EQ(refused.log.find("Download successfully finished."), std::string::npos);
}

TEST_F(BatchLiveSources, TheSourcesOptionOverridesTheEnvironmentAndABadValueIsAnError)
{
    TempDir cache;
    // No tile source at all: a bundled job needs none.
    const BatchRun bundledRun =
        RunBatch(LiveEnvironment("http://127.0.0.1:9/skadi", cache), "--sources bundled --size 0.025");
    EXPECT_EQ(bundledRun.status, 0) << bundledRun.log;

    const BatchRun bad = RunBatch("TERRAFETCH_SOURCES=online", "--size 0.025");
    EXPECT_EQ(bad.status, 2);
    EXPECT_NE(bad.log.find("TERRAFETCH_SOURCES must be \"live\" or \"bundled\", not \"online\""), std::string::npos)
        << bad.log;

    BatchOptions options;
    std::string error;
    EXPECT_FALSE(ParseBatchOptions({"--sources", "internet"}, options, error));
    EXPECT_EQ(error, "--sources takes live or bundled, not \"internet\".");
    ASSERT_TRUE(ParseBatchOptions({"--sources", "live"}, options, error));
    EXPECT_EQ(options.liveSources, true);
}

// A 0.1-degree live job whose services are all the program's own, against WMS
// stand-ins of `edition`; the physical features stand-in renders each GetMap
// in `renderTime`.
BatchRun SmallLiveJob(const std::string& tile, Edition physicalEdition, Edition boundariesEdition,
                      std::chrono::milliseconds renderTime, const std::string& options)
{
    TempDir cache;
    TestTileServer source;
    source.Put("/skadi/N39/N39W099.hgt.gz", Gzip(tile));
    WmsStandIn physical(kRoadRed, true, Answer::kPng, physicalEdition);
    WmsStandIn boundaries(kBoundaryBlue, false, Answer::kPng, boundariesEdition);
    physical.SetRenderTime(renderTime);
    boundaries.SetRenderTime(renderTime);
    const std::string environment = "TERRAFETCH_SOURCES=live TERRAFETCH_DEM2_URL=none TERRAFETCH_DEM_URL=" + source.BaseUrl() +
                                    "/skadi TERRAFETCH_WMS_URL=" + physical.Url() +
                                    " TERRAFETCH_WMS_BOUNDARIES_URL=" + boundaries.Url() +
                                    " TERRAFETCH_GEOCODER_URL=http://127.0.0.1:9 XDG_CACHE_HOME=" +
                                    cache.Path().string();
    BatchRun run = RunBatch(environment, "--west -99 --north 40 --size 0.1 --keep-intermediates " + options);
    EXPECT_EQ(physical.RepeatedGetMaps(), 0) << "a piece rendered twice";
    EXPECT_EQ(boundaries.RepeatedGetMaps(), 0) << "a piece rendered twice";
    EXPECT_FALSE(physical.Boxes().empty());
    return run;
}

// The stand-ins' roads over the quad (all of it inside their red west half), white north of it.
void ExpectTheRoadsOfTheStandIn(const BatchRun& run)
{
    const WmsAnswer map = ReadWmsAnswer("image/gif", run.mapGif, 4000 * 4000);
    ASSERT_TRUE(map.ok) << map.error << "\n" << run.log;
    const MapView view{.longitude = -98.95, .latitude = 39.95, .width = 0.1, .height = 0.104,
                       .imageWidth = map.image.width, .imageHeight = map.image.height};
    auto colourAt = [&](double longitude, double latitude) { return MapColourAt(map.image, view, longitude, latitude); };
    EXPECT_EQ(colourAt(-98.963, 39.937), std::vector<uint8_t>(kRoadRed, kRoadRed + 3));
    EXPECT_EQ(colourAt(-98.93, 39.91), std::vector<uint8_t>(kRoadRed, kRoadRed + 3));
    EXPECT_EQ(colourAt(-98.937, 40.0015), std::vector<uint8_t>(3, 255)) << "white beyond the quad";
}

TEST_F(BatchLiveSources, NumberedAndTitleNamedLayersBothDrawTheMap)
{
    const BatchRun numbered = SmallLiveJob(*tile, Edition::kNumberedFrom40, Edition::kNumberedFrom10,
                                           std::chrono::milliseconds(0), "");
    ASSERT_EQ(numbered.status, 0) << numbered.log;
    ExpectTheRoadsOfTheStandIn(numbered);
    const BatchRun titled =
        SmallLiveJob(*tile, Edition::kTitleNames, Edition::kTitleNames, std::chrono::milliseconds(0), "");
    ASSERT_EQ(titled.status, 0) << titled.log;
    EXPECT_EQ(titled.mapGif, numbered.mapGif);
}

TEST_F(BatchLiveSources, RendersSlowerThanTheTimeOutShareOfEachPieceStillMakeTheMap)
{
    // Every GetMap (the line pieces and one per kind of area) takes 0.7 s,
    // together far more than the job's 2-second time-out of its map request:
    // the map is drawn while the elevation order runs.
    const BatchRun slow = SmallLiveJob(*tile, Edition::kNumberedFrom40, Edition::kNumberedFrom10,
                                       std::chrono::milliseconds(700), "--timeout 2");
    ASSERT_EQ(slow.status, 0) << slow.log;
    ExpectTheRoadsOfTheStandIn(slow);
}

}  // namespace

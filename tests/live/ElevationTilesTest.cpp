#include "live/ElevationTileCache.h"
#include "live/GunzipSink.h"
#include "live/HgtTile.h"
#include "live/SourceCacheKey.h"
#include "tests/support/HgtTestTiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <set>

namespace {

namespace fs = std::filesystem;

std::set<std::string> FilesIn(const fs::path& folder)
{
    std::set<std::string> names;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(folder, error))
        names.insert(entry.path().filename().string());
    return names;
}

TEST(HgtTile, NamesAndUrlsInEveryHemisphere)
{
    struct Case {
        HgtCell cell;
        const char* url;
    };
    for (const Case& c : {Case{{39, -99}, "http://h/skadi/N39/N39W099.hgt.gz"},
                          Case{{-1, 5}, "http://h/skadi/S01/S01E005.hgt.gz"},
                          Case{{0, -180}, "http://h/skadi/N00/N00W180.hgt.gz"},
                          Case{{-34, 151}, "http://h/skadi/S34/S34E151.hgt.gz"}}) {
        EXPECT_EQ(HgtTileUrl("http://h/skadi", c.cell), c.url);
        EXPECT_EQ(HgtTileUrl("http://h/skadi/", c.cell), c.url) << "a trailing slash is not doubled";
    }
}

TEST(HgtTile, CellsOfAQuad)
{
    using Cells = std::vector<HgtCell>;
    EXPECT_EQ(HgtCellsForBox(-99, -98, 39, 40), (Cells{{39, -99}})) << "an aligned quad needs its own tile only";
    EXPECT_EQ(HgtCellsForBox(-98.5, -97.5, 38.5, 39.5), (Cells{{38, -99}, {38, -98}, {39, -99}, {39, -98}}));
    EXPECT_EQ(HgtCellsForBox(-99, -98.9, 39.95, 40.05), (Cells{{39, -99}, {40, -99}}));
    EXPECT_EQ(HgtCellsForBox(-0.5, 0.5, -0.25, 0), (Cells{{-1, -1}, {-1, 0}}));
    EXPECT_TRUE(HgtCellsForBox(-99, -98, 40, 39).empty());
}

TEST(HgtTile, OnlyTheTwoHeightFileSizesAreAccepted)
{
    EXPECT_EQ(HgtPostsForBytes(3601ull * 3601 * 2), 3601);
    EXPECT_EQ(HgtPostsForBytes(1201ull * 1201 * 2), 1201);
    for (unsigned long long bytes : {0ull, 3601ull * 3601 * 2 - 2, 3601ull * 3601, 1201ull * 1201 * 2 + 1})
        EXPECT_EQ(HgtPostsForBytes(bytes), 0) << bytes;
}

TEST(GunzipSink, InflatesWhateverBlocksTheBodyArrivesIn)
{
    const std::string tile = MakeHgtTile(57, 11, 1201);
    const std::string gzip = Gzip(tile);
    std::mt19937 random(7);
    GunzipSink sink(kLargestHgtBytes);
    for (int round = 0; round < 3; ++round) {
        sink.Begin();  // a retried transfer starts afresh
        for (size_t at = 0; at < gzip.size();) {
            const size_t block = std::min<size_t>(gzip.size() - at, 1 + random() % 40000);
            ASSERT_TRUE(sink.Append(gzip.data() + at, block));
            at += block;
        }
        std::string error;
        ASSERT_TRUE(sink.Finish(error)) << error;
        EXPECT_EQ(sink.Output(), tile);
    }

    // Two gzip members inflate one after the other, as gunzip does.
    const std::string half = tile.substr(0, tile.size() / 2);
    const std::string members = Gzip(half) + Gzip(tile.substr(half.size()));
    std::string heights, error;
    ASSERT_TRUE(GunzipHeightFile(members, heights, error)) << error;
    EXPECT_EQ(heights, tile);
}

TEST(GunzipSink, InflatesIntoAFileThatEachAttemptStartsAfresh)
{
    TempDir folder;
    const std::string path = folder.File("tile.hgt");
    const std::string tile = MakeHgtTile(57, 11, 1201);
    const std::string gzip = Gzip(tile);
    GunzipSink sink(tile.size(), path);
    // A first attempt that broke off halfway leaves nothing of itself behind.
    sink.Begin();
    sink.Append(gzip.data(), gzip.size() / 2);
    sink.Begin();
    for (size_t at = 0; at < gzip.size(); at += 9000)
        ASSERT_TRUE(sink.Append(gzip.data() + at, std::min<size_t>(9000, gzip.size() - at)));
    std::string error;
    ASSERT_TRUE(sink.Finish(error)) << error;
    EXPECT_EQ(sink.OutputSize(), tile.size());
    EXPECT_TRUE(sink.Output().empty()) << "the bytes went to the file, not to memory";
    EXPECT_EQ(ReadFileBytes(path), tile);

    // One byte over the limit fails, as in memory.
    GunzipSink small(tile.size() - 1, folder.File("small.hgt"));
    small.Begin();
    small.Append(gzip.data(), gzip.size());
    EXPECT_FALSE(small.Finish(error));
    EXPECT_NE(error.find("more than"), std::string::npos) << error;

    // A file that cannot be created fails the sink instead of losing bytes.
    GunzipSink nowhere(tile.size(), folder.File("missing/folder/tile.hgt"));
    nowhere.Begin();
    nowhere.Append(gzip.data(), gzip.size());
    EXPECT_FALSE(nowhere.Finish(error));
    EXPECT_NE(error.find("could not be created"), std::string::npos) << error;
}

TEST(GunzipSink, DamagedBodiesFailWithTheirCause)
{
    const std::string tile = MakeHgtTile(57, 11, 1201);
    const std::string gzip = Gzip(tile);
    std::string corrupt = gzip;
    corrupt[corrupt.size() / 2] ^= 0x55;
    std::string crc = gzip;
    crc[crc.size() - 6] ^= 0x01;  // the trailer's checksum
    struct Case {
        std::string body;
        const char* cause;
    };
    for (const Case& c : {Case{corrupt, "no intact gzip"}, Case{crc, "no intact gzip"},
                          Case{gzip.substr(0, gzip.size() / 3), "truncated"},
                          Case{gzip.substr(0, gzip.size() - 1), "truncated"},
                          Case{"<Error>NoSuchKey</Error>", "no intact gzip"}, Case{"", "empty"},
                          Case{Gzip(tile.substr(2)), "not a height file"},
                          Case{Gzip(std::string(kLargestHgtBytes + 2, 0)), "more than"}}) {
        std::string heights, error;
        EXPECT_FALSE(GunzipHeightFile(c.body, heights, error));
        EXPECT_NE(error.find(c.cause), std::string::npos) << error;
        EXPECT_TRUE(heights.empty());
    }
}


class TileCacheTest : public ::testing::Test {
protected:
    fs::path Folder() const { return cacheRoot.Path() / "elevation"; }
    fs::path SourceFolder(const std::string& baseUrl) const { return Folder() / SourceCacheFolderName(baseUrl); }
    ElevationTileCache::Tile Fetch(const std::string& baseUrl, HgtCell cell)
    {
        ElevationTileCache cache(Folder().string(), baseUrl, client);
        return cache.Fetch(cell);
    }

    TempDir cacheRoot;
    UpstreamClient client{UpstreamClient::Limits{2, 5, 2, std::chrono::milliseconds(10), 4}};
};

TEST_F(TileCacheTest, ADownloadedTileIsCachedAndServedOfflineAfterwards)
{
    const std::string tile = MakeHgtTile(39, -99);
    std::string baseUrl;
    {
        TestTileServer server;
        server.Put("/N39/N39W099.hgt.gz", Gzip(tile));
        baseUrl = server.BaseUrl();
        const auto first = Fetch(baseUrl, {39, -99});
        ASSERT_EQ(first.outcome, ElevationTileCache::Outcome::kReady) << first.error;
        EXPECT_FALSE(first.fromCache);
        EXPECT_EQ(server.RequestCount(), 1);
    }
    EXPECT_EQ(FilesIn(SourceFolder(baseUrl)), std::set<std::string>{"N39W099.hgt"}) << "no temporary file is left";
    EXPECT_EQ(ReadFileBytes((SourceFolder(baseUrl) / "N39W099.hgt").string()), tile);

    // The source is gone: the cache answers with the same bytes.
    const auto again = Fetch(baseUrl, {39, -99});
    ASSERT_EQ(again.outcome, ElevationTileCache::Outcome::kReady) << again.error;
    EXPECT_TRUE(again.fromCache);
    EXPECT_EQ(ReadFileBytes(again.path), tile);
}

TEST_F(TileCacheTest, A403Or404IsAWrongUrlThatFailsAndLeavesNoMarkerBehind)
{
    TestTileServer server;
    server.Put("/S01/S01W040.hgt.gz", "Forbidden", 403);
    // A marker an earlier version left for the cell must not count.
    fs::create_directories(SourceFolder(server.BaseUrl()));
    WriteFileBytes((SourceFolder(server.BaseUrl()) / "N10W040.nodata").string(), "");
    for (const auto& [cell, status] : {std::pair{HgtCell{10, -40}, "404"}, {HgtCell{-1, -40}, "403"}}) {
        const auto tile = Fetch(server.BaseUrl(), cell);
        EXPECT_EQ(tile.outcome, ElevationTileCache::Outcome::kFailed) << status;
        EXPECT_NE(tile.error.find(std::string("answered ") + status + " for " + HgtTileUrl(server.BaseUrl(), cell)),
                  std::string::npos)
            << tile.error;
        EXPECT_NE(tile.error.find("TERRAFETCH_DEM_URL"), std::string::npos) << tile.error;
    }
    EXPECT_EQ(FilesUnder(Folder()), std::set<std::string>{SourceCacheFolderName(server.BaseUrl()) + "/N10W040.nodata"});
}

TEST_F(TileCacheTest, EachSourceHasItsOwnFolderAndUserTilesServeEverySource)
{
    const std::string tile = MakeHgtTile(39, -99, 1201);
    TestTileServer a, b;
    a.Put("/N39/N39W099.hgt.gz", Gzip(tile));
    ASSERT_EQ(Fetch(a.BaseUrl(), {39, -99}).outcome, ElevationTileCache::Outcome::kReady);
    const auto fromB = Fetch(b.BaseUrl(), {39, -99});
    EXPECT_EQ(fromB.outcome, ElevationTileCache::Outcome::kFailed) << "what URL A gave is not served for URL B";
    EXPECT_EQ(b.RequestCount(), 1);

    // A height file copied straight into the elevation folder wins for any source.
    const std::string own = MakeHgtTile(38, -99, 1201);
    WriteFileBytes((Folder() / "N39W099.hgt").string(), own);
    for (const std::string& url : {a.BaseUrl(), b.BaseUrl()}) {
        const auto served = Fetch(url, {39, -99});
        ASSERT_EQ(served.outcome, ElevationTileCache::Outcome::kReady) << served.error;
        EXPECT_TRUE(served.fromCache);
        EXPECT_EQ(ReadFileBytes(served.path), own);
        EXPECT_NE(served.note.find("your own height file"), std::string::npos) << served.note;
    }
    EXPECT_EQ(a.RequestCount(), 1);
    EXPECT_EQ(b.RequestCount(), 1);
    EXPECT_NE(SourceCacheFolderName("https://s3.amazonaws.com/elevation-tiles-prod/skadi"),
              SourceCacheFolderName("https://s3.amazonaws.com/elevation-tiles-prod/v2/skadi"));
    EXPECT_EQ(SourceCacheFolderName("https://../..").find('/'), std::string::npos);
    EXPECT_NE(SourceCacheFolderName("https://../..").front(), '.');
}

TEST_F(TileCacheTest, BrokenDownloadsFailAndLeaveNothingInTheCache)
{
    TestTileServer server;
    const std::string gzip = Gzip(MakeHgtTile(39, -99, 1201));
    std::string corrupt = gzip;
    corrupt[gzip.size() / 2] ^= 0x55;
    server.Put("/N01/N01E001.hgt.gz", corrupt);
    server.Put("/N02/N02E002.hgt.gz", gzip.substr(0, gzip.size() / 2));
    server.Put("/N03/N03E003.hgt.gz", Gzip(std::string(1000, 'x')));
    server.Put("/N04/N04E004.hgt.gz", "Internal error", 500);
    struct Case {
        HgtCell cell;
        const char* cause;
    };
    for (const Case& c : {Case{{1, 1}, "no intact gzip"}, Case{{2, 2}, "truncated"},
                          Case{{3, 3}, "not 3601 or 1201 posts"}, Case{{4, 4}, "status 500"}}) {
        const auto tile = Fetch(server.BaseUrl(), c.cell);
        EXPECT_EQ(tile.outcome, ElevationTileCache::Outcome::kFailed);
        EXPECT_NE(tile.error.find(HgtTileUrl(server.BaseUrl(), c.cell)), std::string::npos) << tile.error;
        EXPECT_NE(tile.error.find(c.cause), std::string::npos) << tile.error;
    }
    EXPECT_TRUE(FilesUnder(Folder()).empty()) << *FilesUnder(Folder()).begin();
}

TEST_F(TileCacheTest, AnUnreachableSourceWithAnEmptyCacheFails)
{
    int port = 0;
    {
        LoopbackServer closed([](HttpTestConnection&) {});
        port = closed.Port();
    }
    const auto tile = Fetch("http://127.0.0.1:" + std::to_string(port) + "/skadi", {39, -99});
    EXPECT_EQ(tile.outcome, ElevationTileCache::Outcome::kFailed);
    EXPECT_NE(tile.error.find("could not be downloaded"), std::string::npos) << tile.error;
    EXPECT_TRUE(FilesUnder(Folder()).empty());
}

TEST_F(TileCacheTest, TheRealSrtmTileComesThroughUnchanged)
{
    const std::string gzip = ReadFileBytes(TERRAFETCH_LIVE_TEST_DATA "/N57E011.hgt.gz");
    ASSERT_FALSE(gzip.empty());
    TestTileServer server;
    server.Put("/N57/N57E011.hgt.gz", gzip);
    const auto tile = Fetch(server.BaseUrl(), {57, 11});
    ASSERT_EQ(tile.outcome, ElevationTileCache::Outcome::kReady) << tile.error;
    const std::string heights = ReadFileBytes(tile.path);
    ASSERT_EQ(HgtPostsForBytes(heights.size()), 1201);
    int lowest = 32767, highest = -32768;
    for (size_t i = 0; i < heights.size(); i += 2) {
        const int value = static_cast<int16_t>((static_cast<uint8_t>(heights[i]) << 8) | static_cast<uint8_t>(heights[i + 1]));
        lowest = std::min(lowest, value);
        highest = std::max(highest, value);
    }
    EXPECT_EQ(lowest, -6);
    EXPECT_EQ(highest, 163);
}

}  // namespace

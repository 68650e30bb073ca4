#include "live/CacheEntryLock.h"
#include "live/CacheFile.h"
#include "live/ElevationTileCache.h"
#include "live/SourceCacheKey.h"
#include "live/WmsGetMap.h"
#include "live/WmsMapSource.h"
#include "tests/live/CacheLockHelperProcess.h"
#include "tests/support/HgtTestTiles.h"
#include "tests/support/PngBytes.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <png.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using State = CacheEntryLock::State;

// Waits for `done` for up to 20 s, looking every few milliseconds.
template <typename Done>
bool Eventually(Done done)
{
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

TEST(CacheEntryLock, AnotherProcessKeepsAWaiterOutUntilItLetsGoOrDies)
{
    TempDir cache;
    const std::string entry = cache.File("elevation/source/N39W099.hgt");
    {
        CacheLockHelperProcess holder({"hold", entry});
        ASSERT_EQ(holder.ReadLine(), "held");

        EXPECT_EQ(CacheEntryLock(entry, {nullptr, 50ms}).Outcome(), State::kGaveUp) << "a bounded wait ends";

        // Cancelled while the other holds it: the wait ends on the next look, long before its patience.
        std::atomic<int> asked{0};
        const CacheEntryLock cancelled(entry, {[&] { return ++asked > 3; }, 60s});
        EXPECT_EQ(cancelled.Outcome(), State::kCancelled);

        std::atomic<bool> taken{false};
        std::thread waiter([&] {
            const CacheEntryLock lock(entry, {nullptr, 20s});
            EXPECT_EQ(lock.Outcome(), State::kHeld);
            taken = true;
        });
        EXPECT_EQ(holder.Wait(), 0);
        waiter.join();
        EXPECT_TRUE(taken);
    }
    EXPECT_TRUE(FilesUnder(cache.Path()).empty()) << "lock files go with their holders";

    // A holder killed outright lets go too, and the lock file it leaves is taken over and removed.
    CacheLockHelperProcess killed({"hold", entry});
    ASSERT_EQ(killed.ReadLine(), "held");
    killed.Kill();
    ASSERT_TRUE(fs::exists(CacheEntryLock::LockFileFor(entry)));
    {
        const CacheEntryLock lock(entry, {nullptr, 20s});
        EXPECT_EQ(lock.Outcome(), State::kHeld);
    }
    EXPECT_FALSE(fs::exists(CacheEntryLock::LockFileFor(entry)));
}

TEST(CacheEntryLock, ThreadsTakeTurnsAndDifferentEntriesDoNotWaitForEachOther)
{
    TempDir cache;
    const std::string entry = cache.File("wms/pieces/0123.map");
    std::atomic<int> inside{0}, most{0}, turns{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&] {
            for (int i = 0; i < 25; ++i) {
                const CacheEntryLock lock(entry, {nullptr, 20s});
                ASSERT_EQ(lock.Outcome(), State::kHeld);
                most = std::max(most.load(), ++inside);
                std::this_thread::yield();
                --inside;
                ++turns;
            }
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(most, 1);
    EXPECT_EQ(turns, 100);

    {
        const CacheEntryLock unused(cache.File("maps/a.gif"), {nullptr, 20s});
    }
    EXPECT_FALSE(fs::exists(cache.Path() / "maps")) << "a folder made only for a lock file goes with it";
    const CacheEntryLock one(cache.File("maps/a.gif"), {nullptr, 20s});
    const CacheEntryLock other(cache.File("maps/b.gif"), {nullptr, 50ms});
    EXPECT_EQ(one.Outcome(), State::kHeld);
    EXPECT_EQ(other.Outcome(), State::kHeld);
    EXPECT_EQ(CacheEntryLock(cache.File("maps/a.gif"), {nullptr, 50ms}).Outcome(), State::kGaveUp);
    // Its lock file is no entry and no temporary the sweep would take.
    EXPECT_FALSE(IsTemporaryCacheFileName("a.gif.lock"));
}

// A tile source whose answers wait for Open(), counting what it is asked.
class GatedTileServer {
public:
    explicit GatedTileServer(std::string gzip)
        : gzip_(std::move(gzip)), server_([this](HttpTestConnection& connection) { Answer(connection); })
    {
    }
    ~GatedTileServer() { Open(); }

    void Open()
    {
        {
            std::lock_guard lock(mutex_);
            open_ = true;
        }
        opened_.notify_all();
    }
    std::string BaseUrl() const { return server_.Url(""); }
    int RequestCount() const { return server_.RequestCount(); }

private:
    void Answer(HttpTestConnection& connection)
    {
        {
            std::unique_lock lock(mutex_);
            opened_.wait_for(lock, 20s, [this] { return open_; });
        }
        connection.Reply(200, "Content-Type: application/octet-stream\r\n", gzip_);
    }

    std::string gzip_;
    std::mutex mutex_;
    std::condition_variable opened_;
    bool open_ = false;
    LoopbackServer server_;  // last: it stops before the rest goes
};

TEST(CacheEntryLock, TwoProcessesFetchingOneTileDownloadItOnce)
{
    TempDir cache;
    const std::string folder = (cache.Path() / "elevation").string();
    const std::string tile = MakeHgtTile(39, -99, 1201);
    GatedTileServer server(Gzip(tile));
    CacheLockHelperProcess other({"tile", folder, server.BaseUrl(), "39", "-99"});
    ASSERT_TRUE(Eventually([&] { return server.RequestCount() == 1; })) << "the other process asks first";

    UpstreamClient client(UpstreamClient::Limits{2, 5, 1, 10ms, 4});
    ElevationTileCache::Tile mine;
    std::thread fetching([&] { mine = ElevationTileCache(folder, server.BaseUrl(), client).Fetch({39, -99}); });
    // Usually this process is waiting for the lock by now; if not, it finds the tile
    // kept once it looks. Either way it must not ask the source.
    std::this_thread::sleep_for(200ms);
    server.Open();
    EXPECT_EQ(other.ReadLine(), "ready 0");
    fetching.join();
    ASSERT_EQ(mine.outcome, ElevationTileCache::Outcome::kReady) << mine.error;
    EXPECT_TRUE(mine.fromCache);
    EXPECT_EQ(ReadFileBytes(mine.path), tile);
    EXPECT_EQ(server.RequestCount(), 1);
    EXPECT_EQ(other.Wait(), 0);
    EXPECT_EQ(FilesUnder(folder), std::set<std::string>{SourceCacheFolderName(server.BaseUrl()) + "/N39W099.hgt"});
}

TEST(CacheEntryLock, ATileFetchCancelledWhileAnotherProcessHoldsTheTileEndsWithoutAsking)
{
    TempDir cache;
    const std::string folder = (cache.Path() / "elevation").string();
    GatedTileServer server(Gzip(MakeHgtTile(39, -99, 1201)));
    server.Open();
    const std::string entry =
        (fs::path(folder) / SourceCacheFolderName(server.BaseUrl()) / "N39W099.hgt").string();
    CacheLockHelperProcess holder({"hold", entry});
    ASSERT_EQ(holder.ReadLine(), "held");

    UpstreamClient client(UpstreamClient::Limits{2, 5, 1, 10ms, 4});
    ElevationTileCache::Tile tile;
    std::thread fetching([&] { tile = ElevationTileCache(folder, server.BaseUrl(), client).Fetch({39, -99}); });
    std::this_thread::sleep_for(50ms);
    client.Cancel();
    fetching.join();  // the tile's patience is twenty minutes: only the cancel ends this wait
    EXPECT_EQ(tile.outcome, ElevationTileCache::Outcome::kFailed);
    EXPECT_NE(tile.error.find("could not be downloaded: cancelled"), std::string::npos) << tile.error;
    EXPECT_EQ(server.RequestCount(), 0);
}

// One piece of map and what it is kept as; the fetch counts the GETs made
// and says when the lock's wait first asks whether to stop.
struct PieceCase {
    TempDir cache;
    WmsPiecePlan plan;
    std::string url, entry, png;
    std::atomic<int> gets{0};
    std::atomic<bool> waiting{false}, cancel{false};

    PieceCase()
    {
        plan.degreesPerPixel = 0.01;
        plan.columns = plan.rows = 1;
        plan.pieces.push_back({GeoBox{-99.0, 39.0, -98.9, 39.1}, 10, 10});
        url = WmsGetMapUrl("http://127.0.0.1:9/wms", {"1"}, plan.pieces[0]);
        entry = cache.File("wms/pieces/" + CacheKeyHash(url) + ".map");
        const std::vector<uint8_t> red(10 * 10 * 3, 200);
        png = PngBytes(10, 10, PNG_FORMAT_RGB, red.data());
    }

    WmsMapSource Source()
    {
        UpstreamFetch fetch(
            [this](const std::string&, size_t) {
                ++gets;
                UpstreamAnswer answer;
                answer.ok = true;
                answer.status = 200;
                answer.contentType = "image/png";
                answer.body = png;
                return answer;
            },
            [this] {
                waiting = true;
                return cancel.load();
            });
        return WmsMapSource(fetch, "http://127.0.0.1:9/wms", "test WMS", cache.Path().string());
    }
};

TEST(CacheEntryLock, APieceAnotherProcessIsFetchingIsServedFromWhatItKeptOrFailsWhenCancelled)
{
    PieceCase piece;
    CacheLockHelperProcess other({"hold", piece.entry});
    ASSERT_EQ(other.ReadLine(), "held");
    piece.cancel = true;
    const WmsMapSource::Result cancelled =
        piece.Source().Fetch({"1"}, piece.plan, [](const WmsPiece&, const RgbImage&) { ADD_FAILURE(); });
    EXPECT_EQ(cancelled.failure, "The test WMS at http://127.0.0.1:9/wms could not be reached: cancelled.");

    piece.cancel = false;
    piece.waiting = false;
    int delivered = 0;
    WmsMapSource::Result result;
    std::thread fetching([&] {
        result = piece.Source().Fetch({"1"}, piece.plan, [&](const WmsPiece&, const RgbImage&) { ++delivered; });
    });
    ASSERT_TRUE(Eventually([&] { return piece.waiting.load(); }));
    // What the other process stores before it lets go.
    std::string error;
    ASSERT_TRUE(WriteCacheFile(piece.entry, piece.png, error)) << error;
    other.LetGo();
    fetching.join();
    EXPECT_TRUE(result.failure.empty()) << result.failure;
    EXPECT_EQ(delivered, 1);
    EXPECT_EQ(piece.gets, 0);
    EXPECT_EQ(other.Wait(), 0);
}

}  // namespace

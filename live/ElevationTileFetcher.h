#pragma once

#include "live/DemGeoTiffCache.h"
#include "live/ElevationTileCache.h"
#include "live/HgtTile.h"
#include "live/LiveSourceSettings.h"
#include "live/UpstreamClient.h"

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// How far the tiles of one order have come.
struct TileFetchStatus {
    int total = 0;
    int finished = 0;   // ready
    int fromCache = 0;
    bool secondSourceUsed = false;  // some cell came from the 3DEP GeoTIFFs
    bool failed = false;
    std::string error;  // the first failure, naming the tile's URL, the cause and the setting
    std::vector<std::string> notes;  // per finished cell, where it came from

    bool Done() const { return failed || finished == total; }
};

// Fetches the elevation tiles of orders on a few worker threads of its own,
// so that whoever starts an order never waits for the network: the order's
// status is polled instead. A cell the tile bucket fails for is taken from
// the second source, the 3DEP GeoTIFFs, when one is set; a cell both fail
// for fails its order, and the order's other tiles are then not fetched.
//
// Lifecycle: the workers start with the fetcher; destruction cancels the
// transfers under way and returns once the workers have ended.
class ElevationTileFetcher {
public:
    class Order {
    public:
        explicit Order(std::vector<HgtCell> cells);
        TileFetchStatus Status() const;
        // The cells whose tile is ready, with its path.
        std::vector<std::pair<HgtCell, std::string>> ReadyTiles() const;
        const std::vector<HgtCell>& Cells() const { return cells_; }

    private:
        friend class ElevationTileFetcher;
        void Record(size_t index, const ElevationTileCache::Tile& tile);
        bool Failed() const;

        const std::vector<HgtCell> cells_;
        mutable std::mutex mutex_;
        std::vector<ElevationTileCache::Tile> tiles_;
        std::vector<bool> recorded_;
        TileFetchStatus status_;
    };

    explicit ElevationTileFetcher(const LiveSourceSettings& settings, int workers = 4,
                                  UpstreamClient::Limits limits = {});
    ~ElevationTileFetcher();
    ElevationTileFetcher(const ElevationTileFetcher&) = delete;
    ElevationTileFetcher& operator=(const ElevationTileFetcher&) = delete;

    std::shared_ptr<const Order> Start(std::vector<HgtCell> cells);

    const ElevationTileCache& Cache() const { return cache_; }
    // Null when the second source is switched off.
    const DemGeoTiffCache* SecondSource() const { return second_.get(); }

private:
    struct Task {
        std::shared_ptr<Order> order;
        size_t index;
    };

    void Work();
    ElevationTile FetchCell(const HgtCell& cell);

    UpstreamClient client_;
    ElevationTileCache cache_;
    std::unique_ptr<DemGeoTiffCache> second_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Task> tasks_;
    bool stopping_ = false;
    std::vector<std::thread> workers_;
};

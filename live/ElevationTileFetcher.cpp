#include "live/ElevationTileFetcher.h"

#include <algorithm>

ElevationTileFetcher::Order::Order(std::vector<HgtCell> cells)
    : cells_(std::move(cells)), tiles_(cells_.size()), recorded_(cells_.size(), false)
{
    status_.total = static_cast<int>(cells_.size());
}

TileFetchStatus ElevationTileFetcher::Order::Status() const
{
    std::lock_guard lock(mutex_);
    return status_;
}

bool ElevationTileFetcher::Order::Failed() const
{
    std::lock_guard lock(mutex_);
    return status_.failed;
}

std::vector<std::pair<HgtCell, std::string>> ElevationTileFetcher::Order::ReadyTiles() const
{
    std::lock_guard lock(mutex_);
    std::vector<std::pair<HgtCell, std::string>> ready;
    for (size_t i = 0; i < cells_.size(); ++i)
        if (recorded_[i] && tiles_[i].outcome == ElevationTileCache::Outcome::kReady)
            ready.emplace_back(cells_[i], tiles_[i].path);
    return ready;
}

void ElevationTileFetcher::Order::Record(size_t index, const ElevationTileCache::Tile& tile)
{
    std::lock_guard lock(mutex_);
    if (recorded_[index])
        return;
    recorded_[index] = true;
    tiles_[index] = tile;
    if (tile.outcome == ElevationTileCache::Outcome::kFailed) {
        if (!status_.failed)
            status_.error = tile.error;
        status_.failed = true;
        return;
    }
    ++status_.finished;
    status_.fromCache += tile.fromCache ? 1 : 0;
    status_.secondSourceUsed = status_.secondSourceUsed || tile.secondSource;
    status_.notes.push_back(tile.note);
}

ElevationTileFetcher::ElevationTileFetcher(const LiveSourceSettings& settings, int workers,
                                           UpstreamClient::Limits limits)
    : client_(limits), cache_(settings.CacheFolder() + "/elevation", settings.demUrl, client_)
{
    if (settings.HasSecondDemSource())
        second_ = std::make_unique<DemGeoTiffCache>(cache_.UserFolder(), settings.dem2Url, client_);
    for (int i = 0; i < std::max(1, workers); ++i)
        workers_.emplace_back([this] { Work(); });
}

ElevationTileFetcher::~ElevationTileFetcher()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        tasks_.clear();
    }
    wake_.notify_all();
    client_.Cancel();
    for (std::thread& worker : workers_)
        worker.join();
}

std::shared_ptr<const ElevationTileFetcher::Order> ElevationTileFetcher::Start(std::vector<HgtCell> cells)
{
    auto order = std::make_shared<Order>(std::move(cells));
    {
        std::lock_guard lock(mutex_);
        for (size_t i = 0; i < order->Cells().size(); ++i)
            tasks_.push_back({order, i});
    }
    wake_.notify_all();
    return order;
}

void ElevationTileFetcher::Work()
{
    for (;;) {
        Task task;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !tasks_.empty(); });
            if (stopping_)
                return;
            task = std::move(tasks_.front());
            tasks_.pop_front();
        }
        // A tile of an order that has failed already, or that nobody polls
        // any more, is not worth a download.
        if (task.order->Failed() || task.order.use_count() == 1)
            continue;
        task.order->Record(task.index, FetchCell(task.order->Cells()[task.index]));
    }
}

ElevationTile ElevationTileFetcher::FetchCell(const HgtCell& cell)
{
    ElevationTile tile = cache_.Fetch(cell);
    if (tile.outcome == ElevationTile::Outcome::kReady)
        return tile;
    if (!second_) {
        tile.error += "; no second elevation source is set (TERRAFETCH_DEM2_URL, --dem2-url)";
        return tile;
    }
    ElevationTile fallback = second_->Fetch(cell);
    if (fallback.outcome == ElevationTile::Outcome::kReady) {
        // Which source failed stays visible beside which one served.
        fallback.note += " (the tile bucket failed: " + tile.error + ")";
        return fallback;
    }
    fallback.error = tile.error + "; the second source (TERRAFETCH_DEM2_URL, --dem2-url) failed too: " + fallback.error;
    return fallback;
}

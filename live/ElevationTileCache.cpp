#include "live/ElevationTileCache.h"

#include "live/CacheFile.h"
#include "live/GunzipSink.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string Lower(std::string text)
{
    for (char& c : text)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return text;
}

// A height file of the right size, under its name or its lower-case name.
std::string CachedHeightFile(const std::string& folder, const std::string& name)
{
    std::error_code error;
    for (const std::string& candidate : {name + ".hgt", Lower(name) + ".hgt"}) {
        const fs::path path = fs::path(folder) / candidate;
        const auto size = fs::file_size(path, error);
        if (!error && HgtPostsForBytes(size) != 0)
            return path.string();
    }
    return {};
}

}  // namespace

ElevationTileCache::ElevationTileCache(std::string folder, std::string baseUrl, UpstreamClient& client)
    : folder_(std::move(folder)), baseUrl_(std::move(baseUrl)), client_(client)
{
}

std::mutex& ElevationTileCache::CellLock(const HgtCell& cell)
{
    std::lock_guard lock(locksMutex_);
    auto& slot = cellLocks_[{cell.latitude, cell.longitude}];
    if (!slot)
        slot = std::make_unique<std::mutex>();
    return *slot;
}

ElevationTileCache::Tile ElevationTileCache::Fetch(const HgtCell& cell)
{
    std::lock_guard lock(CellLock(cell));
    Tile tile;
    if (FindCached(cell, tile))
        return tile;
    return Download(cell);
}

bool ElevationTileCache::FindCached(const HgtCell& cell, Tile& tile) const
{
    const std::string name = HgtCellName(cell);
    tile.fromCache = true;
    tile.path = CachedHeightFile(folder_, name);
    if (!tile.path.empty()) {
        tile.outcome = Outcome::kReady;
        return true;
    }
    std::error_code error;
    if (fs::exists(fs::path(folder_) / (name + ".nodata"), error)) {
        tile.outcome = Outcome::kNoData;
        return true;
    }
    return false;
}

ElevationTileCache::Tile ElevationTileCache::Download(const HgtCell& cell)
{
    const std::string name = HgtCellName(cell);
    const std::string url = HgtTileUrl(baseUrl_, cell);
    Tile tile;
    GunzipSink sink(kLargestHgtBytes);
    const UpstreamAnswer answer = client_.Get(url, kMaxDownloadBytes, sink);
    if (!answer.ok) {
        tile.error = "\"" + url + "\" could not be downloaded: " + answer.error;
        return tile;
    }
    if (answer.status == 403 || answer.status == 404) {
        tile.outcome = Outcome::kNoData;
        tile.error = Store(name + ".nodata", {});
        if (!tile.error.empty())
            tile.outcome = Outcome::kFailed;
        return tile;
    }
    if (answer.status != 200) {
        tile.error = "\"" + url + "\" answered with status " + std::to_string(answer.status);
        return tile;
    }
    std::string why;
    if (!sink.Finish(why)) {
        tile.error = "\"" + url + "\" is no height file: " + why;
        return tile;
    }
    if (HgtPostsForBytes(sink.Output().size()) == 0) {
        tile.error = "\"" + url + "\" is no height file: it holds " + std::to_string(sink.Output().size()) +
                     " bytes, not 3601 or 1201 posts square";
        return tile;
    }
    tile.error = Store(name + ".hgt", sink.Output());
    if (tile.error.empty()) {
        tile.outcome = Outcome::kReady;
        tile.path = (fs::path(folder_) / (name + ".hgt")).string();
    }
    return tile;
}

// Writes `bytes` as `name` in the cache folder through a temporary file;
// returns why it could not, or an empty text.
std::string ElevationTileCache::Store(const std::string& name, const std::string& bytes) const
{
    std::string why;
    if (WriteCacheFile((fs::path(folder_) / name).string(), bytes, why))
        return {};
    return "the cache folder \"" + folder_ + "\" could not take \"" + name + "\"";
}

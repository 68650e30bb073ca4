#include "live/ElevationTileCache.h"

#include "live/CacheEntryLock.h"
#include "live/CacheFile.h"
#include "live/GunzipSink.h"
#include "live/SourceCacheKey.h"

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

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

}  // namespace

std::string FindCachedHeightFile(const std::string& folder, const HgtCell& cell)
{
    const std::string name = HgtCellName(cell);
    std::error_code error;
    for (const std::string& candidate : {name + ".hgt", Lower(name) + ".hgt"}) {
        const fs::path path = fs::path(folder) / candidate;
        const auto size = fs::file_size(path, error);
        if (!error && HgtPostsForBytes(size) != 0)
            return path.string();
    }
    return {};
}

ElevationTileCache::ElevationTileCache(std::string elevationFolder, std::string baseUrl, UpstreamClient& client)
    : userFolder_(std::move(elevationFolder)),
      folder_((fs::path(userFolder_) / SourceCacheFolderName(baseUrl)).string()),
      baseUrl_(std::move(baseUrl)),
      client_(client)
{
}

ElevationTileCache::Tile ElevationTileCache::Fetch(const HgtCell& cell)
{
    Tile tile = FromCache(cell);
    if (tile.outcome == Outcome::kReady)
        return tile;
    const std::string path = (fs::path(folder_) / (HgtCellName(cell) + ".hgt")).string();
    const CacheEntryLock entry(path, {[this] { return client_.Cancelled(); }, kLockPatience});
    if (entry.Cancelled()) {
        tile.error = Quoted(HgtTileUrl(baseUrl_, cell)) + " could not be downloaded: cancelled";
        return tile;
    }
    // Another thread or process may have stored it while this one waited.
    tile = FromCache(cell);
    return tile.outcome == Outcome::kReady ? tile : Download(cell);
}

ElevationTileCache::Tile ElevationTileCache::FromCache(const HgtCell& cell) const
{
    const std::string name = HgtCellName(cell);
    Tile tile;
    tile.fromCache = true;
    tile.path = FindCachedHeightFile(userFolder_, cell);
    if (!tile.path.empty()) {
        tile.outcome = Outcome::kReady;
        tile.note = name + " from your own height file " + tile.path;
        return tile;
    }
    tile.path = FindCachedHeightFile(folder_, cell);
    if (!tile.path.empty()) {
        tile.outcome = Outcome::kReady;
        tile.note = name + " from the cache";
        return tile;
    }
    return {};
}

ElevationTileCache::Tile ElevationTileCache::Download(const HgtCell& cell)
{
    const std::string name = HgtCellName(cell);
    const std::string url = HgtTileUrl(baseUrl_, cell);
    const std::string path = (fs::path(folder_) / (name + ".hgt")).string();
    FileReplacement replacement = CacheFileReplacement(path);
    Tile tile;
    GunzipSink sink(kLargestHgtBytes, replacement.WritingName());
    const UpstreamAnswer answer = client_.Get(url, kMaxDownloadBytes, sink);
    std::string why;
    const bool inflated = sink.Finish(why);
    if (!answer.ok) {
        tile.error = Quoted(url) + " could not be downloaded: " + answer.error;
    } else if (answer.status == 403 || answer.status == 404) {
        // The bucket has a tile for every cell: the URL is wrong.
        tile.error = "the tile source answered " + std::to_string(answer.status) + " for " + url +
                     ": check TERRAFETCH_DEM_URL (--dem-url)";
    } else if (answer.status != 200) {
        tile.error = Quoted(url) + " answered with status " + std::to_string(answer.status);
    } else if (!inflated) {
        tile.error = Quoted(url) + " is no height file: " + why;
    } else if (HgtPostsForBytes(sink.OutputSize()) == 0) {
        tile.error = Quoted(url) + " is no height file: it holds " + std::to_string(sink.OutputSize()) +
                     " bytes, not 3601 or 1201 posts square";
    } else if (!replacement.Commit()) {
        tile.error = "the cache folder " + Quoted(folder_) + " could not take " + Quoted(name + ".hgt");
    } else {
        tile.outcome = Outcome::kReady;
        tile.path = path;
        tile.note = name + " from " + baseUrl_;
    }
    return tile;
}

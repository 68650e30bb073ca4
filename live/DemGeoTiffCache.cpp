#include "live/DemGeoTiffCache.h"

#include "core/FileSystem.h"
#include "live/CacheEntryLock.h"
#include "live/CacheFile.h"
#include "live/DemGeoTiff.h"
#include "live/ElevationTileCache.h"
#include "live/FileBodySink.h"
#include "live/SourceCacheKey.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Converts the downloaded GeoTIFF into `hgtPath` through a temporary file.
bool StoreConverted(const std::string& tiffPath, const HgtCell& cell, const std::string& hgtPath,
                    std::string& error)
{
    FileReplacement replacement = CacheFileReplacement(hgtPath);
    std::FILE* out = replacement.Open();
    if (!out) {
        error = "cannot write " + Quoted(replacement.WritingName());
        return false;
    }
    const bool converted = ConvertDemGeoTiff(tiffPath, cell, out, error);
    const bool closed = replacement.Close();
    if (converted && !closed)
        error = "cannot write " + Quoted(replacement.WritingName());
    if (!converted || !closed)
        return false;
    if (!replacement.Commit()) {
        error = "cannot write " + Quoted(hgtPath);
        return false;
    }
    return true;
}

}  // namespace

DemGeoTiffCache::DemGeoTiffCache(const std::string& elevationFolder, std::string baseUrl, UpstreamClient& client)
    : folder_((fs::path(elevationFolder) / SourceCacheFolderName(baseUrl)).string()),
      baseUrl_(std::move(baseUrl)),
      client_(client)
{
}

ElevationTile DemGeoTiffCache::Fetch(const HgtCell& cell)
{
    ElevationTile tile = FromCache(cell);
    if (tile.outcome == ElevationTile::Outcome::kReady)
        return tile;
    const std::string hgtPath = (fs::path(folder_) / (HgtCellName(cell) + ".hgt")).string();
    const CacheEntryLock entry(hgtPath, {[this] { return client_.Cancelled(); }, kLockPatience});
    if (entry.Cancelled()) {
        tile.error = Quoted(DemGeoTiffUrl(baseUrl_, cell)) + " could not be downloaded: cancelled";
        return tile;
    }
    // Another thread or process may have stored it while this one waited.
    tile = FromCache(cell);
    return tile.outcome == ElevationTile::Outcome::kReady ? tile : Download(cell);
}

ElevationTile DemGeoTiffCache::FromCache(const HgtCell& cell) const
{
    ElevationTile tile;
    tile.secondSource = true;
    tile.path = FindCachedHeightFile(folder_, cell);
    if (!tile.path.empty()) {
        tile.outcome = ElevationTile::Outcome::kReady;
        tile.fromCache = true;
        tile.note = HgtCellName(cell) + " from the cache (" + kSourceName + ")";
    }
    return tile;
}

ElevationTile DemGeoTiffCache::Download(const HgtCell& cell)
{
    const std::string name = HgtCellName(cell);
    const std::string url = DemGeoTiffUrl(baseUrl_, cell);
    const std::string hgtPath = (fs::path(folder_) / (name + ".hgt")).string();
    const std::string tiffPath = TemporaryCacheFileName(hgtPath) + ".tif";
    ElevationTile tile;
    tile.secondSource = true;
    FileBodySink sink(tiffPath);
    const UpstreamAnswer answer = client_.Get(url, kMaxDownloadBytes, sink, kDownloadSeconds);
    const bool written = sink.Finish();
    std::string why;
    if (!answer.ok) {
        tile.error = Quoted(url) + " could not be downloaded: " + answer.error;
    } else if (answer.status != 200) {
        tile.error = Quoted(url) + " answered with status " + std::to_string(answer.status) +
                     ": check TERRAFETCH_DEM2_URL (--dem2-url)";
    } else if (!written) {
        tile.error = Quoted(url) + " could not be written to " + Quoted(tiffPath);
    } else if (!StoreConverted(tiffPath, cell, hgtPath, why)) {
        tile.error = Quoted(url) + " is no usable elevation GeoTIFF: " + why;
    } else {
        tile.outcome = ElevationTile::Outcome::kReady;
        tile.path = hgtPath;
        tile.note = name + " from " + kSourceName;
    }
    RemovePartialFile(tiffPath);
    return tile;
}

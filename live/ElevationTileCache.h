#pragma once

#include "live/HgtTile.h"
#include "live/UpstreamClient.h"

#include <map>
#include <memory>
#include <mutex>
#include <string>

// The elevation tiles of live mode, cache first. A tile is a plain height
// file "N39W099.hgt" in the cache folder (a user may copy such files in); a
// cell the source has no tile for (403 or 404) is remembered by an empty
// "N39W099.nodata" beside them, so a quad fetched once works again offline.
// Downloads are inflated as they arrive, checked to be one height file, and
// written under a temporary name that is renamed only when all is well:
// nothing broken is ever cached. Fetch() is safe from several threads; two
// fetches of one cell wait for each other instead of downloading it twice.
class ElevationTileCache {
public:
    enum class Outcome { kReady, kNoData, kFailed };

    struct Tile {
        Outcome outcome = Outcome::kFailed;
        bool fromCache = false;
        std::string path;   // the height file, when ready
        std::string error;  // names the tile's URL and the cause, when failed
    };

    // A gzipped height file of 3601² posts is some 26 MB at worst.
    static constexpr size_t kMaxDownloadBytes = 40u << 20;

    ElevationTileCache(std::string folder, std::string baseUrl, UpstreamClient& client);

    Tile Fetch(const HgtCell& cell);

    const std::string& Folder() const { return folder_; }
    const std::string& BaseUrl() const { return baseUrl_; }

private:
    bool FindCached(const HgtCell& cell, Tile& tile) const;
    Tile Download(const HgtCell& cell);
    std::string Store(const std::string& name, const std::string& bytes) const;
    std::mutex& CellLock(const HgtCell& cell);

    std::string folder_;
    std::string baseUrl_;
    UpstreamClient& client_;
    std::mutex locksMutex_;
    std::map<std::pair<int, int>, std::unique_ptr<std::mutex>> cellLocks_;
};

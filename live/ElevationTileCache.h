#pragma once

#include "live/ElevationTile.h"
#include "live/HgtTile.h"
#include "live/UpstreamClient.h"

#include <chrono>
#include <string>

// The elevation tiles of the public tile bucket, cache first. The bucket
// covers the globe, so every answer but a height file is a failure: a 403
// or 404 means the URL is wrong, and nothing is remembered for it.
//
// Layout under the elevation folder: a plain "N39W099.hgt" a user copied in
// directly is honoured for any source; what a source delivered lives in a
// sub-folder named after its base URL (SourceCacheFolderName), so a tile of
// one URL is never served for another. Downloads are inflated as they
// arrive straight into a temporary file, checked to be one height file and
// renamed into place only then: nothing broken is ever cached. Fetch() is
// safe from several threads and processes sharing the cache: two fetches
// of one cell wait for each other (CacheEntryLock) instead of downloading
// it twice, and the one that waited serves what the other stored.
class ElevationTileCache {
public:
    using Outcome = ElevationTile::Outcome;
    using Tile = ElevationTile;

    // A gzipped height file of 3601² posts is some 26 MB at worst.
    static constexpr size_t kMaxDownloadBytes = 40u << 20;
    // How long a fetch waits for another one downloading the same tile:
    // longer than the client's usual limits let one download take.
    static constexpr std::chrono::minutes kLockPatience{20};

    ElevationTileCache(std::string elevationFolder, std::string baseUrl, UpstreamClient& client);

    Tile Fetch(const HgtCell& cell);

    // The folder a user may copy height files into, and this source's own.
    const std::string& UserFolder() const { return userFolder_; }
    const std::string& Folder() const { return folder_; }
    const std::string& BaseUrl() const { return baseUrl_; }

private:
    Tile FromCache(const HgtCell& cell) const;
    Tile Download(const HgtCell& cell);

    std::string userFolder_;
    std::string folder_;
    std::string baseUrl_;
    UpstreamClient& client_;
};

// A height file of the right size named after `cell` (or its lower-case
// name) in `folder`; empty when there is none.
std::string FindCachedHeightFile(const std::string& folder, const HgtCell& cell);

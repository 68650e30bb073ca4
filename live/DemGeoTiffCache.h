#pragma once

#include "live/ElevationTile.h"
#include "live/HgtTile.h"
#include "live/UpstreamClient.h"

#include <chrono>
#include <string>

// The second elevation source: the USGS 3D Elevation Program's staged 1"
// GeoTIFF tiles, each downloaded to a temporary file of the cache, turned
// into the cell's plain height file (ConvertDemGeoTiff) and cached as such
// in a sub-folder named after the base URL, beside the tile bucket's. The
// GeoTIFF itself is removed once converted. Safe from several threads and
// processes sharing the cache: one downloads a cell while the others wait
// for it and then serve what it stored.
class DemGeoTiffCache {
public:
    // A real tile is some 400–500 MB at most; a little room above that.
    static constexpr size_t kMaxDownloadBytes = 640ull << 20;
    // Time for one such download: half an hour is about 350 KiB/s for the
    // largest tile, where a height file has the client's usual limit.
    static constexpr int kDownloadSeconds = 1800;
    // How long a fetch waits for another one downloading the same cell.
    static constexpr std::chrono::seconds kLockPatience{2 * kDownloadSeconds};

    DemGeoTiffCache(const std::string& elevationFolder, std::string baseUrl, UpstreamClient& client);

    ElevationTile Fetch(const HgtCell& cell);

    const std::string& Folder() const { return folder_; }
    const std::string& BaseUrl() const { return baseUrl_; }

    static constexpr const char* kSourceName = "the USGS 3DEP 1-arc-second GeoTIFFs";

private:
    ElevationTile FromCache(const HgtCell& cell) const;
    ElevationTile Download(const HgtCell& cell);

    std::string folder_;
    std::string baseUrl_;
    UpstreamClient& client_;
};

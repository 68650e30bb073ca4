#pragma once

#include "live/ElevationTileFetcher.h"
#include "live/LiveSourceSettings.h"
#include "terrain/ElevationGrid.h"

#include <memory>
#include <string>

// The extract service's live elevation: an order's tiles come from the
// public source of 1° height files through the tile cache, cells it fails
// for from the 3DEP GeoTIFFs, fetched on
// threads of their own while the client follows the status pages.
class LiveElevation {
public:
    static constexpr const char* kElevationCredit =
        "Elevation data: U.S. Geological Survey and U.S. National Oceanic and Atmospheric Administration "
        "(3DEP, SRTM, GMTED2010, ETOPO1; public domain).";
    static constexpr const char* kSecondSourceCredit =
        "Elevation data: USGS 3D Elevation Program (3DEP 1-arc-second GeoTIFFs; public domain).";

    using Tiles = std::shared_ptr<const ElevationTileFetcher::Order>;

    explicit LiveElevation(const LiveSourceSettings& settings, UpstreamClient::Limits limits = {});

    // Starts fetching the tiles of the box.
    Tiles Start(double west, double east, double south, double north);

    // The posts of the box from the tiles once they are all in: the tiles'
    // own posts, voids only where a tile has them. False when a tile has
    // gone from the cache since.
    bool BuildGrid(const ElevationTileFetcher::Order& tiles, double west, double east, double south,
                   double north, ElevationGrid& grid) const;

    // The lines the status pages show, "<BR>"-separated, for the client's log.
    std::string SourceText() const;
    static std::string ProgressText(const TileFetchStatus& status);
    std::string FailureText(const TileFetchStatus& status) const;
    // For a header: the same failure in one line.
    std::string FailureLine(const TileFetchStatus& status) const;

private:
    ElevationTileFetcher fetcher_;
};

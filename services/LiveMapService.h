#pragma once

#include "live/UpstreamFetch.h"
#include "services/MapRenderer.h"
#include "services/ServiceReply.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// The map server's answer in live mode: the view's box is fetched from the
// TIGERweb WMS services (roads, railroads, water and parks from the physical
// features service, boundaries and places from the boundaries service),
// overlaid on white, resampled into the view's geometry (the same as the
// bundled renderer's, so the texture stages find the quad's corners where
// they expect them) and encoded as a palette GIF. A service that fails or
// answers no image fails the request with a message naming it. Maps made
// are kept in the cache folder, so a quad fetched once works again offline.
class LiveMapService {
public:
    // An empty `cacheFolder` keeps nothing.
    LiveMapService(UpstreamFetch fetch, std::string physicalFeaturesUrl, std::string boundariesUrl,
                   std::string cacheFolder)
        : fetch_(std::move(fetch)),
          physicalFeaturesUrl_(std::move(physicalFeaturesUrl)),
          boundariesUrl_(std::move(boundariesUrl)),
          cacheFolder_(std::move(cacheFolder))
    {
    }

    // `onList` is the request's layer list as given. `overlay`, when not
    // empty, is drawn over the map: indices of MapPalette() for every pixel,
    // the background colour where nothing is drawn (the coordinate grid,
    // which no WMS layer draws).
    ServiceReply Map(const MapView& view, const std::string& onList, const std::vector<uint8_t>& overlay = {}) const;

private:
    std::string CachePath(const MapView& view, const std::string& layerKey) const;

    UpstreamFetch fetch_;
    std::string physicalFeaturesUrl_;
    std::string boundariesUrl_;
    std::string cacheFolder_;
};

#pragma once

#include "live/UpstreamFetch.h"
#include "services/MapRenderer.h"
#include "services/ServiceReply.h"

#include <string>
#include <utility>

// The map server's answer in live mode: the view's box is fetched from the
// TIGERweb WMS services (roads, railroads, water and parks from the physical
// features service, boundaries and places from the boundaries service),
// overlaid on white, resampled into the view's geometry (the same as the
// bundled renderer's, so the texture stages find the quad's corners where
// they expect them) and encoded as a palette GIF. A service that fails or
// answers no image fails the request with a message naming it.
class LiveMapService {
public:
    LiveMapService(UpstreamFetch fetch, std::string physicalFeaturesUrl, std::string boundariesUrl)
        : fetch_(std::move(fetch)),
          physicalFeaturesUrl_(std::move(physicalFeaturesUrl)),
          boundariesUrl_(std::move(boundariesUrl))
    {
    }

    // `onList` is the request's layer list as given.
    ServiceReply Map(const MapView& view, const std::string& onList) const;

private:
    UpstreamFetch fetch_;
    std::string physicalFeaturesUrl_;
    std::string boundariesUrl_;
};

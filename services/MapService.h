#pragma once

#include "gateway/LiveMapService.h"
#include "gateway/ServiceReply.h"
#include "mapdraw/BoundaryLines.h"
#include "mapdraw/Gazetteer.h"
#include "mapdraw/MapRenderer.h"
#include "services/DrawnMaps.h"

#include <atomic>
#include <string>

// The map server: GET /cgi-bin/mapper/map.gif?lon=&lat=&wid=&ht=&iwd=&iht=&on=
// answers a GIF of iwd × iht pixels (see MapRenderer.h for the geometry),
// drawn from the bundled data or, given a live service, from TIGERweb. A
// bundled map asked for again is answered from the last few drawn.
class MapService {
public:
    static constexpr const char* kPath = "/cgi-bin/mapper/map.gif";
    static constexpr int kMaxImageSide = 4000;
    static constexpr double kMaxSpanDegrees = 30.0;

    MapService(const Gazetteer& gazetteer, const BoundaryLines& boundaries, const LiveMapService* live = nullptr)
        : gazetteer_(gazetteer), boundaries_(boundaries), live_(live)
    {
    }

    ServiceReply Map(const QueryMap& query) const;
    // How many bundled maps this service has drawn.
    size_t MapsDrawn() const { return mapsDrawn_; }

    // Why the query is not acceptable, or an empty text when it is.
    static std::string ParseView(const QueryMap& query, MapView& view);

private:
    const Gazetteer& gazetteer_;
    const BoundaryLines& boundaries_;
    const LiveMapService* live_;
    // The bundled maps drawn last; live mode keeps its maps in the cache.
    mutable DrawnMaps drawn_;
    mutable std::atomic<size_t> mapsDrawn_{0};
};

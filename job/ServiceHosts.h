#pragma once

#include <string>
#include <utility>

// Where the bundled services answer the imagery stand-in's WMS.
inline constexpr const char* kImageryStandInPath = "/imagery/wms";

// Where the web services are: "host" or "host:port" each, the imagery a
// whole URL. The programs decide these (see hosts/ResolveServiceHosts.h);
// the pipeline only connects to them.
struct ServiceHosts {
    ServiceHosts() = default;
    // The imagery is then the stand-in of the services that draw the map.
    ServiceHosts(std::string extractHost, std::string mapHost, std::string geocodeHost)
        : extract(std::move(extractHost)), map(std::move(mapHost)), geocode(std::move(geocodeHost)),
          imagery("http://" + map + kImageryStandInPath)
    {
    }

    std::string extract;
    std::string map;
    std::string geocode;
    // The aerial imagery's WMS (an imagery texture fetches it directly).
    std::string imagery;
    // The imagery's layer when a setting names one (else its first), and
    // the folder its pieces are kept in (empty: nothing is kept).
    std::string imageryLayer;
    std::string imageryCache;
};

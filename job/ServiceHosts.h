#pragma once

#include <string>

// Where the web services are: "host" or "host:port" each, the imagery a
// whole URL. The programs decide these (see hosts/ResolveServiceHosts.h);
// the pipeline only connects to them.
struct ServiceHosts {
    std::string extract;
    std::string map;
    std::string geocode;
    // The aerial imagery's WMS, a whole URL (an imagery texture fetches it
    // directly): the bundled services' stand-in, or the public service in
    // live mode.
    std::string imagery;
};

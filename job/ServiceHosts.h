#pragma once

#include <string>

// Where the three web services are: "host" or "host:port" each. The
// programs decide these (see hosts/ResolveServiceHosts.h); the pipeline only
// connects to them.
struct ServiceHosts {
    std::string extract;
    std::string map;
    std::string geocode;
};

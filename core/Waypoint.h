#pragma once

#include <string>
#include <vector>

// One point of a waypoint route: degrees, north and east positive.
struct Waypoint {
    double latitude = 0.0;
    double longitude = 0.0;
    std::string comment;
};

using WaypointList = std::vector<Waypoint>;

#pragma once

#include <cstddef>

// What a waypoint file may hold. Routes come from devices and web sites,
// so every reader bounds its input; tests shrink the limits.
struct WaypointLimits {
    size_t maxPoints = 100'000;
    unsigned long long maxFileBytes = 64ull << 20;
    // Elements nested deeper than this refuse a GPX document; real files
    // use five or six levels.
    int maxXmlDepth = 64;
};

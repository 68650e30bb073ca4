// Fuzz target for the waypoint file reader: the input is a whole file.
#include "fuzz/FuzzSupport.h"
#include "route/WaypointFile.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static MemoryFile file("fuzz_waypoint_file");
    if (!file.Fill(AsText(data, size)))
        return 0;
    WaypointList list;
    WaypointLimits limits;
    limits.maxPoints = 64;
    limits.maxXmlDepth = 8;
    const bool failed = !ReadWaypoints(file.Path(), list, limits).empty();
    FUZZ_CHECK(failed == list.empty());
    // No waypoint can come from a line shorter than its two fields and a blank.
    FUZZ_CHECK(list.size() <= size / 3);
    FUZZ_CHECK(list.size() <= limits.maxPoints);
    for (const Waypoint& w : list)
        FUZZ_CHECK(std::fabs(w.latitude) <= 90.0 && std::fabs(w.longitude) <= 180.0);
    return 0;
}

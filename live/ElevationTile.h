#pragma once

#include <string>

// One cell's tile as a source or the cache delivered it.
struct ElevationTile {
    enum class Outcome { kReady, kFailed };

    Outcome outcome = Outcome::kFailed;
    bool fromCache = false;
    bool secondSource = false;  // from the 3DEP GeoTIFFs rather than the tile bucket
    std::string path;           // the height file, when ready
    std::string error;          // names the URL, the cause and the setting, when failed
    std::string note;           // where it came from, for the status page: "N39W099 from the cache"
};

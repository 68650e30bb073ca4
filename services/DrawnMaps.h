#pragma once

#include "mapdraw/MapRenderer.h"

#include <list>
#include <mutex>
#include <string>

// The GIFs of the maps drawn last, by their view, so that a second job on
// the same quad is answered without drawing again. Small maps only (a
// quad's tile is well under kMaxGifBytes), and few: what is kept stays a
// fraction of a job's memory. Safe to use from several threads.
class DrawnMaps {
public:
    static constexpr size_t kMaxMaps = 4;
    static constexpr size_t kMaxGifBytes = size_t(1) << 20;

    // The GIF drawn for `view`, or empty when none is kept.
    std::string Find(const MapView& view) const;
    void Keep(const MapView& view, const std::string& gif);

private:
    struct Drawn {
        MapView view;
        std::string gif;
    };
    static bool SameView(const MapView& a, const MapView& b);

    mutable std::mutex mutex_;
    std::list<Drawn> maps_;  // most recent first
};

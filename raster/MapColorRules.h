#pragma once

#include "raster/ColorList.h"

#include <cstdint>

class LogSink;

// How the street map lies over another image: map pixels in the transparent
// list show the image, pixels in the lightening list tint it (halfway to
// white, then multiplied with it), all others cover it. The lists come from
// "legend.tga" in the current folder (its bottom row the lightening
// colours, the row above the transparent ones), else built-in defaults;
// which ones are used is logged.
struct MapColorLists {
    ColorList transparent;
    ColorList lightening;
};

MapColorLists LoadMapColorLists(LogSink& log);

// Lightening of one channel: halfway from the map channel to 255, then
// multiplied with the image's channel. Held as a table of all pairs.
class LighteningTable {
public:
    LighteningTable();
    uint8_t operator()(uint8_t map, uint8_t under) const { return table_[map][under]; }

private:
    uint8_t table_[256][256];
};

// Blends map pixels over image pixels by the lists, remembering the role of
// the last map colour seen: maps come in long runs of one colour. One per
// thread.
class MapPixelBlender {
public:
    MapPixelBlender(const MapColorLists& lists, const LighteningTable& lighten) : lists_(lists), lighten_(lighten) {}
    // `m` the map's pixel, `e` the image's, `o` the output (all blue, green, red).
    void Blend(const uint8_t* m, const uint8_t* e, uint8_t* o);

private:
    enum class Role { Transparent, Lightening, Opaque };
    Role RoleOf(uint32_t key);

    const MapColorLists& lists_;
    const LighteningTable& lighten_;
    uint32_t lastKey_ = 0;
    bool valid_ = false;
    Role lastRole_ = Role::Opaque;
};

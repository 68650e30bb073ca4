#pragma once

#include "mapdraw/GifEncoder.h"

#include <cstdint>
#include <vector>

struct PaletteImage {
    std::vector<PaletteColor> palette;  // at most 256 entries
    std::vector<uint8_t> indices;       // one a pixel
};

// Reduces an RGB image (three bytes a pixel) to at most 256 colours. The
// colours the texture's combining step treats specially — white, shown as
// the terrain, and the fills of cities, parks and military areas, shown as
// tints — are kept exactly, and colours close to them become them; of the
// rest the most common (at five bits a channel) are kept and every other
// colour takes the nearest of those.
PaletteImage ReduceToPalette(const std::vector<uint8_t>& rgb);

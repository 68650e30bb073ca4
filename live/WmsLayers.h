#pragma once

#include <string>
#include <vector>

// The TIGERweb WMS layers that stand in for the layer names of the street
// map's `on` list. Roads, railroads, water and parks come from the physical
// features service; states, counties, places and reservations from the
// boundaries service. Names and scale limits are those the services' capa-
// bilities documents list.
enum class WmsService { kPhysicalFeatures, kBoundaries };

struct WmsLayerSet {
    std::vector<std::string> names;  // drawing order: the first is drawn first (lowest)
    // The smallest MaxScaleDenominator among the names: the map must be
    // fetched at this scale or finer for all of them to draw.
    double maxScaleDenominator = 0.0;

    bool Empty() const { return names.empty(); }
};

// The WMS layers of one service that a comma-separated `on` list asks for
// (names in any case, unknown ones ignored), without repeats.
WmsLayerSet WmsLayersFor(const std::string& onList, WmsService service);

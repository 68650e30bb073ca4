#pragma once

#include "live/WmsCapabilities.h"

#include <string>
#include <vector>

// The TIGERweb WMS layers that stand in for the layer names of the street
// map's `on` list. Roads, railroads, water and parks come from the physical
// features service; states, counties, places and reservations from the
// boundaries service. Layers are known by their titles, which stay the same
// across editions of the services; their names and scale limits are read
// from each service's capabilities.
enum class WmsService { kPhysicalFeatures, kBoundaries };

struct WmsLayerSet {
    std::vector<std::string> names;  // drawing order: the first is drawn first (lowest)
    // The smallest MaxScaleDenominator among the names: the map must be
    // fetched at this scale or finer for all of them to draw.
    double maxScaleDenominator = 0.0;
    // Titles asked for that the capabilities do not list.
    std::vector<std::string> missingTitles;

    bool Empty() const { return names.empty(); }
};

// The layer titles of one service that a comma-separated `on` list asks for
// (names in any case, unknown ones ignored), in drawing order, without repeats.
std::vector<std::string> WmsTitlesFor(const std::string& onList, WmsService service);

// Those titles resolved to the layer names and scale limits `capabilities` lists.
WmsLayerSet WmsLayersFor(const std::string& onList, WmsService service, const WmsCapabilities& capabilities);

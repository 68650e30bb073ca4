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

// What the pixels of a layer stand for on the street map. The services'
// colours for areas are their own and may change, so an area layer's
// pixels are never kept as drawn: they become the map's colour for that
// kind of area. Lines and labels (kNone) keep the service's colours.
// Listed in the order the areas are laid down: a later one covers an
// earlier one where both draw.
enum class WmsArea { kPlaces, kNationalParks, kMilitary, kWater, kReservations, kNone };

// The layers of one service that are fetched together in their own GetMaps:
// the layers of one kind of area, or all the service's lines and labels.
struct WmsLayerGroup {
    WmsArea area = WmsArea::kNone;
    bool fill = false;     // an area's pixels all take its colour
    bool outline = false;  // an area's edge is drawn (shorelines, reservation bounds)
    std::vector<std::string> titles;  // of the layers found, in drawing order
    WmsLayerSet layers;
};

struct WmsLayerGroups {
    std::vector<WmsLayerGroup> groups;  // the areas in WmsArea order, then the lines; none empty
    std::vector<std::string> missingTitles;

    bool Empty() const { return groups.empty(); }
    const WmsLayerGroup* Of(WmsArea area) const;
};

// The titles of one service that `onList` asks for, resolved against
// `capabilities` and grouped by what their pixels stand for.
WmsLayerGroups WmsLayerGroupsFor(const std::string& onList, WmsService service, const WmsCapabilities& capabilities);

#include "live/WmsLayers.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <sstream>

namespace {

// How a layer's pixels are laid on the map: as the service drew them, or
// as its area's colour over every pixel or along the area's edge only.
enum class Ink { kAsDrawn, kFill, kOutline };

struct LayerEntry {
    const char* onName;  // the client's layer name, lower case
    WmsService service;
    const char* title;
    WmsArea area = WmsArea::kNone;
    Ink ink = Ink::kAsDrawn;
};

// In drawing order within each service: areas first, then lines, then
// labels. The areas follow the bundled map: places, parks and military
// areas are tints, water areas are water, shorelines and reservations are
// their outlines.
constexpr std::array<LayerEntry, 17> kLayers{{
    {"places", WmsService::kBoundaries, "Incorporated Places", WmsArea::kPlaces, Ink::kFill},
    {"places", WmsService::kBoundaries, "Census Designated Places", WmsArea::kPlaces, Ink::kFill},
    {"indian", WmsService::kBoundaries, "Federal American Indian Reservations", WmsArea::kReservations,
     Ink::kOutline},
    {"counties", WmsService::kBoundaries, "Counties"},
    {"states", WmsService::kBoundaries, "States"},
    {"cities", WmsService::kBoundaries, "Incorporated Places Labels"},
    {"water", WmsService::kPhysicalFeatures, "Areal Hydrography", WmsArea::kWater, Ink::kFill},
    {"shorelin", WmsService::kPhysicalFeatures, "Areal Hydrography", WmsArea::kWater, Ink::kOutline},
    {"miscell", WmsService::kPhysicalFeatures, "National Park Service Areas", WmsArea::kNationalParks, Ink::kFill},
    {"miscell", WmsService::kPhysicalFeatures, "Military Installations", WmsArea::kMilitary, Ink::kFill},
    {"water", WmsService::kPhysicalFeatures, "Linear Hydrography"},
    {"streets", WmsService::kPhysicalFeatures, "Local Roads"},
    {"railroad", WmsService::kPhysicalFeatures, "Railroads"},
    {"majroads", WmsService::kPhysicalFeatures, "Secondary Roads"},
    {"statehwy", WmsService::kPhysicalFeatures, "Secondary Roads"},
    {"interstate", WmsService::kPhysicalFeatures, "Primary Roads"},
    {"ushwy", WmsService::kPhysicalFeatures, "Primary Roads"},
}};

constexpr WmsArea kAreaOrder[] = {WmsArea::kPlaces,   WmsArea::kNationalParks, WmsArea::kMilitary,
                                  WmsArea::kWater,    WmsArea::kReservations,  WmsArea::kNone};

std::vector<std::string> LowerCaseItems(const std::string& list)
{
    std::vector<std::string> items;
    std::stringstream stream(list);
    std::string item;
    while (std::getline(stream, item, ',')) {
        std::transform(item.begin(), item.end(), item.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
        items.push_back(item);
    }
    return items;
}

bool Asked(const std::vector<std::string>& asked, const LayerEntry& entry, WmsService service)
{
    return entry.service == service && std::find(asked.begin(), asked.end(), entry.onName) != asked.end();
}

void AddUnique(std::vector<std::string>& items, const std::string& item)
{
    if (std::find(items.begin(), items.end(), item) == items.end())
        items.push_back(item);
}

// `titles` resolved to layer names and scale limits; `found` gets the titles that resolved.
WmsLayerSet ResolveTitles(const std::vector<std::string>& titles, const WmsCapabilities& capabilities,
                          std::vector<std::string>* found = nullptr)
{
    WmsLayerSet set;
    for (const std::string& title : titles) {
        const WmsLayerInfo* layer = capabilities.LayerTitled(title);
        if (layer == nullptr) {
            set.missingTitles.push_back(title);
            continue;
        }
        if (std::find(set.names.begin(), set.names.end(), layer->name) != set.names.end())
            continue;
        set.names.push_back(layer->name);
        if (found != nullptr)
            found->push_back(title);
        const double limit = layer->maxScaleDenominator;
        if (limit > 0.0 && (set.maxScaleDenominator == 0.0 || limit < set.maxScaleDenominator))
            set.maxScaleDenominator = limit;
    }
    return set;
}

}  // namespace

std::vector<std::string> WmsTitlesFor(const std::string& onList, WmsService service)
{
    const std::vector<std::string> asked = LowerCaseItems(onList);
    std::vector<std::string> titles;
    for (const LayerEntry& entry : kLayers)
        if (Asked(asked, entry, service))
            AddUnique(titles, entry.title);
    return titles;
}

WmsLayerSet WmsLayersFor(const std::string& onList, WmsService service, const WmsCapabilities& capabilities)
{
    return ResolveTitles(WmsTitlesFor(onList, service), capabilities);
}

const WmsLayerGroup* WmsLayerGroups::Of(WmsArea area) const
{
    for (const WmsLayerGroup& group : groups)
        if (group.area == area)
            return &group;
    return nullptr;
}

WmsLayerGroups WmsLayerGroupsFor(const std::string& onList, WmsService service, const WmsCapabilities& capabilities)
{
    const std::vector<std::string> asked = LowerCaseItems(onList);
    WmsLayerGroups result;
    for (const WmsArea area : kAreaOrder) {
        WmsLayerGroup group;
        group.area = area;
        std::vector<std::string> titles;
        for (const LayerEntry& entry : kLayers) {
            if (entry.area != area || !Asked(asked, entry, service))
                continue;
            AddUnique(titles, entry.title);
            group.fill = group.fill || entry.ink == Ink::kFill;
            group.outline = group.outline || entry.ink == Ink::kOutline;
        }
        group.layers = ResolveTitles(titles, capabilities, &group.titles);
        for (const std::string& title : group.layers.missingTitles)
            AddUnique(result.missingTitles, title);
        if (!group.layers.Empty())
            result.groups.push_back(std::move(group));
    }
    return result;
}

#include "live/WmsLayers.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <sstream>

namespace {

struct LayerEntry {
    const char* onName;  // the client's layer name, lower case
    WmsService service;
    const char* title;
};

// In drawing order within each service: areas first, then lines, then labels.
constexpr std::array<LayerEntry, 17> kLayers{{
    {"places", WmsService::kBoundaries, "Incorporated Places"},
    {"places", WmsService::kBoundaries, "Census Designated Places"},
    {"indian", WmsService::kBoundaries, "Federal American Indian Reservations"},
    {"counties", WmsService::kBoundaries, "Counties"},
    {"states", WmsService::kBoundaries, "States"},
    {"cities", WmsService::kBoundaries, "Incorporated Places Labels"},
    {"water", WmsService::kPhysicalFeatures, "Areal Hydrography"},
    {"shorelin", WmsService::kPhysicalFeatures, "Areal Hydrography"},
    {"miscell", WmsService::kPhysicalFeatures, "National Park Service Areas"},
    {"miscell", WmsService::kPhysicalFeatures, "Military Installations"},
    {"water", WmsService::kPhysicalFeatures, "Linear Hydrography"},
    {"streets", WmsService::kPhysicalFeatures, "Local Roads"},
    {"railroad", WmsService::kPhysicalFeatures, "Railroads"},
    {"majroads", WmsService::kPhysicalFeatures, "Secondary Roads"},
    {"statehwy", WmsService::kPhysicalFeatures, "Secondary Roads"},
    {"interstate", WmsService::kPhysicalFeatures, "Primary Roads"},
    {"ushwy", WmsService::kPhysicalFeatures, "Primary Roads"},
}};

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

}  // namespace

std::vector<std::string> WmsTitlesFor(const std::string& onList, WmsService service)
{
    const std::vector<std::string> asked = LowerCaseItems(onList);
    std::vector<std::string> titles;
    for (const LayerEntry& entry : kLayers) {
        if (entry.service != service || std::find(asked.begin(), asked.end(), entry.onName) == asked.end())
            continue;
        if (std::find(titles.begin(), titles.end(), entry.title) == titles.end())
            titles.emplace_back(entry.title);
    }
    return titles;
}

WmsLayerSet WmsLayersFor(const std::string& onList, WmsService service, const WmsCapabilities& capabilities)
{
    WmsLayerSet set;
    for (const std::string& title : WmsTitlesFor(onList, service)) {
        const WmsLayerInfo* layer = capabilities.LayerTitled(title);
        if (layer == nullptr) {
            set.missingTitles.push_back(title);
            continue;
        }
        if (std::find(set.names.begin(), set.names.end(), layer->name) != set.names.end())
            continue;
        set.names.push_back(layer->name);
        const double limit = layer->maxScaleDenominator;
        if (limit > 0.0 && (set.maxScaleDenominator == 0.0 || limit < set.maxScaleDenominator))
            set.maxScaleDenominator = limit;
    }
    return set;
}

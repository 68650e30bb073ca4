#include "live/WmsLayers.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <sstream>

namespace {

struct LayerEntry {
    const char* onName;   // the client's layer name, lower case
    WmsService service;
    const char* wmsName;
    double maxScaleDenominator;
};

// In drawing order within each service: areas first, then lines, then labels.
constexpr std::array<LayerEntry, 17> kLayers{{
    {"places", WmsService::kBoundaries, "Incorporated Places", 1322916.666667},
    {"places", WmsService::kBoundaries, "Census Designated Places", 1322916.666667},
    {"indian", WmsService::kBoundaries, "Federal American Indian Reservations", 20788690.476190},
    {"counties", WmsService::kBoundaries, "Counties", 11339285.714286},
    {"states", WmsService::kBoundaries, "States", 559081145.864044},
    {"cities", WmsService::kBoundaries, "Incorporated Places Labels", 307105.654762},
    {"water", WmsService::kPhysicalFeatures, "Areal Hydrography", 37797619.047619},
    {"shorelin", WmsService::kPhysicalFeatures, "Areal Hydrography", 37797619.047619},
    {"miscell", WmsService::kPhysicalFeatures, "National Park Service Areas", 5669642.857143},
    {"miscell", WmsService::kPhysicalFeatures, "Military Installations", 2362351.190476},
    {"water", WmsService::kPhysicalFeatures, "Linear Hydrography", 307105.654762},
    {"streets", WmsService::kPhysicalFeatures, "Local Roads", 85044.642857},
    {"railroad", WmsService::kPhysicalFeatures, "Railroads", 39687.500000},
    {"majroads", WmsService::kPhysicalFeatures, "Secondary Roads", 614211.309524},
    {"statehwy", WmsService::kPhysicalFeatures, "Secondary Roads", 614211.309524},
    {"interstate", WmsService::kPhysicalFeatures, "Primary Roads", 1322916.666667},
    {"ushwy", WmsService::kPhysicalFeatures, "Primary Roads", 1322916.666667},
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

WmsLayerSet WmsLayersFor(const std::string& onList, WmsService service)
{
    const std::vector<std::string> asked = LowerCaseItems(onList);
    WmsLayerSet set;
    for (const LayerEntry& entry : kLayers) {
        if (entry.service != service || std::find(asked.begin(), asked.end(), entry.onName) == asked.end())
            continue;
        if (std::find(set.names.begin(), set.names.end(), entry.wmsName) != set.names.end())
            continue;
        set.names.emplace_back(entry.wmsName);
        if (set.maxScaleDenominator == 0.0 || entry.maxScaleDenominator < set.maxScaleDenominator)
            set.maxScaleDenominator = entry.maxScaleDenominator;
    }
    return set;
}

#pragma once

#include <cstddef>
#include <string>
#include <vector>

// One named layer of a WMS capabilities document. Title is what a person
// reads and stays the same across editions; the name is what a GetMap sends
// and may change (text in some editions, numbers in others).
struct WmsLayerInfo {
    std::string name;
    std::string title;
    double maxScaleDenominator = 0.0;  // 0: no limit given
};

// What a WMS says it serves, as far as a GetMap needs it.
struct WmsCapabilities {
    bool ok = false;
    std::string error;  // why the document could not be read
    std::vector<WmsLayerInfo> layers;
    int maxWidth = 0, maxHeight = 0;  // 0: not given
    std::vector<std::string> formats;  // of GetMap

    // The first named layer of that title; null when there is none.
    const WmsLayerInfo* LayerTitled(const std::string& title) const;
    // image/png when offered (or nothing is listed), else image/gif, else the first format.
    std::string PreferredFormat() const;
};

constexpr size_t kMaxWmsCapabilitiesBytes = 8u << 20;

// Reads a WMS 1.3.0 capabilities document. Scale limits a layer does not
// state itself are inherited from its enclosing layer. Anything that is not
// well-formed XML of a capabilities document, or larger than
// kMaxWmsCapabilitiesBytes, is refused with a reason.
WmsCapabilities ReadWmsCapabilities(const std::string& xml);

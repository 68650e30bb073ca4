#pragma once

#include <string>

// The export files of a height map, named after it: "X_el.tga" gives
// "X_el.png", "X_el.tif", "X_el.r16", "X_el.json" and, for the texture,
// "X_tx.png". A height map not ending in "_el.tga" keeps its whole base name
// for the height exports and adds "_tx.png" for the texture.
struct ExportFileNames {
    std::string png16;
    std::string geoTiff;
    std::string raw16;
    std::string sidecar;
    std::string texturePng;
};

ExportFileNames ExportNamesFor(const std::string& heightMap);

// The texture a job made beside a height map "X_el.tga": "X_tx_cw.tga" (with
// a route) when it exists and is not older than "X_tx_c.tga", else
// "X_tx_c.tga" when that exists; empty when neither does.
std::string TextureBesideHeightMap(const std::string& heightMap);

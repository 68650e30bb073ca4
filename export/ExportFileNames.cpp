#include "export/ExportFileNames.h"

#include <filesystem>

namespace {

std::string WithoutEnding(const std::string& text, const std::string& ending)
{
    if (text.size() >= ending.size() && text.compare(text.size() - ending.size(), ending.size(), ending) == 0)
        return text.substr(0, text.size() - ending.size());
    return text;
}

// "X" of "X_el.tga"; the name without ".tga" for other names.
std::string ResultPrefix(const std::string& heightMap)
{
    const std::string base = WithoutEnding(heightMap, ".tga");
    return WithoutEnding(base, "_el");
}

} // namespace

ExportFileNames ExportNamesFor(const std::string& heightMap)
{
    const std::string base = WithoutEnding(heightMap, ".tga");
    ExportFileNames names;
    names.png16 = base + ".png";
    names.geoTiff = base + ".tif";
    names.raw16 = base + ".r16";
    names.sidecar = base + ".json";
    names.texturePng = ResultPrefix(heightMap) + "_tx.png";
    return names;
}

std::string TextureBesideHeightMap(const std::string& heightMap)
{
    namespace fs = std::filesystem;
    const std::string prefix = ResultPrefix(heightMap);
    const std::string withRoute = prefix + "_tx_cw.tga";
    const std::string combined = prefix + "_tx_c.tga";
    std::error_code error;
    const bool hasRoute = fs::is_regular_file(withRoute, error);
    const bool hasCombined = fs::is_regular_file(combined, error);
    if (hasRoute && hasCombined)
        return fs::last_write_time(withRoute, error) >= fs::last_write_time(combined, error) ? withRoute : combined;
    if (hasRoute)
        return withRoute;
    return hasCombined ? combined : std::string();
}

#include "export/HeightMapPlacement.h"

#include "export/ExportFileNames.h"
#include "export/ExportSidecar.h"

#include <filesystem>
#include <regex>

std::optional<Quad> QuadFromCoordinateName(const std::string& fileName, double size)
{
    static const std::regex pattern(R"(^(\d+\.\d{6})([NS])(\d+\.\d{6})([WE])_el\.tga$)");
    const std::string name = std::filesystem::path(fileName).filename().string();
    std::smatch match;
    if (size <= 0 || !std::regex_match(name, match, pattern))
        return std::nullopt;
    Quad quad;
    quad.top = std::stod(match[1].str()) * (match[2] == "S" ? -1 : 1);
    quad.left = std::stod(match[3].str()) * (match[4] == "W" ? -1 : 1);
    quad.right = quad.left + size;
    quad.bottom = quad.top - size;
    return quad;
}

std::optional<Quad> FindQuadOfHeightMap(const std::string& heightMap, int columns)
{
    Quad quad;
    if (ReadSidecarQuad(ExportNamesFor(heightMap).sidecar, quad))
        return quad;
    return QuadFromCoordinateName(heightMap, columns / 3600.0);
}

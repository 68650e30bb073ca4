#include "region/HeightMapVoids.h"

#include "raster/TGAFile.h"

#include <filesystem>

long long CountHeightMapVoids(const std::string& heightMap)
{
    TGAFile image;
    if (image.Open(heightMap) != 0)
        return -1;
    const int width = image.GetWidth();
    const size_t bytes = static_cast<size_t>(image.BytesPerPixel());
    long long voids = 0;
    for (int y = 0; y < image.GetHeight(); ++y) {
        const uint8_t* pixel = image.Row(y);
        for (int x = 0; x < width; ++x, pixel += bytes)
            voids += image.DecodeHeight(pixel) == 0;
    }
    return voids;
}

std::string FindHeightMap(const std::string& folder)
{
    std::error_code error;
    const std::string ending = "_el.tga";
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (name.size() > ending.size() && name.compare(name.size() - ending.size(), ending.size(), ending) == 0)
            return entry.path().string();
    }
    return {};
}

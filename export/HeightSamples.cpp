#include "export/HeightSamples.h"

#include "raster/TGAFile.h"

#include <algorithm>

bool ReadHeightSamples(const std::string& path, HeightSamples& samples, std::string& error)
{
    TGAFile image;
    if (image.Open(path) != 0) {
        error = "cannot read the height map \"" + path + "\"";
        return false;
    }
    const int width = image.GetWidth();
    const int height = image.GetHeight();
    if (width == 0 || height == 0) {
        error = "the height map \"" + path + "\" holds no posts";
        return false;
    }
    samples.columns = width;
    samples.rows = height;
    samples.values.resize(static_cast<size_t>(width) * height);
    for (int row = 0; row < height; ++row) {
        const int y = height - 1 - row;  // TGA rows run bottom-up
        int32_t* out = &samples.values[static_cast<size_t>(row) * width];
        for (int x = 0; x < width; ++x)
            out[x] = image.GetValue(x, y);
    }
    return true;
}

HeightRange RangeOf(const HeightSamples& samples)
{
    HeightRange range;
    for (const int32_t value : samples.values) {
        if (value == 0) {
            ++range.voids;
            continue;
        }
        if (range.heights == 0) {
            range.minimum = range.maximum = value;
        } else {
            range.minimum = std::min<int>(range.minimum, value);
            range.maximum = std::max<int>(range.maximum, value);
        }
        ++range.heights;
    }
    return range;
}

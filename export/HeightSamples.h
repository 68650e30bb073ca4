#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The heights of a height map, row by row from north to south (the image's
// top row first), west to east; 0 means no data.
struct HeightSamples {
    int columns = 0;
    int rows = 0;
    std::vector<int32_t> values;

    int32_t At(int column, int row) const { return values[static_cast<size_t>(row) * columns + column]; }
};

// The range of the heights that are not voids.
struct HeightRange {
    int minimum = 0;
    int maximum = 0;
    long long heights = 0;  // posts with data
    long long voids = 0;    // posts without (height 0)
    bool Empty() const { return heights == 0; }
};

// Reads a TGA height map; false with `error` when it cannot be read or holds
// no pixels.
bool ReadHeightSamples(const std::string& path, HeightSamples& samples, std::string& error);

HeightRange RangeOf(const HeightSamples& samples);

#pragma once

#include <string>

class ImageCache;
class LogSink;

// The size of a height map in pixels.
struct RasterSize {
    int rows = 0;
    int columns = 0;
};

// Converts a one-band BIL elevation raster (with its ".hdr" header and ".stx"
// statistics files) into a 24-bit TGA height map one pixel smaller in each
// direction: the northern data row and the eastern data column are dropped,
// -9999 becomes 0 (no data). Returns 0 and the height map's size in `size`
// on success; 1 and an empty size on any failure.
// Rasters with more samples are refused before anything is allocated: a
// quad of 1° at one arc-second is 3601 × 3601 samples; this leaves room for
// twice that.
inline constexpr long long kMaxBilSamples = 2LL * 3601 * 3601;

int BilToTga(const std::string& dataPath, const std::string& headerPath,
             const std::string& statisticsPath, const std::string& outputPath,
             LogSink& log, RasterSize& size, ImageCache* images = nullptr);

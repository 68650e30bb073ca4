#include "raster/ElevationToColor.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/ElevationColorTable.h"
#include "raster/ImageCache.h"
#include "raster/ParallelBands.h"
#include "raster/TGAFile.h"

int ElevationColorIndex(int height)
{
    // Integer division truncates toward zero like trunc(z × 2000 / 8000).
    const int index = height / 4;
    if (index >= kElevationColorCount)
        return kElevationColorCount - 1;
    return index < 0 ? 0 : index;
}

namespace {

void PaintRow(const TGAFile& heights, int y, TGAFile& colors)
{
    uint8_t* out = colors.Row(y);
    const int width = heights.GetWidth();
    for (int x = 0; x < width; ++x, out += 3) {
        const uint8_t* rgb = elevationColorTable[ElevationColorIndex(heights.GetValue(x, y))];
        out[0] = rgb[2];
        out[1] = rgb[1];
        out[2] = rgb[0];
    }
}

// A 24-bit height and its colour both take three bytes, and each colour
// depends on its own pixel's height only: the image is coloured where it
// stands, pixel by pixel.
void PaintRowInPlace(TGAFile& image, int y)
{
    uint8_t* pixel = image.Row(y);
    const int width = image.GetWidth();
    for (int x = 0; x < width; ++x, pixel += 3) {
        const uint8_t* rgb = elevationColorTable[ElevationColorIndex(image.DecodeHeight(pixel))];
        pixel[0] = rgb[2];
        pixel[1] = rgb[1];
        pixel[2] = rgb[0];
    }
}

// The colouring of `heights`, made in its own pixels when they are 24-bit,
// else in a new image. False when that cannot be allocated.
bool Paint(TGAFile& heights, TGAFile& colors)
{
    if (heights.BytesPerPixel() == 3) {
        ParallelBands(heights.GetHeight(), [&heights](int begin, int end) {
            for (int y = begin; y < end; ++y)
                PaintRowInPlace(heights, y);
        });
        heights.ResetHeader();
        colors = std::move(heights);
        return true;
    }
    if (colors.CreateUnfilled(heights.GetWidth(), heights.GetHeight()) != 0)
        return false;
    ParallelBands(heights.GetHeight(), [&](int begin, int end) {
        for (int y = begin; y < end; ++y)
            PaintRow(heights, y, colors);
    });
    return true;
}

} // namespace

int ElevationToColor(const std::string& heightMap, const std::string& output, LogSink& log)
{
    log.AddToLog(StringPrintf("Converting elevation \"%s\" to color \"%s\".", heightMap.c_str(), output.c_str()));
    TGAFile heights;
    if (OpenForChange(heightMap, heights) != 0) {
        log.AddToLog(StringPrintf("Error in ElevationToColor(): Could not read \"%s\".", heightMap.c_str()));
        return 2;
    }
    TGAFile colors;
    if (!Paint(heights, colors)) {
        log.AddToLog(StringPrintf("Error in ElevationToColor(): Could not create a %d by %d color image.",
                                  heights.GetWidth(), heights.GetHeight()));
        return 1;
    }
    heights.Close();
    if (colors.Write(output) != 0) {
        log.AddToLog(StringPrintf("Error in ElevationToColor(): Could not write \"%s\".", output.c_str()));
        return 1;
    }
    ImageCache::Keep(output, std::move(colors));
    log.AddToLog(StringPrintf("Color conversion successful: \"%s\" written.", output.c_str()));
    return 0;
}

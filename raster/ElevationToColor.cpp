#include "raster/ElevationToColor.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/ElevationColorTable.h"
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

} // namespace

int ElevationToColor(const std::string& heightMap, const std::string& output, LogSink& log)
{
    log.AddToLog(StringPrintf("Converting elevation \"%s\" to color \"%s\".", heightMap.c_str(), output.c_str()));
    TGAFile heights;
    if (heights.Open(heightMap) != 0) {
        log.AddToLog(StringPrintf("Error in ElevationToColor(): Could not read \"%s\".", heightMap.c_str()));
        return 2;
    }
    TGAFile colors;
    if (colors.Create(heights.GetWidth(), heights.GetHeight()) != 0) {
        log.AddToLog(StringPrintf("Error in ElevationToColor(): Could not create a %d by %d color image.",
                                  heights.GetWidth(), heights.GetHeight()));
        return 1;
    }
    for (int y = 0; y < heights.GetHeight(); ++y)
        PaintRow(heights, y, colors);
    heights.Close();
    if (colors.Write(output) != 0) {
        log.AddToLog(StringPrintf("Error in ElevationToColor(): Could not write \"%s\".", output.c_str()));
        return 1;
    }
    log.AddToLog(StringPrintf("Color conversion successful: \"%s\" written.", output.c_str()));
    return 0;
}

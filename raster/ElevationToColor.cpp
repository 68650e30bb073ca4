#include "raster/ElevationToColor.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/ElevationColorTable.h"
#include "raster/ImageCache.h"
#include "raster/MakeRowsWhileWriting.h"
#include "raster/TGAFile.h"

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
        const uint8_t* rgb = elevationColorTable[ElevationColorIndex(TGAFile::ReadHeight24(pixel))];
        pixel[0] = rgb[2];
        pixel[1] = rgb[1];
        pixel[2] = rgb[0];
    }
}

// The colour of one 24-bit height, in its own bytes.
void PaintPixel(uint8_t* pixel)
{
    const uint8_t* rgb = elevationColorTable[ElevationColorIndex(TGAFile::ReadHeight24(pixel))];
    pixel[0] = rgb[2];
    pixel[1] = rgb[1];
    pixel[2] = rgb[0];
}

// Colours `heights` into `colors` and writes them to `output` while the
// rows are being coloured. A 24-bit height map is coloured in its own
// pixels and becomes `colors`; other pixel sizes get a new image. Returns
// MakeRowsWhileWriting's code, or kRowsNotMade when the new image cannot be
// allocated.
// An image `images` keeps in memory only is only made, not written.
int PaintAndWrite(TGAFile& heights, TGAFile& colors, const std::string& output, ImageCache* images)
{
    const auto make = [&](TGAFile& image, const RowMaker& makeRows) {
        return MakeRowsFor(images, image, output, makeRows);
    };
    if (heights.BytesPerPixel() == 3) {
        heights.ResetHeader();
        colors = std::move(heights);
        return make(colors, [&colors](int begin, int end) {
            for (int y = begin; y < end; ++y)
                PaintRowInPlace(colors, y);
            return true;
        });
    }
    if (colors.CreateUnfilled(heights.GetWidth(), heights.GetHeight()) != 0)
        return kRowsNotMade;
    return make(colors, [&](int begin, int end) {
        for (int y = begin; y < end; ++y)
            PaintRow(heights, y, colors);
        return true;
    });
}

} // namespace

int ElevationToColor(const std::string& heightMap, const std::string& output, LogSink& log, ImageCache* images)
{
    log.AddToLog(StringPrintf("Converting elevation \"%s\" to color \"%s\".", heightMap.c_str(), output.c_str()));
    TGAFile heights;
    if (OpenForChange(images, heightMap, heights) != 0) {
        log.AddToLog(StringPrintf("Error in ElevationToColor(): Could not read \"%s\".", heightMap.c_str()));
        return 2;
    }
    const int width = heights.GetWidth();
    const int height = heights.GetHeight();
    // A colouring that only is handed on is coloured where its reader looks.
    if (KeptInMemoryOnly(images, output) && heights.BytesPerPixel() == 3) {
        heights.ResetHeader();
        images->KeepUnwrittenPending(output, std::move(heights), PaintPixel);
        log.AddToLog(StringPrintf("Color conversion successful: \"%s\" written.", output.c_str()));
        return 0;
    }
    TGAFile colors;
    const int painted = PaintAndWrite(heights, colors, output, images);
    heights.Close();
    if (painted == kRowsNotMade) {
        log.AddToLog(StringPrintf("Error in ElevationToColor(): Could not create a %d by %d color image.", width,
                                  height));
        return 1;
    }
    if (painted != 0) {
        log.AddToLog(StringPrintf("Error in ElevationToColor(): Could not write \"%s\".", output.c_str()));
        return 1;
    }
    HandOn(images, output, std::move(colors));
    log.AddToLog(StringPrintf("Color conversion successful: \"%s\" written.", output.c_str()));
    return 0;
}

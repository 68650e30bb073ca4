#include "raster/AddTga.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/ImageCache.h"
#include "raster/TGAFile.h"

#include <algorithm>
#include <cstring>
#include <filesystem>

namespace {

// Tile pixels of another size are copied one by one: a smaller pixel is
// padded with zero bytes, a larger one cut to the target's size.
void PastePixels(const TGAFile& tile, int x, int y, TGAFile& target)
{
    for (int i = 0; i < tile.GetHeight(); ++i) {
        for (int j = 0; j < tile.GetWidth(); ++j) {
            uint8_t pixel[32] = {};
            tile.GetPixel(j, i, pixel);
            // Positions are computed in 64 bits so far-off offsets cannot
            // wrap around into the target.
            const long long tx = static_cast<long long>(x) + j, ty = static_cast<long long>(y) + i;
            if (tx >= 0 && ty >= 0 && tx < target.GetWidth() && ty < target.GetHeight())
                target.SetPixel(static_cast<int>(tx), static_cast<int>(ty), pixel);
        }
    }
}

void Paste(const TGAFile& tile, int x, int y, TGAFile& target)
{
    if (tile.BytesPerPixel() != target.BytesPerPixel()) {
        PastePixels(tile, x, y, target);
        return;
    }
    // The part of the tile that lands inside the target, row by row.
    const long long left = std::max(0LL, -static_cast<long long>(x));
    const long long right = std::min<long long>(tile.GetWidth(), static_cast<long long>(target.GetWidth()) - x);
    const long long bottom = std::max(0LL, -static_cast<long long>(y));
    const long long top = std::min<long long>(tile.GetHeight(), static_cast<long long>(target.GetHeight()) - y);
    if (left >= right)
        return;
    const size_t pixelBytes = static_cast<size_t>(tile.BytesPerPixel());
    for (long long i = bottom; i < top; ++i)
        std::memcpy(target.Row(static_cast<int>(y + i)) + (x + left) * pixelBytes,
                    tile.Row(static_cast<int>(i)) + left * pixelBytes, static_cast<size_t>(right - left) * pixelBytes);
}

} // namespace

int AddTga(const std::string& tile, const std::string& target, int x, int y, int canvasWidth, int canvasHeight,
           LogSink& log, ImageCache* images)
{
    log.AddToLog(StringPrintf("Adding \"%s\" to \"%s\" at (%d/%d).", tile.c_str(), target.c_str(), x, y));
    std::shared_ptr<const TGAFile> source;
    if (OpenCached(images, tile, source) != 0) {
        log.AddToLog(StringPrintf("Error in AddTga(): Could not open file \"%s\".", tile.c_str()));
        return 1;
    }
    // A canvas not made yet is no error: it is created, without the failed
    // open's message.
    TGAFile canvas;
    std::error_code missing;
    const bool present = (images && images->Find(target)) || std::filesystem::exists(target, missing);
    if ((!present || OpenForChange(images, target, canvas) != 0) && canvas.Create(canvasWidth, canvasHeight) != 0) {
        log.AddToLog(StringPrintf("Error in AddTga(): Could not create a %d by %d canvas for \"%s\".", canvasWidth,
                                  canvasHeight, target.c_str()));
        return 3;
    }
    Paste(*source, x, y, canvas);
    source.reset();
    if (WriteOrKeep(images, target, std::move(canvas)) != 0) {
        log.AddToLog(StringPrintf("Error in AddTga(): Could not write file \"%s\".", target.c_str()));
        return 3;
    }
    log.AddToLog(StringPrintf("Adding successful: \"%s\" written.", target.c_str()));
    return 0;
}

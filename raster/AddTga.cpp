#include "raster/AddTga.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/ImageCache.h"
#include "raster/TGAFile.h"

namespace {

void Paste(const TGAFile& tile, int x, int y, TGAFile& target)
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

} // namespace

int AddTga(const std::string& tile, const std::string& target, int x, int y, int canvasWidth, int canvasHeight,
           LogSink& log)
{
    log.AddToLog(StringPrintf("Adding \"%s\" to \"%s\" at (%d/%d).", tile.c_str(), target.c_str(), x, y));
    std::shared_ptr<const TGAFile> source;
    if (OpenCached(tile, source) != 0) {
        log.AddToLog(StringPrintf("Error in AddTga(): Could not open file \"%s\".", tile.c_str()));
        return 1;
    }
    TGAFile canvas;
    if (OpenForChange(target, canvas) != 0 && canvas.Create(canvasWidth, canvasHeight) != 0) {
        log.AddToLog(StringPrintf("Error in AddTga(): Could not create a %d by %d canvas for \"%s\".", canvasWidth,
                                  canvasHeight, target.c_str()));
        return 3;
    }
    Paste(*source, x, y, canvas);
    source.reset();
    if (canvas.Write(target) != 0) {
        log.AddToLog(StringPrintf("Error in AddTga(): Could not write file \"%s\".", target.c_str()));
        return 3;
    }
    ImageCache::Keep(target, std::move(canvas));
    log.AddToLog(StringPrintf("Adding successful: \"%s\" written.", target.c_str()));
    return 0;
}

#include "raster/StretchTga.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/ImageCache.h"
#include "raster/ParallelBands.h"
#include "raster/StretchMapping.h"
#include "raster/TGAFile.h"

namespace {

// Pixels outside the source come out as zero, and so do the bytes a smaller
// source pixel lacks.
void ResampleRow(const StretchMapping& mapping, const TGAFile& source, PixelMap pending, int i, TGAFile& target)
{
    uint8_t* out = target.Row(i);
    const int width = target.GetWidth();
    int sx, sy;
    if (source.BytesPerPixel() == 3 && target.BytesPerPixel() == 3) {
        for (int j = 0; j < width; ++j, out += 3) {
            if (mapping.Find(j, i, source, sx, sy)) {
                const uint8_t* pixel = source.Row(sy) + 3 * static_cast<size_t>(sx);
                out[0] = pixel[0], out[1] = pixel[1], out[2] = pixel[2];
                if (pending)
                    pending(out);
            } else {
                out[0] = out[1] = out[2] = 0;
            }
        }
        return;
    }
    for (int j = 0; j < width; ++j) {
        uint8_t pixel[32] = {};
        if (mapping.Find(j, i, source, sx, sy))
            source.GetPixel(sx, sy, pixel);
        target.SetPixel(j, i, pixel);
    }
}

void Resample(const TGAFile& source, PixelMap pending, TGAFile& target, const StretchMapping& mapping)
{
    // Each target row depends on the source only.
    ParallelBands(target.GetHeight(), [&](int begin, int end) {
        for (int i = begin; i < end; ++i)
            ResampleRow(mapping, source, pending, i, target);
    });
}

} // namespace

int StretchTga(const std::string& source, const std::string& target, const StretchCorners& corners, int width,
               int height, LogSink& log, ImageCache* images)
{
    log.AddToLog(StringPrintf("Stretching/shrinking \"%s\" to \"%s\".", source.c_str(), target.c_str()));
    StretchMapping mapping;
    switch (StretchMapping::Solve(corners, width, height, mapping)) {
    case StretchMapping::Result::IndefiniteInX:
        log.AddToLog("Error in StretchTga(): Indefinite solution in x.");
        return 1;
    case StretchMapping::Result::IndefiniteInY:
        log.AddToLog("Error in StretchTga(): Indefinite solution in y.");
        return 2;
    case StretchMapping::Result::Solved:
        break;
    }
    std::shared_ptr<const TGAFile> input;
    // A source still to be mapped pixel by pixel is mapped where sampled.
    PixelMap pending = nullptr;
    if (OpenCachedPending(images, source, input, pending) != 0) {
        log.AddToLog(StringPrintf("Error in StretchTga(): Could not open TGA file \"%s\".", source.c_str()));
        return 3;
    }
    TGAFile output;
    // Every pixel is set by the resampling.
    if (output.CreateUnfilled(width, height) != 0) {
        log.AddToLog(
            StringPrintf("Error in StretchTga(): Could not initialize %d (w) by %d (h) TGA file.", width, height));
        return 4;
    }
    Resample(*input, pending, output, mapping);
    input.reset();
    if (WriteOrKeep(images, target, std::move(output)) != 0) {
        log.AddToLog(StringPrintf("Error in StretchTga(): Could not write TGA file \"%s\".", target.c_str()));
        return 5;
    }
    log.AddToLog(StringPrintf("Stretching/shrinking successful: \"%s\" written.", target.c_str()));
    return 0;
}

#include "raster/LayMapOver.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/ImageCache.h"
#include "raster/MapColorRules.h"
#include "raster/ParallelBands.h"
#include "raster/StretchMapping.h"
#include "raster/TGAFile.h"

#include <memory>

namespace {

void LayRows(const TGAFile& tile, const StretchMapping& mapping, const MapColorLists& lists,
             const LighteningTable& lighten, int begin, int end, TGAFile& image)
{
    MapPixelBlender blender(lists, lighten);
    static const uint8_t kBlack[3] = {0, 0, 0};
    for (int i = begin; i < end; ++i) {
        uint8_t* row = image.Row(i);
        const int stride = image.BytesPerPixel();
        for (int j = 0; j < image.GetWidth(); ++j, row += stride) {
            int sx = 0, sy = 0;
            uint8_t m[32] = {};
            const uint8_t* map = kBlack;
            if (mapping.Find(j, i, tile, sx, sy)) {
                tile.GetPixel(sx, sy, m);
                map = m;
            }
            const uint8_t under[3] = {row[0], row[1], row[2]};
            blender.Blend(map, under, row);
        }
    }
}

} // namespace

int LayMapOver(const std::string& tile, const StretchCorners& corners, TGAFile& image, LogSink& log,
               ImageCache* images)
{
    log.AddToLog(StringPrintf("Laying the street map \"%s\" over the texture.", tile.c_str()));
    StretchMapping mapping;
    if (StretchMapping::Solve(corners, image.GetWidth(), image.GetHeight(), mapping) !=
        StretchMapping::Result::Solved) {
        log.AddToLog("Error in LayMapOver(): The map's corners fix no stretch.");
        return 2;
    }
    std::shared_ptr<const TGAFile> map;
    if (OpenCached(images, tile, map) != 0) {
        log.AddToLog(StringPrintf("Error in LayMapOver(): Could not open file \"%s\".", tile.c_str()));
        return 1;
    }
    const MapColorLists lists = LoadMapColorLists(log);
    const auto lighten = std::make_unique<LighteningTable>();
    // Each pixel depends on its own place alone.
    ParallelBands(image.GetHeight(), [&](int begin, int end) {
        LayRows(*map, mapping, lists, *lighten, begin, end, image);
    });
    log.AddToLog("Laying the street map over the texture successful.");
    return 0;
}

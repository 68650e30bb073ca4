#include "raster/CombineTga.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/ImageCache.h"
#include "raster/MapColorRules.h"
#include "raster/ParallelBands.h"
#include "raster/StretchTga.h"
#include "raster/TGAFile.h"

#include <cstdio>
#include <filesystem>
#include <memory>

namespace {

void BlendRows(const TGAFile& map, const TGAFile& elevation, const MapColorLists& lists,
               const LighteningTable& lighten, int begin, int end, TGAFile& output)
{
    MapPixelBlender blender(lists, lighten);
    const bool packed = map.BytesPerPixel() == 3 && elevation.BytesPerPixel() == 3;
    for (int y = begin; y < end; ++y) {
        uint8_t* o = output.Row(y);
        if (packed) {
            const uint8_t* m = map.Row(y);
            const uint8_t* e = elevation.Row(y);
            for (int x = 0; x < map.GetWidth(); ++x, m += 3, e += 3, o += 3)
                blender.Blend(m, e, o);
            continue;
        }
        // Images of other pixel sizes: only the first three bytes count.
        for (int x = 0; x < map.GetWidth(); ++x, o += 3) {
            uint8_t m[32] = {}, e[32] = {};
            map.GetPixel(x, y, m);
            elevation.GetPixel(x, y, e);
            blender.Blend(m, e, o);
        }
    }
}

// Each output pixel depends on its own map and colouring pixels only, so
// bands of rows are blended on all cores.
void Blend(const TGAFile& map, const TGAFile& elevation, const MapColorLists& lists, TGAFile& output)
{
    const auto lighten = std::make_unique<LighteningTable>();
    ParallelBands(map.GetHeight(), [&](int begin, int end) {
        BlendRows(map, elevation, lists, *lighten, begin, end, output);
    });
}

} // namespace

int CombineTga(const std::string& map, const std::string& elevationColoring, const std::string& output,
               LogSink& log, bool keepIntermediates, ImageCache* images)
{
    log.AddToLog(StringPrintf("Combining \"%s\" and \"%s\" to \"%s\".", map.c_str(), elevationColoring.c_str(),
                              output.c_str()));
    std::shared_ptr<const TGAFile> m;
    if (OpenCached(images, map, m) != 0) {
        log.AddToLog(StringPrintf("Error in CombineTga(): Could not open file \"%s\".", map.c_str()));
        return 1;
    }
    std::shared_ptr<const TGAFile> e;
    // Its size is looked at first: a colouring still to be made is made
    // whole only when it is read whole.
    PixelMap pending = nullptr;
    if (OpenCachedPending(images, elevationColoring, e, pending) != 0) {
        m.reset();
        log.AddToLog(StringPrintf("Error in CombineTga(): Could not open file \"%s\".", elevationColoring.c_str()));
        return 2;
    }
    if (pending && e->GetWidth() == m->GetWidth() && e->GetHeight() == m->GetHeight())
        e = images->Find(elevationColoring);
    std::string stretched;
    if (e->GetWidth() != m->GetWidth() || e->GetHeight() != m->GetHeight()) {
        const double we = e->GetWidth(), he = e->GetHeight();
        const int mapWidth = m->GetWidth(), mapHeight = m->GetHeight();
        e.reset();
        // While the full-size colouring is stretched the map waits in its
        // file, so that it is not held beside the two images of the stretch.
        m.reset();
        // A map that has no file stays where it is.
        if (!images || !images->HoldsUnwritten(map))
            ForgetImage(images, map);
        stretched = StringPrintf("%s.stretched.tga", elevationColoring.c_str());
        StretchTga(elevationColoring, stretched, {0, 0, we, 0, 0, he, we, he}, mapWidth, mapHeight, log, images);
        // The full-size colouring has served its one reader.
        ForgetImage(images, elevationColoring);
        if (OpenCached(images, map, m) != 0) {
            log.AddToLog(StringPrintf("Error in CombineTga(): Could not open file \"%s\".", map.c_str()));
            return 1;
        }
        // A stretch that failed may leave an old side file of another size
        // behind; it counts as not opened rather than being read past its end.
        if (OpenCached(images, stretched, e) != 0 || e->GetWidth() != m->GetWidth() || e->GetHeight() != m->GetHeight()) {
            log.AddToLog(StringPrintf("Error in CombineTga(): Could not open file \"%s\".", stretched.c_str()));
            return 2;
        }
    }
    // The side file is only needed until it has been read.
    if (!stretched.empty() && !keepIntermediates) {
        std::remove(stretched.c_str());
        ForgetImage(images, stretched);
    }
    TGAFile o;
    // Every pixel is set by the blend.
    if (o.CreateUnfilled(m->GetWidth(), m->GetHeight()) != 0) {
        log.AddToLog(StringPrintf("Error in CombineTga(): Could not create a %d by %d image.", m->GetWidth(),
                                  m->GetHeight()));
        return 3;
    }
    const MapColorLists lists = LoadMapColorLists(log);
    Blend(*m, *e, lists, o);
    m.reset();
    e.reset();
    if (o.Write(output) != 0) {
        log.AddToLog(StringPrintf("Error in CombineTga(): Could not write file \"%s\".", output.c_str()));
        return 3;
    }
    KeepWritten(images, output, std::move(o));
    log.AddToLog(StringPrintf("Combining successful: \"%s\" written.", output.c_str()));
    return 0;
}

#include "job/TextureStages.h"

#include "core/AllocatorTuning.h"
#include "core/JobFields.h"
#include "core/JobFileNames.h"
#include "core/JobWindow.h"
#include "core/QuadGeometry.h"
#include "job/MapTile.h"
#include "raster/AddTga.h"
#include "raster/AddWaypoints.h"
#include "raster/CombineTga.h"
#include "raster/ElevationToColor.h"
#include "raster/GifToTga.h"
#include "raster/ImageCache.h"
#include "raster/StretchTga.h"

#include <cmath>
#include <cstdio>

namespace {

// Where the quad's corners lie in the map image: its north edge is a
// centred line 1200 × cos(north) pixels long in row 24, its south edge one of
// 1200 × cos(south) pixels in row 1224 (rows from the top).
StretchCorners MapCorners(const Quad& quad)
{
    const double north = std::cos(quad.top * kPi / 180);
    const double south = std::cos(quad.bottom * kPi / 180);
    const double half = kMapImageWidth * 0.5;
    return StretchCorners{(1 - north) * half, 24, (1 + north) * half, 24,
                          (1 - south) * half, 1224, (1 + south) * half, 1224};
}

void DeleteFiles(std::initializer_list<std::string> files)
{
    for (const std::string& file : files) {
        std::remove(file.c_str());
        ImageCache::Forget(file);
    }
}

} // namespace

int RunTextureStages(JobWindow& window, JobFields& job, const Quad& quad, const JobFileNames& names,
                     const std::string& heightMap, const std::string& mapHost, std::string& finalTexture)
{
    const int width = TextureWidth(quad.top, quad.bottom);
    const int height = kTextureHeight;
    // The height map is read again only after the map tile's stages; until
    // then its memory serves them (and a map server in the same program).
    ImageCache::Forget(heightMap);

    int result = RequestMapTile(names.TileGif(), quad.left, quad.right, quad.top, quad.bottom, kMapImageWidth,
                                mapHost, window, job.cancelRequested, job.httpTimeout);
    if (result == 0)
        result = GifToTga(names.TileGif(), names.TileTga(), window);
    if (result == 0)
        result = StretchTga(names.TileTga(), names.TileReprojected(), MapCorners(quad), width, height, window);
    if (result == 0)
        result = AddTga(names.TileReprojected(), names.MapTexture(), 0, 0, width, height, window);
    if (result != 0)
        return result;
    if (job.removeIntermediateFiles)
        DeleteFiles({names.TileGif(), names.TileTga(), names.TileReprojected()});

    const std::string combined = names.Result(ResultFile::CombinedTexture, job.namesFromCoordinates != 0,
                                              job.quadTop, job.quadLeft);
    // The map stages and the map server leave free space in the heap; it
    // goes back before the colouring's large image comes.
    ReturnFreedMemory();
    result = ElevationToColor(heightMap, names.ElevationColoring(), window);
    if (result == 0)
        result = CombineTga(names.MapTexture(), names.ElevationColoring(), combined, window, job);
    if (result != 0)
        return result;

    finalTexture = combined;
    // The list is kept while the route is switched off, for when it is
    // switched on again; only a checked route is drawn.
    WaypointList waypoints = job.useWaypoints != 0 ? job.Waypoints() : WaypointList{};
    if (!waypoints.empty()) {
        const std::string routed = names.Result(ResultFile::WaypointTexture, job.namesFromCoordinates != 0,
                                                job.quadTop, job.quadLeft);
        result = AddWaypoints(combined, routed, quad.left, quad.top, quad.right, quad.bottom,
                              std::move(waypoints), job.lineThickness, window, &job.cancelRequested);
        if (result != 0 && job.cancelRequested) {
            // As a cancelled download does: the user may start again at once.
            window.EnableControl(JobControl::Proceed, true);
            window.EnableControl(JobControl::WestEdge, true);
            window.EnableControl(JobControl::NorthEdge, true);
        }
        if (result != 0)
            return result;
        if (job.removeIntermediateFiles)
            DeleteFiles({combined});
        finalTexture = routed;
    }
    if (job.removeIntermediateFiles)
        DeleteFiles({names.MapTexture(), names.ElevationColoring()});
    return 0;
}

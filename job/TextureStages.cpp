#include "job/TextureStages.h"

#include "core/AllocatorTuning.h"
#include "core/JobWindow.h"
#include "core/QuadGeometry.h"
#include "core/StringPrintf.h"
#include "job/JobFileNames.h"
#include "job/ImageryTexture.h"
#include "job/JobParameters.h"
#include "job/MapTile.h"
#include "raster/AddTga.h"
#include "raster/AddWaypoints.h"
#include "raster/CombineTga.h"
#include "raster/ElevationToColor.h"
#include "raster/GifToTga.h"
#include "raster/ImageCache.h"
#include "raster/LayMapOver.h"
#include "raster/StretchTga.h"
#include "raster/TGAFile.h"

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

// The colouring stretched to the map's size, as CombineTga names it.
std::string StretchedColoringName(const JobFileNames& names)
{
    return names.ElevationColoring() + ".stretched.tga";
}

void DeleteFiles(std::initializer_list<std::string> files, ImageCache& images)
{
    for (const std::string& file : files) {
        std::remove(file.c_str());
        images.Forget(file);
    }
}

// Fetches the street map of the quad and fits it onto the texture: the
// assembled map texture.
int MakeMapTexture(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested,
                   const JobFileNames& names, int width, int height, ImageCache& images)
{
    const Quad& quad = job.quad;
    int result = RequestMapTile(names.TileGif(), quad.left, quad.right, quad.top, quad.bottom, kMapImageWidth,
                                job.hosts.map, window, cancelRequested, job.httpTimeout);
    if (result == 0)
        result = GifToTga(names.TileGif(), names.TileTga(), window, {}, &images);
    if (result == 0)
        result = StretchTga(names.TileTga(), names.TileReprojected(), MapCorners(quad), width, height, window,
                            &images);
    if (result == 0)
        result = AddTga(names.TileReprojected(), names.MapTexture(), 0, 0, width, height, window, &images);
    if (result != 0)
        return result;
    if (job.removeIntermediateFiles)
        DeleteFiles({names.TileGif(), names.TileTga(), names.TileReprojected()}, images);
    return 0;
}

// The street map over the photograph, made in one image of the texture's
// size: the map's tile is laid over the photograph where the map stages
// would have stretched it to.
int MakeStreetsOverImagery(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested,
                           const JobFileNames& names, int width, int height, const std::string& combined,
                           ImageCache& images)
{
    const Quad& quad = job.quad;
    int result = RequestMapTile(names.TileGif(), quad.left, quad.right, quad.top, quad.bottom, kMapImageWidth,
                                job.hosts.map, window, cancelRequested, job.httpTimeout);
    if (result == 0)
        result = GifToTga(names.TileGif(), names.TileTga(), window, {}, &images);
    if (result != 0)
        return result;
    ReturnFreedMemory();
    TGAFile texture;
    result = FetchImagery(window, job, cancelRequested, width, height, texture);
    if (result == 0 && !job.removeIntermediateFiles && texture.Write(names.ImageryTexture()) != 0) {
        window.AddToLog(StringPrintf("Error: Could not write \"%s\".", names.ImageryTexture().c_str()));
        result = 1;
    }
    if (result == 0)
        result = LayMapOver(names.TileTga(), MapCorners(quad), texture, window, &images);
    if (result == 0 && texture.Write(combined) != 0) {
        window.AddToLog(StringPrintf("Error: Could not write \"%s\".", combined.c_str()));
        result = 1;
    }
    if (result != 0)
        return result;
    window.AddToLog(StringPrintf("Texture written: \"%s\".", combined.c_str()));
    if (job.removeIntermediateFiles)
        DeleteFiles({names.TileGif(), names.TileTga()}, images);
    return 0;
}

// The texture before the route: the map over the colouring by elevation,
// the photograph alone, or the map over the photograph.
int MakeCombinedTexture(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested,
                        const JobFileNames& names, const std::string& heightMap, const std::string& combined,
                        ImageCache& images)
{
    const int width = TextureWidth(job.quad.top, job.quad.bottom, job.textureHeight);
    const int height = job.textureHeight;
    if (job.textureKind == TextureKind::Imagery)
        return MakeImageryTexture(window, job, cancelRequested, width, height, combined, images);
    if (job.textureKind == TextureKind::ImageryWithMap)
        return MakeStreetsOverImagery(window, job, cancelRequested, names, width, height, combined, images);

    // Images that would be removed are handed on without their files. The
    // map texture is written still: the combining lets it wait in its file
    // while the colouring is stretched, which keeps the job's peak memory.
    if (job.removeIntermediateFiles)
        for (const std::string& intermediate : {names.TileTga(), names.TileReprojected(),
                                                names.ElevationColoring(), StretchedColoringName(names)})
            images.KeepInMemoryOnly(intermediate);
    int result = MakeMapTexture(window, job, cancelRequested, names, width, height, images);
    if (result != 0)
        return result;
    // The map stages and the map server leave free space in the heap; it
    // goes back before the next large image comes.
    ReturnFreedMemory();
    result = ElevationToColor(heightMap, names.ElevationColoring(), window, &images);
    if (result == 0)
        result = CombineTga(names.MapTexture(), names.ElevationColoring(), combined, window,
                            !job.removeIntermediateFiles, &images);
    if (result == 0 && job.removeIntermediateFiles)
        DeleteFiles({names.MapTexture(), names.ElevationColoring()}, images);
    return result;
}

} // namespace

int RunTextureStages(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested,
                     const JobFileNames& names, const std::string& heightMap, ImageCache& images,
                     std::string& finalTexture)
{
    const Quad& quad = job.quad;
    // The height map is read again only after the map tile's stages; until
    // then its memory serves them (and a map server in the same program).
    images.Forget(heightMap);

    const std::string combined = names.Result(ResultFile::CombinedTexture, job.namesFromCoordinates, quad.top,
                                              quad.left);
    int result = MakeCombinedTexture(window, job, cancelRequested, names, heightMap, combined, images);
    if (result != 0)
        return result;

    finalTexture = combined;
    if (!job.waypoints.empty()) {
        const std::string routed = names.Result(ResultFile::WaypointTexture, job.namesFromCoordinates, quad.top,
                                                quad.left);
        result = AddWaypoints(combined, routed, quad.left, quad.top, quad.right, quad.bottom, job.waypoints,
                              job.lineThickness, window, &cancelRequested);
        if (result != 0 && cancelRequested) {
            // As a cancelled download does: the user may start again at once.
            window.EnableControl(JobControl::Proceed, true);
            window.EnableControl(JobControl::WestEdge, true);
            window.EnableControl(JobControl::NorthEdge, true);
        }
        if (result != 0)
            return result;
        if (job.removeIntermediateFiles)
            DeleteFiles({combined}, images);
        finalTexture = routed;
    }
    return 0;
}

#include "services/LiveMapService.h"

#include "live/CacheFile.h"
#include "live/WmsLayers.h"
#include "live/WmsMapSource.h"
#include "services/GifEncoder.h"
#include "services/MapResampler.h"
#include "services/PaletteReduction.h"

#include <algorithm>
#include <cstdio>

namespace {

constexpr size_t kMaxCachedMapBytes = 64u << 20;

struct Source {
    const char* name;
    const std::string* url;
    WmsLayerSet layers;
};

ServiceReply GifReply(std::string gif)
{
    ServiceReply reply;
    reply.contentType = "image/gif";
    reply.body = std::move(gif);
    return reply;
}

// Paints the drawn pixels of a MapPalette() image over `rgb`.
void LayOverPalette(const std::vector<uint8_t>& overlay, std::vector<uint8_t>& rgb)
{
    const std::vector<PaletteColor>& palette = MapPalette();
    for (size_t i = 0; i < overlay.size() && i * 3 + 2 < rgb.size(); ++i) {
        if (overlay[i] == kColorBackground || overlay[i] >= palette.size())
            continue;
        rgb[i * 3] = palette[overlay[i]].red;
        rgb[i * 3 + 1] = palette[overlay[i]].green;
        rgb[i * 3 + 2] = palette[overlay[i]].blue;
    }
}

}  // namespace

std::string LiveMapService::CachePath(const MapView& view, const std::string& layerKey) const
{
    char name[160];
    std::snprintf(name, sizeof name, "map_%.8f_%.8f_%.8f_%.8f_%dx%d_", view.longitude, view.latitude, view.width,
                  view.height, view.imageWidth, view.imageHeight);
    return cacheFolder_ + "/maps/" + name + CacheKeyHash(layerKey) + ".gif";
}

ServiceReply LiveMapService::Map(const MapView& view, const std::string& onList,
                                 const std::vector<uint8_t>& overlay) const
{
    // Boundaries and place areas first, roads and water over them.
    const Source sources[] = {
        {"TIGERweb boundaries WMS", &boundariesUrl_, WmsLayersFor(onList, WmsService::kBoundaries)},
        {"TIGERweb physical features WMS", &physicalFeaturesUrl_, WmsLayersFor(onList, WmsService::kPhysicalFeatures)},
    };
    // The cache knows a map by its view, the services and their layers, so
    // the same layers asked for in other words are found again.
    std::string layerKey;
    for (const Source& source : sources) {
        layerKey += *source.url + "|";
        for (const std::string& name : source.layers.names)
            layerKey += name + ",";
        layerKey += "|";
    }
    if (!overlay.empty())
        layerKey += CacheKeyHash(std::string(overlay.begin(), overlay.end()));
    const std::string cachePath = cacheFolder_.empty() ? std::string() : CachePath(view, layerKey);
    std::string cached;
    if (!cachePath.empty() && ReadCacheFile(cachePath, kMaxCachedMapBytes, cached) && cached.rfind("GIF", 0) == 0)
        return GifReply(std::move(cached));

    const MapExtent extent = MapExtentOf(view);
    const GeoBox box{extent.west, extent.south, extent.east, extent.north};
    // Source pixels no coarser than the map's, in either direction.
    const double mapPixel = std::min(view.height / view.imageHeight, view.width / view.imageWidth);
    std::vector<uint8_t> rgb(static_cast<size_t>(view.imageWidth) * view.imageHeight * 3, 255);
    for (const Source& source : sources) {
        if (source.layers.Empty())
            continue;
        const WmsPiecePlan plan =
            PlanWmsPieces(box, mapPixel, source.layers.maxScaleDenominator, WmsMapSource::kMaxPieces);
        MapResampler resampler(view, plan.degreesPerPixel);
        const WmsMapSource wms(fetch_, *source.url, source.name);
        const std::string why = wms.Fetch(source.layers.names, plan, [&](const WmsPiece& piece, const RgbImage& image) {
            resampler.Add(piece, image);
        });
        if (!why.empty())
            return ServiceReply::SourceFailure(why);
        resampler.LayOver(rgb);
    }
    LayOverPalette(overlay, rgb);

    const PaletteImage reduced = ReduceToPalette(rgb);
    std::string gif = EncodeGif(view.imageWidth, view.imageHeight, reduced.indices, reduced.palette);
    if (gif.empty())
        return ServiceReply::Text(500, "Error: The image could not be encoded.\n");
    // A map that cannot be cached is still a good answer; it is fetched again next time.
    std::string ignored;
    if (!cachePath.empty())
        WriteCacheFile(cachePath, gif, ignored);
    return GifReply(std::move(gif));
}

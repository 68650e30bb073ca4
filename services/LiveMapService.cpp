#include "services/LiveMapService.h"

#include "live/WmsLayers.h"
#include "live/WmsMapSource.h"
#include "services/GifEncoder.h"
#include "services/MapResampler.h"
#include "services/PaletteReduction.h"

#include <algorithm>

namespace {

struct ServiceLayers {
    WmsService service;
    const std::string* url;
    const char* name;
};

}  // namespace

ServiceReply LiveMapService::Map(const MapView& view, const std::string& onList) const
{
    const MapExtent extent = MapExtentOf(view);
    const GeoBox box{extent.west, extent.south, extent.east, extent.north};
    // Source pixels no coarser than the map's, in either direction.
    const double mapPixel = std::min(view.height / view.imageHeight, view.width / view.imageWidth);

    std::vector<uint8_t> rgb(static_cast<size_t>(view.imageWidth) * view.imageHeight * 3, 255);
    // Boundaries and place areas first, roads and water over them.
    for (const ServiceLayers& source :
         {ServiceLayers{WmsService::kBoundaries, &boundariesUrl_, "TIGERweb boundaries WMS"},
          ServiceLayers{WmsService::kPhysicalFeatures, &physicalFeaturesUrl_, "TIGERweb physical features WMS"}}) {
        const WmsLayerSet layers = WmsLayersFor(onList, source.service);
        if (layers.Empty())
            continue;
        const WmsPiecePlan plan =
            PlanWmsPieces(box, mapPixel, layers.maxScaleDenominator, WmsMapSource::kMaxPieces);
        MapResampler resampler(view, plan.degreesPerPixel);
        const WmsMapSource wms(fetch_, *source.url, source.name);
        const std::string why = wms.Fetch(layers.names, plan, [&](const WmsPiece& piece, const RgbImage& image) {
            resampler.Add(piece, image);
        });
        if (!why.empty())
            return ServiceReply::SourceFailure(why);
        resampler.LayOver(rgb);
    }

    const PaletteImage reduced = ReduceToPalette(rgb);
    std::string gif = EncodeGif(view.imageWidth, view.imageHeight, reduced.indices, reduced.palette);
    if (gif.empty())
        return ServiceReply::Text(500, "Error: The image could not be encoded.\n");
    ServiceReply reply;
    reply.contentType = "image/gif";
    reply.body = std::move(gif);
    return reply;
}

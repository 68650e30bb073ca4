#include "services/MapService.h"

#include "mapdraw/GifEncoder.h"

#include <cmath>

std::string MapService::ParseView(const QueryMap& query, MapView& view)
{
    struct Number {
        const char* key;
        double* value;
    };
    for (const Number& number : {Number{"lon", &view.longitude}, Number{"lat", &view.latitude},
                                 Number{"wid", &view.width}, Number{"ht", &view.height}}) {
        std::string text;
        if (!FindKey(query, number.key, text))
            return std::string("Missing key \"") + number.key + "\".";
        if (!ParseNumber(text, *number.value))
            return std::string("The value of \"") + number.key + "\" is not a number.";
    }
    struct Size {
        const char* key;
        int* value;
    };
    for (const Size& size : {Size{"iwd", &view.imageWidth}, Size{"iht", &view.imageHeight}}) {
        std::string text;
        long value = 0;
        if (!FindKey(query, size.key, text))
            return std::string("Missing key \"") + size.key + "\".";
        if (!ParseInteger(text, value))
            return std::string("The value of \"") + size.key + "\" is not a whole number.";
        if (value < 1 || value > kMaxImageSide)
            return std::string("The image size \"") + size.key + "\" must lie between 1 and " +
                   std::to_string(kMaxImageSide) + " pixels.";
        *size.value = static_cast<int>(value);
    }
    if (view.longitude < -180.0 || view.longitude > 180.0)
        return "The centre longitude must lie between -180 and 180 degrees.";
    if (!(view.width > 0.0) || !(view.height > 0.0))
        return "The box must have a positive width and height.";
    if (view.width > kMaxSpanDegrees || view.height > kMaxSpanDegrees)
        return "The box may be at most 30 degrees wide and high.";
    if (std::fabs(view.latitude) + view.height * 0.5 > 85.0)
        return "The box must lie between 85 degrees south and 85 degrees north.";
    std::string layers;
    FindKey(query, "on", layers);
    view.layers = ParseLayerList(layers);
    return {};
}

ServiceReply MapService::Map(const QueryMap& query) const
{
    MapView view;
    const std::string why = ParseView(query, view);
    if (!why.empty())
        return ServiceReply::Text(400, "Error: " + why + "\n");
    if (live_) {
        std::string layers;
        FindKey(query, "on", layers);
        // The coordinate grid is no data: it is drawn here as on the bundled maps.
        MapView grid = view;
        grid.layers &= kLayerGrid;
        return live_->Map(view, layers, grid.layers ? RenderMap(grid, gazetteer_, boundaries_) : std::vector<uint8_t>{});
    }
    std::string gif = drawn_.Find(view);
    if (gif.empty()) {
        ++mapsDrawn_;
        gif = EncodeGif(view.imageWidth, view.imageHeight, RenderMap(view, gazetteer_, boundaries_), MapPalette());
        if (gif.empty())
            return ServiceReply::Text(500, "Error: The image could not be encoded.\n");
        drawn_.Keep(view, gif);
    }
    ServiceReply reply;
    reply.contentType = "image/gif";
    reply.body = std::move(gif);
    return reply;
}

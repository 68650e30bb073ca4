#include "live/WmsGetMap.h"
#include "live/QueryValue.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>

namespace {

// Keeps the scale a little under the limit, so that rounding on the
// server's side does not drop a layer.
constexpr double kScaleMargin = 0.9;

int PiecesAlong(double span, double degreesPerPixel, int maxImageSide)
{
    return std::max(1, static_cast<int>(std::ceil(span / degreesPerPixel / maxImageSide - 1e-9)));
}

std::string Coordinate(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9f", value);
    return text;
}

// What joins a query to `baseUrl`: nothing when it already ends one.
std::string QueryJoint(const std::string& baseUrl)
{
    if (!baseUrl.empty() && (baseUrl.back() == '?' || baseUrl.back() == '&'))
        return {};
    return baseUrl.find('?') == std::string::npos ? "?" : "&";
}

}  // namespace

double WmsScaleDenominator(double degreesPerPixel) { return degreesPerPixel * kMetresPerDegree / kWmsPixelMetres; }

int WmsMaxImageSide(int maxWidth, int maxHeight)
{
    int side = kWmsMaxImageSide;
    for (const int limit : {maxWidth, maxHeight})
        if (limit > 0)
            side = std::min(side, limit);
    return side;
}

WmsPiecePlan PlanWmsPieces(const GeoBox& box, double coarsestDegreesPerPixel, double maxScaleDenominator,
                           int maxPieces, int maxImageSide)
{
    maxImageSide = std::clamp(maxImageSide, 1, kWmsMaxImageSide);
    const double spanX = box.east - box.west, spanY = box.north - box.south;
    double perPixel = coarsestDegreesPerPixel;
    if (maxScaleDenominator > 0.0)
        perPixel = std::min(perPixel, maxScaleDenominator * kScaleMargin * kWmsPixelMetres / kMetresPerDegree);
    // Coarser pixels until the pieces fit the bound; each step is small, so
    // the result is close to the finest pixel size that fits.
    maxPieces = std::max(1, maxPieces);
    while (PiecesAlong(spanX, perPixel, maxImageSide) * PiecesAlong(spanY, perPixel, maxImageSide) > maxPieces)
        perPixel *= 1.02;

    WmsPiecePlan plan;
    plan.degreesPerPixel = perPixel;
    plan.columns = PiecesAlong(spanX, perPixel, maxImageSide);
    plan.rows = PiecesAlong(spanY, perPixel, maxImageSide);
    const int width = std::max(1, static_cast<int>(std::ceil(spanX / perPixel / plan.columns - 1e-9)));
    const int height = std::max(1, static_cast<int>(std::ceil(spanY / perPixel / plan.rows - 1e-9)));
    for (int row = 0; row < plan.rows; ++row) {
        for (int column = 0; column < plan.columns; ++column) {
            WmsPiece piece;
            piece.width = width;
            piece.height = height;
            piece.box.west = box.west + column * width * perPixel;
            piece.box.east = piece.box.west + width * perPixel;
            piece.box.north = box.north - row * height * perPixel;
            piece.box.south = piece.box.north - height * perPixel;
            plan.pieces.push_back(piece);
        }
    }
    return plan;
}

std::string WmsGetMapUrl(const std::string& baseUrl, const std::vector<std::string>& layers, const WmsPiece& piece,
                         const std::string& format)
{
    std::string layerList, styles;
    for (size_t i = 0; i < layers.size(); ++i) {
        if (i > 0) {
            layerList += ',';
            styles += ',';
        }
        layerList += QueryValue(layers[i]);
    }
    return baseUrl + QueryJoint(baseUrl) + "SERVICE=WMS&VERSION=1.3.0&REQUEST=GetMap&LAYERS=" + layerList + "&STYLES=" + styles +
           "&CRS=EPSG:4326&BBOX=" + Coordinate(piece.box.south) + ',' + Coordinate(piece.box.west) + ',' +
           Coordinate(piece.box.north) + ',' + Coordinate(piece.box.east) + "&WIDTH=" + std::to_string(piece.width) +
           "&HEIGHT=" + std::to_string(piece.height) + "&FORMAT=" + QueryValue(format) +
           "&TRANSPARENT=FALSE&BGCOLOR=0xFFFFFF";
}

std::string WmsCapabilitiesUrl(const std::string& baseUrl)
{
    return baseUrl + QueryJoint(baseUrl) + "SERVICE=WMS&VERSION=1.3.0&REQUEST=GetCapabilities";
}

#pragma once

#include <string>
#include <vector>

// A box of plain latitude/longitude degrees.
struct GeoBox {
    double west = 0.0, south = 0.0, east = 0.0, north = 0.0;
};

// One GetMap of a plan: a box and its image size in pixels.
struct WmsPiece {
    GeoBox box;
    int width = 0, height = 0;
};

// How a box is fetched: square pixels of `degreesPerPixel`, in `columns` ×
// `rows` pieces that tile the box from its north-west corner (the last
// pieces may reach past its east and south edges).
struct WmsPiecePlan {
    double degreesPerPixel = 0.0;
    int columns = 0, rows = 0;
    std::vector<WmsPiece> pieces;  // row by row, north first
};

constexpr int kWmsMaxImageSide = 4096;       // MaxWidth and MaxHeight of the services
constexpr double kWmsPixelMetres = 0.00028;  // the standard rendering pixel
constexpr double kMetresPerDegree = 6378137.0 * 3.141592653589793 / 180.0;

// The scale denominator a server computes for pixels of `degreesPerPixel`.
double WmsScaleDenominator(double degreesPerPixel);

// Plans the pieces for `box`: pixels no coarser than `coarsestDegreesPerPixel`
// (the resolution the answer needs) and fine enough for layers drawn up to
// `maxScaleDenominator` (0: no limit), but never more than `maxPieces`
// pieces; when the scale limit would need more, the pixels are as fine as
// that many pieces allow.
WmsPiecePlan PlanWmsPieces(const GeoBox& box, double coarsestDegreesPerPixel, double maxScaleDenominator,
                           int maxPieces, int maxImageSide = kWmsMaxImageSide);

// The largest piece side a service's MaxWidth and MaxHeight allow (0: not
// given), never above kWmsMaxImageSide.
int WmsMaxImageSide(int maxWidth, int maxHeight);

// The GetMap URL of WMS 1.3.0 for one piece: CRS EPSG:4326, whose axis order
// puts latitude first (BBOX=south,west,north,east), white opaque background.
std::string WmsGetMapUrl(const std::string& baseUrl, const std::vector<std::string>& layers, const WmsPiece& piece,
                         const std::string& format = "image/png");

// The GetCapabilities URL of WMS 1.3.0 for a service.
std::string WmsCapabilitiesUrl(const std::string& baseUrl);

#include "mapdraw/MapRenderer.h"

#include "mapdraw/WaterFeatures.h"
#include "terrain/Noise.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <set>
#include <utility>

namespace {

constexpr double kRadians = 3.141592653589793 / 180.0;

struct LayerName {
    const char* name;
    unsigned layer;
};
constexpr std::array<LayerName, 15> kLayerNames{{
    {"cities", kLayerCities},         {"grid", kLayerGrid},
    {"counties", kLayerCounties},     {"indian", kLayerIndian},
    {"majroads", kLayerMajorRoads},   {"miscell", kLayerMiscellaneous},
    {"places", kLayerPlaces},         {"railroad", kLayerRailroad},
    {"shorelin", kLayerShoreline},    {"streets", kLayerStreets},
    {"interstate", kLayerInterstate}, {"statehwy", kLayerStateHighway},
    {"ushwy", kLayerUsHighway},       {"states", kLayerStates},
    {"water", kLayerWater},
}};

class Projection {
public:
    explicit Projection(const MapView& view)
        : view_(view),
          top_(view.latitude + view.height * 0.5),
          perDegreeX_(view.imageWidth / view.width),
          perDegreeY_(view.imageHeight / view.height)
    {
    }

    double X(double longitude, double latitude) const
    {
        return view_.imageWidth * 0.5 +
               (longitude - view_.longitude) * perDegreeX_ * std::cos(latitude * kRadians);
    }
    double Y(double latitude) const { return (top_ - latitude) * perDegreeY_; }
    double Latitude(double y) const { return top_ - y / perDegreeY_; }
    double Longitude(double x, double cosLatitude) const
    {
        return view_.longitude + (x - view_.imageWidth * 0.5) / (perDegreeX_ * cosLatitude);
    }
    double PixelsPerDegreeY() const { return perDegreeY_; }
    double PixelsPerDegreeX(double latitude) const { return perDegreeX_ * std::cos(latitude * kRadians); }

    // The box of degrees the image shows (wider than `width` away from the
    // equator, since a degree of longitude shrinks there).
    double North() const { return top_; }
    double South() const { return top_ - view_.height; }
    double West() const { return view_.longitude - HalfSpan(); }
    double East() const { return view_.longitude + HalfSpan(); }

private:
    double HalfSpan() const
    {
        const double extreme = std::max(std::fabs(North()), std::fabs(South()));
        return view_.width * 0.5 / std::max(0.02, std::cos(std::min(extreme, 89.0) * kRadians));
    }

    MapView view_;
    double top_;
    double perDegreeX_;
    double perDegreeY_;
};

class Canvas {
public:
    Canvas(int width, int height)
        : width_(width), height_(height), pixels_(static_cast<size_t>(width) * height, kColorBackground)
    {
    }

    int Width() const { return width_; }
    int Height() const { return height_; }
    std::vector<uint8_t>& Pixels() { return pixels_; }

    void Set(int x, int y, uint8_t color)
    {
        if (x >= 0 && y >= 0 && x < width_ && y < height_)
            pixels_[static_cast<size_t>(y) * width_ + x] = color;
    }

    void Dot(int x, int y, int size, uint8_t color)
    {
        const int from = -(size - 1) / 2;
        for (int dy = from; dy < from + size; ++dy)
            for (int dx = from; dx < from + size; ++dx)
                Set(x + dx, y + dy, color);
    }

    // A straight line of `size` pixels' thickness; with `dash` > 0 it is
    // drawn `dash` pixels on, `dash` pixels off.
    void Line(double x0, double y0, double x1, double y1, uint8_t color, int size, int dash = 0)
    {
        if (!Clip(x0, y0, x1, y1, size + 1.0))
            return;
        const double dx = x1 - x0, dy = y1 - y0;
        const int steps = static_cast<int>(std::ceil(std::max(std::fabs(dx), std::fabs(dy))));
        for (int i = 0; i <= steps; ++i) {
            if (dash > 0 && (i / dash) % 2 == 1)
                continue;
            const double t = steps == 0 ? 0.0 : static_cast<double>(i) / steps;
            Dot(static_cast<int>(std::floor(x0 + dx * t)), static_cast<int>(std::floor(y0 + dy * t)), size,
                color);
        }
    }

    void FillEllipse(double cx, double cy, double rx, double ry, uint8_t color)
    {
        const int y0 = std::max(0, static_cast<int>(std::floor(cy - ry)));
        const int y1 = std::min(height_ - 1, static_cast<int>(std::ceil(cy + ry)));
        for (int y = y0; y <= y1; ++y) {
            const double v = (y + 0.5 - cy) / ry;
            if (v * v > 1.0)
                continue;
            const double half = rx * std::sqrt(1.0 - v * v);
            const int x0 = std::max(0, static_cast<int>(std::ceil(cx - half - 0.5)));
            const int x1 = std::min(width_ - 1, static_cast<int>(std::floor(cx + half - 0.5)));
            for (int x = x0; x <= x1; ++x)
                pixels_[static_cast<size_t>(y) * width_ + x] = color;
        }
    }

private:
    // Liang-Barsky clipping against the canvas widened by `margin`.
    bool Clip(double& x0, double& y0, double& x1, double& y1, double margin) const
    {
        if (!std::isfinite(x0) || !std::isfinite(y0) || !std::isfinite(x1) || !std::isfinite(y1))
            return false;
        double t0 = 0.0, t1 = 1.0;
        const double dx = x1 - x0, dy = y1 - y0;
        const double p[4] = {-dx, dx, -dy, dy};
        const double q[4] = {x0 + margin, width_ + margin - x0, y0 + margin, height_ + margin - y0};
        for (int i = 0; i < 4; ++i) {
            if (p[i] == 0.0) {
                if (q[i] < 0.0)
                    return false;
                continue;
            }
            const double t = q[i] / p[i];
            if (p[i] < 0.0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
            if (t0 > t1)
                return false;
        }
        const double ax = x0 + t0 * dx, ay = y0 + t0 * dy;
        x1 = x0 + t1 * dx;
        y1 = y0 + t1 * dy;
        x0 = ax;
        y0 = ay;
        return true;
    }

    int width_;
    int height_;
    std::vector<uint8_t> pixels_;
};

// A 5 × 7 pixel font for place names: each glyph is seven rows of five
// bits, the leftmost pixel in bit 4.
struct Glyph {
    char letter;
    uint8_t rows[7];
};
constexpr Glyph kGlyphs[] = {
    {'A', {0x0E, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}}, {'B', {0x1E, 0x11, 0x11, 0x1E, 0x11, 0x11, 0x1E}},
    {'C', {0x0E, 0x11, 0x10, 0x10, 0x10, 0x11, 0x0E}}, {'D', {0x1E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x1E}},
    {'E', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x1F}}, {'F', {0x1F, 0x10, 0x10, 0x1E, 0x10, 0x10, 0x10}},
    {'G', {0x0E, 0x11, 0x10, 0x17, 0x11, 0x11, 0x0F}}, {'H', {0x11, 0x11, 0x11, 0x1F, 0x11, 0x11, 0x11}},
    {'I', {0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}}, {'J', {0x07, 0x02, 0x02, 0x02, 0x02, 0x12, 0x0C}},
    {'K', {0x11, 0x12, 0x14, 0x18, 0x14, 0x12, 0x11}}, {'L', {0x10, 0x10, 0x10, 0x10, 0x10, 0x10, 0x1F}},
    {'M', {0x11, 0x1B, 0x15, 0x15, 0x11, 0x11, 0x11}}, {'N', {0x11, 0x11, 0x19, 0x15, 0x13, 0x11, 0x11}},
    {'O', {0x0E, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'P', {0x1E, 0x11, 0x11, 0x1E, 0x10, 0x10, 0x10}},
    {'Q', {0x0E, 0x11, 0x11, 0x11, 0x15, 0x12, 0x0D}}, {'R', {0x1E, 0x11, 0x11, 0x1E, 0x14, 0x12, 0x11}},
    {'S', {0x0F, 0x10, 0x10, 0x0E, 0x01, 0x01, 0x1E}}, {'T', {0x1F, 0x04, 0x04, 0x04, 0x04, 0x04, 0x04}},
    {'U', {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x0E}}, {'V', {0x11, 0x11, 0x11, 0x11, 0x11, 0x0A, 0x04}},
    {'W', {0x11, 0x11, 0x11, 0x15, 0x15, 0x15, 0x0A}}, {'X', {0x11, 0x11, 0x0A, 0x04, 0x0A, 0x11, 0x11}},
    {'Y', {0x11, 0x11, 0x0A, 0x04, 0x04, 0x04, 0x04}}, {'Z', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x10, 0x1F}},
    {'0', {0x0E, 0x11, 0x13, 0x15, 0x19, 0x11, 0x0E}}, {'1', {0x04, 0x0C, 0x04, 0x04, 0x04, 0x04, 0x0E}},
    {'2', {0x0E, 0x11, 0x01, 0x02, 0x04, 0x08, 0x1F}}, {'3', {0x1F, 0x02, 0x04, 0x02, 0x01, 0x11, 0x0E}},
    {'4', {0x02, 0x06, 0x0A, 0x12, 0x1F, 0x02, 0x02}}, {'5', {0x1F, 0x10, 0x1E, 0x01, 0x01, 0x11, 0x0E}},
    {'6', {0x06, 0x08, 0x10, 0x1E, 0x11, 0x11, 0x0E}}, {'7', {0x1F, 0x01, 0x02, 0x04, 0x08, 0x08, 0x08}},
    {'8', {0x0E, 0x11, 0x11, 0x0E, 0x11, 0x11, 0x0E}}, {'9', {0x0E, 0x11, 0x11, 0x0F, 0x01, 0x02, 0x0C}},
    {'.', {0x00, 0x00, 0x00, 0x00, 0x00, 0x0C, 0x0C}}, {'-', {0x00, 0x00, 0x00, 0x1F, 0x00, 0x00, 0x00}},
    {'\'', {0x0C, 0x04, 0x08, 0x00, 0x00, 0x00, 0x00}},
};

// Writes `text` in capitals with its top-left corner at (x, y); letters
// without a glyph are left as gaps.
void DrawLabel(Canvas& canvas, int x, int y, const std::string& text, uint8_t color, int scale)
{
    for (const char raw : text) {
        const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(raw)));
        for (const Glyph& glyph : kGlyphs) {
            if (glyph.letter != letter)
                continue;
            for (int row = 0; row < 7; ++row)
                for (int column = 0; column < 5; ++column)
                    if (glyph.rows[row] & (0x10 >> column))
                        for (int dy = 0; dy < scale; ++dy)
                            for (int dx = 0; dx < scale; ++dx)
                                canvas.Set(x + column * scale + dx, y + row * scale + dy, color);
            break;
        }
        x += 6 * scale;
    }
}

double PlaceRadiusKm(const Place& place) { return 0.8 + 1.3 * std::sqrt(static_cast<double>(place.areaZipCount)); }

// Distance in degrees of latitude, longitude shrunk by the cosine.
double Distance(const Place& a, const Place& b)
{
    const double dx = (a.longitude - b.longitude) * std::cos((a.latitude + b.latitude) * 0.5 * kRadians);
    const double dy = a.latitude - b.latitude;
    return std::sqrt(dx * dx + dy * dy);
}

// Each place of at least `minSize` ZIP codes is linked to its `neighbours`
// nearest such places within `reach` degrees. The links depend on the data
// alone, so overlapping views show the same roads.
std::set<std::pair<int, int>> LinkPlaces(const Gazetteer& gazetteer, const Projection& box, int minSize,
                                         double reach, int neighbours)
{
    std::set<std::pair<int, int>> links;
    const double margin = reach * 1.5;
    for (const int from : gazetteer.PlacesInBox(box.West() - margin, box.East() + margin,
                                                box.South() - reach, box.North() + reach)) {
        const Place& a = gazetteer.Places()[from];
        if (a.areaZipCount < minSize)
            continue;
        const double lonReach = reach / std::max(0.1, std::cos(a.latitude * kRadians));
        std::vector<std::pair<double, int>> near;
        for (const int to : gazetteer.PlacesInBox(a.longitude - lonReach, a.longitude + lonReach,
                                                  a.latitude - reach, a.latitude + reach)) {
            const Place& b = gazetteer.Places()[to];
            if (to == from || b.areaZipCount < minSize)
                continue;
            const double d = Distance(a, b);
            if (d <= reach && d > 1e-6)
                near.emplace_back(d, to);
        }
        std::sort(near.begin(), near.end());
        for (int i = 0; i < neighbours && i < static_cast<int>(near.size()); ++i)
            links.emplace(std::min(from, near[i].second), std::max(from, near[i].second));
    }
    return links;
}

// A road or railway from place a to place b, bent a little at three points
// so it does not look ruled.
void DrawLink(Canvas& canvas, const Projection& projection, const Place& a, const Place& b, int seed,
              uint8_t color, int size, int dash)
{
    constexpr int kPieces = 4;
    double previousX = projection.X(a.longitude, a.latitude);
    double previousY = projection.Y(a.latitude);
    const double dLon = b.longitude - a.longitude, dLat = b.latitude - a.latitude;
    for (int i = 1; i <= kPieces; ++i) {
        const double t = static_cast<double>(i) / kPieces;
        double lon = a.longitude + dLon * t, lat = a.latitude + dLat * t;
        if (i < kPieces) {
            const double bend = (CellRandom(seed, i, 77) - 0.5) * 0.08;
            lon += -dLat * bend;
            lat += dLon * bend;
        }
        const double x = projection.X(lon, lat), y = projection.Y(lat);
        canvas.Line(previousX, previousY, x, y, color, size, dash);
        previousX = x;
        previousY = y;
    }
}

int LineWidth(const MapView& view, int base)
{
    // Thicker lines on detailed maps, one pixel on overviews.
    const double pixelsPerDegree = view.imageHeight / view.height;
    if (pixelsPerDegree >= 600.0)
        return base;
    return 1;
}

void DrawAreasAndFields(Canvas& canvas, const Projection& projection, const MapView& view,
                        const std::vector<uint8_t>& placeMask)
{
    const unsigned layers = view.layers;
    const bool water = layers & kLayerWater, shore = layers & kLayerShoreline;
    const bool misc = layers & kLayerMiscellaneous, indian = layers & kLayerIndian;
    const bool places = layers & kLayerPlaces, streets = layers & kLayerStreets;
    if (!(water || shore || misc || indian || places || streets))
        return;
    const int width = canvas.Width(), height = canvas.Height();
    const double streetSpacing = 0.005;  // degrees, about 500 m
    const bool streetsVisible = streets && streetSpacing * projection.PixelsPerDegreeY() >= 4.0;

    std::vector<uint8_t> lakeAbove(width), riverAbove(width), indianAbove(width);
    std::vector<uint8_t> lakeRow(width), riverRow(width), indianRow(width);
    std::vector<uint8_t>& pixels = canvas.Pixels();
    for (int y = 0; y < height; ++y) {
        const double lat = projection.Latitude(y + 0.5);
        const double cosLat = std::max(0.02, std::cos(lat * kRadians));
        const double streetHalfX = 0.5 / (projection.PixelsPerDegreeX(lat) + 1e-12);
        const double streetHalfY = 0.5 / projection.PixelsPerDegreeY();
        const bool streetRow =
            std::fabs(lat - std::round(lat / streetSpacing) * streetSpacing) < streetHalfY;
        for (int x = 0; x < width; ++x) {
            const double lon = projection.Longitude(x + 0.5, cosLat);
            const size_t index = static_cast<size_t>(y) * width + x;
            uint8_t color = kColorBackground;

            const bool lake = IsLake(lon, lat);
            const bool riverSide = RiverField(lon, lat) > kRiverLevel;
            const bool inIndianArea = indian && ValueNoise(lon, lat, 0.9, 27) > 0.7;
            lakeRow[x] = lake;
            riverRow[x] = riverSide;
            indianRow[x] = inIndianArea;
            const bool riverEdge = (x > 0 && riverRow[x - 1] != riverSide) || (y > 0 && riverAbove[x] != riverSide);
            const bool lakeEdge = (x > 0 && lakeRow[x - 1] != lake) || (y > 0 && lakeAbove[x] != lake);
            const bool indianEdge =
                (x > 0 && indianRow[x - 1] != inIndianArea) || (y > 0 && indianAbove[x] != inIndianArea);

            if (placeMask[index]) {
                if (places)
                    color = kColorCity;
                if (streetsVisible) {
                    const bool streetColumn =
                        std::fabs(lon - std::round(lon / streetSpacing) * streetSpacing) < streetHalfX;
                    if (streetRow || streetColumn)
                        color = kColorStreet;
                }
            }
            if (misc) {
                if (ValueNoise(lon, lat, 0.03, 25) > 0.86)
                    color = kColorOtherPark;
                if (lon < -100.0 && ValueNoise(lon, lat, 0.7, 24) > 0.78)
                    color = kColorNationalPark;
                if (ValueNoise(lon, lat, 0.4, 26) > 0.84)
                    color = kColorMilitary;
            }
            if (water && (lake || riverEdge))
                color = kColorWater;
            if (shore && lakeEdge)
                color = kColorShoreline;
            if (indianEdge && ((x + y) / 3) % 2 == 0)
                color = kColorIndian;
            if (color != kColorBackground)
                pixels[index] = color;
        }
        std::swap(lakeAbove, lakeRow);
        std::swap(riverAbove, riverRow);
        std::swap(indianAbove, indianRow);
    }
}

void DrawMajorRoads(Canvas& canvas, const Projection& projection, const MapView& view)
{
    // A loose grid of county roads about every 0.1 degree, nodes jittered.
    constexpr double kSpacing = 0.1;
    if (view.height > 4.0 || view.width > 4.0)
        return;
    const auto west = static_cast<int64_t>(std::floor(projection.West() / kSpacing)) - 1;
    const auto east = static_cast<int64_t>(std::ceil(projection.East() / kSpacing)) + 1;
    const auto south = static_cast<int64_t>(std::floor(projection.South() / kSpacing)) - 1;
    const auto north = static_cast<int64_t>(std::ceil(projection.North() / kSpacing)) + 1;
    auto node = [&](int64_t i, int64_t j, double& x, double& y) {
        const double lon = (static_cast<double>(i) + (CellRandom(i, j, 31) - 0.5) * 0.3) * kSpacing;
        const double lat = (static_cast<double>(j) + (CellRandom(i, j, 32) - 0.5) * 0.3) * kSpacing;
        x = projection.X(lon, lat);
        y = projection.Y(lat);
    };
    const int size = LineWidth(view, 2);
    for (int64_t j = south; j <= north; ++j) {
        for (int64_t i = west; i <= east; ++i) {
            double x0, y0, x1, y1;
            node(i, j, x0, y0);
            if (CellRandom(i, j, 33) < 0.6) {
                node(i + 1, j, x1, y1);
                canvas.Line(x0, y0, x1, y1, kColorMajorRoad, size);
            }
            if (CellRandom(i, j, 34) < 0.6) {
                node(i, j + 1, x1, y1);
                canvas.Line(x0, y0, x1, y1, kColorMajorRoad, size);
            }
        }
    }
}

void DrawBoundaries(Canvas& canvas, const Projection& projection, const MapView& view,
                    const BoundaryLines& boundaries)
{
    const bool counties = view.layers & kLayerCounties;
    const bool states = view.layers & kLayerStates;
    const bool shore = view.layers & kLayerShoreline;
    if (!counties && !states && !shore)
        return;
    const double west = projection.West(), east = projection.East();
    const double south = projection.South(), north = projection.North();
    // Counties first, so state lines and the coast are drawn over them.
    for (int pass = 0; pass < 2; ++pass) {
        for (const BoundaryLine& line : boundaries.Lines()) {
            if (line.east < west || line.west > east || line.north < south || line.south > north)
                continue;
            uint8_t color;
            int size, dash = 0;
            if (pass == 0) {
                if (!counties)
                    continue;
                color = kColorCounty;
                size = 1;
                dash = 6;
            } else if (line.kind == BoundaryLine::Kind::County) {
                continue;
            } else if (states) {
                color = kColorStateLine;
                size = LineWidth(view, 3);
            } else if (shore && line.kind == BoundaryLine::Kind::Nation) {
                color = kColorShoreline;
                size = LineWidth(view, 2);
            } else {
                continue;
            }
            for (size_t i = 1; i < line.longitudes.size(); ++i)
                canvas.Line(projection.X(line.longitudes[i - 1], line.latitudes[i - 1]),
                            projection.Y(line.latitudes[i - 1]),
                            projection.X(line.longitudes[i], line.latitudes[i]), projection.Y(line.latitudes[i]),
                            color, size, dash);
        }
    }
}

double GridSpacing(const MapView& view)
{
    static constexpr double kSteps[] = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2, 5, 10, 15, 30};
    const double pixelsPerDegree = view.imageHeight / view.height;
    for (const double step : kSteps)
        if (step * pixelsPerDegree >= 200.0)
            return step;
    return 30.0;
}

void DrawGrid(Canvas& canvas, const Projection& projection, const MapView& view)
{
    const double step = GridSpacing(view);
    // Parallels are whole rows.
    for (auto k = static_cast<int64_t>(std::ceil(projection.South() / step));
         k <= static_cast<int64_t>(std::floor(projection.North() / step)); ++k) {
        const int row = static_cast<int>(std::floor(projection.Y(static_cast<double>(k) * step) + 1e-6));
        for (int x = 0; x < canvas.Width(); ++x)
            canvas.Set(x, row, kColorGrid);
    }
    // Meridians bend with the cosine of the row's latitude.
    const auto west = static_cast<int64_t>(std::ceil(projection.West() / step));
    const auto east = static_cast<int64_t>(std::floor(projection.East() / step));
    for (int y = 0; y < canvas.Height(); ++y) {
        const double lat = projection.Latitude(y + 0.5);
        for (int64_t k = west; k <= east; ++k) {
            const double x = projection.X(static_cast<double>(k) * step, lat);
            canvas.Set(static_cast<int>(std::floor(x)), y, kColorGrid);
        }
    }
}

}  // namespace

unsigned LayerFromName(const std::string& name)
{
    const std::string lower = LowerCase(name);
    for (const LayerName& entry : kLayerNames)
        if (lower == entry.name)
            return entry.layer;
    return 0;
}

unsigned ParseLayerList(const std::string& list)
{
    unsigned layers = 0;
    size_t start = 0;
    while (start <= list.size()) {
        const size_t comma = list.find(',', start);
        const size_t end = comma == std::string::npos ? list.size() : comma;
        layers |= LayerFromName(list.substr(start, end - start));
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return layers;
}

const std::vector<PaletteColor>& MapPalette()
{
    static const std::vector<PaletteColor> palette{
        {255, 255, 255},  // background
        {255, 247, 159},  // city
        {175, 215, 127},  // national park
        {127, 255, 127},  // other park
        {255, 180, 170},  // military
        {153, 204, 255},  // water
        {0, 90, 180},     // shoreline
        {200, 30, 30},    // interstate
        {240, 120, 0},    // US highway
        {180, 140, 0},    // state highway
        {190, 190, 190},  // street
        {40, 40, 40},     // railroad
        {100, 100, 100},  // major road
        {153, 51, 153},   // American Indian area
        {150, 150, 150},  // county line
        {0, 153, 153},    // grid
        {128, 0, 0},      // city marker
        {0, 0, 0},        // state line
    };
    return palette;
}

double MapColumnOf(const MapView& view, double longitude, double latitude)
{
    return Projection(view).X(longitude, latitude);
}

double MapRowOf(const MapView& view, double latitude) { return Projection(view).Y(latitude); }

MapExtent MapExtentOf(const MapView& view)
{
    const Projection projection(view);
    return MapExtent{projection.West(), projection.East(), projection.South(), projection.North()};
}

std::vector<uint8_t> RenderMap(const MapView& view, const Gazetteer& gazetteer,
                               const BoundaryLines& boundaries)
{
    Canvas canvas(view.imageWidth, view.imageHeight);
    const Projection projection(view);
    const double kmPerDegree = 111.32;

    // Place areas: ellipses of the place's size, kept as a mask because
    // streets are drawn inside them whether or not the areas are filled.
    std::vector<int> visiblePlaces;
    {
        const double margin = 0.3;
        for (const int index : gazetteer.PlacesInBox(projection.West() - margin, projection.East() + margin,
                                                     projection.South() - margin, projection.North() + margin))
            if (gazetteer.Places()[index].areaZipCount > 0)
                visiblePlaces.push_back(index);
    }
    Canvas mask(view.imageWidth, view.imageHeight);
    if (view.layers & (kLayerPlaces | kLayerStreets)) {
        for (const int index : visiblePlaces) {
            const Place& place = gazetteer.Places()[index];
            const double radius = PlaceRadiusKm(place) / kmPerDegree;
            mask.FillEllipse(projection.X(place.longitude, place.latitude), projection.Y(place.latitude),
                             radius * projection.PixelsPerDegreeX(place.latitude),
                             radius * projection.PixelsPerDegreeY(), 1);
        }
    }
    DrawAreasAndFields(canvas, projection, view, mask.Pixels());

    if (view.layers & kLayerMajorRoads)
        DrawMajorRoads(canvas, projection, view);

    struct LinkClass {
        unsigned layer;
        int minSize;
        double reach;
        int neighbours;
        double maxView;
        uint8_t color;
        int size;
        int dash;
        double keep;  // share of links drawn
    };
    const LinkClass classes[] = {
        {kLayerRailroad, 2, 0.8, 1, 8.0, kColorRailroad, 1, 3, 0.6},
        {kLayerStateHighway, 1, 0.5, 2, 6.0, kColorStateHighway, LineWidth(view, 2), 0, 1.0},
        {kLayerUsHighway, 3, 1.2, 2, 15.0, kColorUsHighway, LineWidth(view, 3), 0, 1.0},
        {kLayerInterstate, 12, 3.0, 2, 60.0, kColorInterstate, LineWidth(view, 4), 0, 1.0},
    };
    for (const LinkClass& link : classes) {
        if (!(view.layers & link.layer) || view.width > link.maxView || view.height > link.maxView)
            continue;
        for (const auto& [a, b] : LinkPlaces(gazetteer, projection, link.minSize, link.reach, link.neighbours)) {
            const int seed = a * 7919 + b;
            if (link.keep < 1.0 && CellRandom(a, b, 41) >= link.keep)
                continue;
            DrawLink(canvas, projection, gazetteer.Places()[a], gazetteer.Places()[b], seed, link.color,
                     link.size, link.dash);
        }
    }

    DrawBoundaries(canvas, projection, view, boundaries);

    if (view.layers & kLayerGrid)
        DrawGrid(canvas, projection, view);

    if (view.layers & kLayerCities) {
        // The largest places in view, at most 40, as square markers with
        // their names.
        std::vector<int> cities;
        for (const int index : visiblePlaces) {
            const Place& place = gazetteer.Places()[index];
            if (place.latitude <= projection.North() && place.latitude >= projection.South())
                cities.push_back(index);
        }
        // Larger places first; among equals a fixed shuffle, so the names
        // shown do not all come from the start of the alphabet.
        std::sort(cities.begin(), cities.end(), [&](int a, int b) {
            const Place& pa = gazetteer.Places()[a];
            const Place& pb = gazetteer.Places()[b];
            if (pa.areaZipCount != pb.areaZipCount)
                return pa.areaZipCount > pb.areaZipCount;
            if (pa.zipCount != pb.zipCount)
                return pa.zipCount > pb.zipCount;
            return HashCell(a, 0, 51) < HashCell(b, 0, 51);
        });
        if (cities.size() > 40)
            cities.resize(40);
        for (const int index : cities) {
            const Place& place = gazetteer.Places()[index];
            const int size = place.areaZipCount >= 20 ? 9 : place.areaZipCount >= 4 ? 7 : 5;
            const int x = static_cast<int>(std::floor(projection.X(place.longitude, place.latitude)));
            const int y = static_cast<int>(std::floor(projection.Y(place.latitude)));
            canvas.Dot(x, y, size, kColorCityMarker);
            const int scale = view.imageHeight >= 1000 ? 2 : 1;
            DrawLabel(canvas, x + size / 2 + 3, y - 7 * scale / 2, place.name, kColorCityMarker, scale);
        }
    }
    return std::move(canvas.Pixels());
}

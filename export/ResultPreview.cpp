#include "export/ResultPreview.h"

#include "export/TgaImage.h"
#include "raster/TGAFile.h"

#include <QColor>

#include <algorithm>
#include <iterator>
#include <cmath>
#include <vector>

namespace {

constexpr double kMetresPerDegree = 111320.0;

// Averages blocks of `factor` × `factor` posts; a block with any void in it
// stays a void, so that single voids remain visible in the reduced picture.
HeightSamples Reduce(const TGAFile& image, int factor, HeightRange& range)
{
    const int width = image.GetWidth();
    const int height = image.GetHeight();
    HeightSamples reduced;
    reduced.columns = (width + factor - 1) / factor;
    reduced.rows = (height + factor - 1) / factor;
    reduced.values.assign(static_cast<size_t>(reduced.columns) * reduced.rows, 0);
    std::vector<double> sums(static_cast<size_t>(reduced.columns));
    std::vector<int> counts(static_cast<size_t>(reduced.columns));
    std::vector<bool> voids(static_cast<size_t>(reduced.columns));
    bool first = true;
    for (int blockRow = 0; blockRow < reduced.rows; ++blockRow) {
        std::fill(sums.begin(), sums.end(), 0.0);
        std::fill(counts.begin(), counts.end(), 0);
        std::fill(voids.begin(), voids.end(), false);
        for (int row = blockRow * factor; row < std::min(height, (blockRow + 1) * factor); ++row) {
            const int y = height - 1 - row;  // TGA rows run bottom-up
            for (int x = 0; x < width; ++x) {
                const int value = image.GetValue(x, y);
                const int block = x / factor;
                if (value == 0) {
                    voids[block] = true;
                    ++range.voids;
                    continue;
                }
                sums[block] += value;
                ++counts[block];
                ++range.heights;
                if (first) {
                    range.minimum = range.maximum = value;
                    first = false;
                }
                range.minimum = std::min(range.minimum, value);
                range.maximum = std::max(range.maximum, value);
            }
        }
        for (int block = 0; block < reduced.columns; ++block) {
            if (voids[block] || counts[block] == 0)
                continue;
            // A block average of 0 would read as a void; heights are whole metres.
            const int average = static_cast<int>(std::lround(sums[block] / counts[block]));
            reduced.values[static_cast<size_t>(blockRow) * reduced.columns + block] = average != 0 ? average : 1;
        }
    }
    return reduced;
}

QImage TexturePicture(const std::string& path, int side)
{
    TGAFile image;
    if (path.empty() || image.Open(path) != 0 || image.GetWidth() == 0 || image.GetHeight() == 0)
        return {};
    const QImage picture = TgaToImage(image);
    if (picture.isNull())
        return {};
    return picture.scaled(side, side, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// Green lowlands through tan to pale summits, over the map's own range.
QColor Tint(double level)
{
    struct Stop {
        double at;
        int r, g, b;
    };
    static constexpr Stop stops[] = {{0.0, 88, 140, 84}, {0.35, 170, 180, 110}, {0.7, 170, 130, 90}, {1.0, 245, 240, 235}};
    level = std::clamp(level, 0.0, 1.0);
    for (size_t i = 1; i < std::size(stops); ++i) {
        if (level <= stops[i].at) {
            const Stop& a = stops[i - 1];
            const Stop& b = stops[i];
            const double t = (level - a.at) / (b.at - a.at);
            return QColor(static_cast<int>(a.r + (b.r - a.r) * t), static_cast<int>(a.g + (b.g - a.g) * t),
                          static_cast<int>(a.b + (b.b - a.b) * t));
        }
    }
    return QColor(stops[3].r, stops[3].g, stops[3].b);
}

} // namespace

QImage ShadedRelief(const HeightSamples& heights, double spacingX, double spacingY, const HeightRange& range)
{
    QImage relief(heights.columns, heights.rows, QImage::Format_RGB32);
    if (relief.isNull())
        return relief;
    // Light from the north-west, 45° above the horizon (azimuth 315° as an
    // angle counter-clockwise from east: 135°).
    const double zenith = 45.0 * kPi / 180.0;
    const double azimuth = 135.0 * kPi / 180.0;
    const double span = std::max(1, range.maximum - range.minimum);
    auto at = [&](int column, int row, int fallback) {
        column = std::clamp(column, 0, heights.columns - 1);
        row = std::clamp(row, 0, heights.rows - 1);
        const int value = heights.At(column, row);
        return value != 0 ? value : fallback;
    };
    for (int row = 0; row < heights.rows; ++row) {
        auto* line = reinterpret_cast<QRgb*>(relief.scanLine(row));
        for (int column = 0; column < heights.columns; ++column) {
            const int centre = heights.At(column, row);
            if (centre == 0) {
                line[column] = kVoidColour;
                continue;
            }
            const double dzdx = (at(column + 1, row, centre) - at(column - 1, row, centre)) / (2 * spacingX);
            const double dzdy = (at(column, row + 1, centre) - at(column, row - 1, centre)) / (2 * spacingY);
            const double slope = std::atan(std::hypot(dzdx, dzdy));
            const double aspect = std::atan2(dzdy, -dzdx);
            const double shade = std::max(0.0, std::cos(zenith) * std::cos(slope) +
                                                   std::sin(zenith) * std::sin(slope) * std::cos(azimuth - aspect));
            const QColor tint = Tint((centre - range.minimum) / span);
            const double light = 0.35 + 0.65 * shade;
            line[column] = qRgb(static_cast<int>(tint.red() * light), static_cast<int>(tint.green() * light),
                                static_cast<int>(tint.blue() * light));
        }
    }
    return relief;
}

bool MakeResultPreview(const std::string& heightMap, const std::string& texture, const std::optional<Quad>& quad,
                       int side, ResultPreview& preview, std::string& error)
{
    TGAFile image;
    if (image.Open(heightMap) != 0 || image.GetWidth() == 0 || image.GetHeight() == 0) {
        error = "The height map \"" + heightMap + "\" cannot be read.";
        return false;
    }
    preview = ResultPreview{};
    preview.columns = image.GetWidth();
    preview.rows = image.GetHeight();
    const int factor = std::max(1, (std::max(preview.columns, preview.rows) + side - 1) / side);
    const HeightSamples reduced = Reduce(image, factor, preview.range);
    image.Close();

    double spacingX = 1.0 / 3600.0, spacingY = 1.0 / 3600.0;
    double latitude = 0.0;
    if (quad) {
        spacingX = (quad->right - quad->left) / preview.columns;
        spacingY = (quad->top - quad->bottom) / preview.rows;
        latitude = (quad->top + quad->bottom) / 2;
    }
    const double metresX = spacingX * factor * kMetresPerDegree * std::cos(latitude * kPi / 180.0);
    const double metresY = spacingY * factor * kMetresPerDegree;
    preview.relief = ShadedRelief(reduced, metresX, metresY, preview.range);
    preview.texture = TexturePicture(texture, side);
    return true;
}

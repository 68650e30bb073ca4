#include "gateway/MapResampler.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kRadians = 3.141592653589793 / 180.0;
constexpr int kMaxSamplesPerSide = 16;
constexpr int kInkDistance = 40;     // from white, in the strongest channel
constexpr int kInkShareDivisor = 20; // ink in at least 1/20 of the samples

int SamplesFor(double pixelDegrees, double sourceDegrees)
{
    const double ratio = std::ceil(pixelDegrees / sourceDegrees - 1e-9);
    return static_cast<int>(std::clamp(ratio, 1.0, static_cast<double>(kMaxSamplesPerSide)));
}

bool IsInk(const uint8_t* rgb)
{
    return 255 - std::min({rgb[0], rgb[1], rgb[2]}) > kInkDistance;
}

void Paint(std::vector<uint8_t>& rgb, size_t pixel, const PaletteColor& colour)
{
    rgb[pixel * 3] = colour.red;
    rgb[pixel * 3 + 1] = colour.green;
    rgb[pixel * 3 + 2] = colour.blue;
}

}  // namespace

MapResampler::MapResampler(const MapView& view, double sourceDegreesPerPixel)
    : view_(view),
      top_(view.latitude + view.height * 0.5),
      perDegreeX_(view.imageWidth / view.width),
      perDegreeY_(view.imageHeight / view.height),
      sourcePerPixel_(sourceDegreesPerPixel),
      samplesY_(SamplesFor(1.0 / perDegreeY_, sourceDegreesPerPixel)),
      tallies_(static_cast<size_t>(view.imageWidth) * view.imageHeight)
{
}

void MapResampler::Count(Tally& tally, const uint8_t* rgb) const
{
    ++tally.samples;
    if (!IsInk(rgb))
        return;
    ++tally.ink;
    const auto key = static_cast<uint16_t>((rgb[0] >> 3) << 10 | (rgb[1] >> 3) << 5 | rgb[2] >> 3);
    if (tally.votes == 0) {
        tally.key = key;
        tally.colour = static_cast<uint32_t>(rgb[0]) << 16 | static_cast<uint32_t>(rgb[1]) << 8 | rgb[2];
    }
    tally.votes = static_cast<int16_t>(tally.votes + (tally.key == key ? 1 : -1));
}

void MapResampler::Add(const WmsPiece& piece, const RgbImage& image)
{
    const double firstRow = std::floor((top_ - piece.box.north) * perDegreeY_);
    const double lastRow = std::ceil((top_ - piece.box.south) * perDegreeY_);
    const int from = static_cast<int>(std::clamp(firstRow, 0.0, static_cast<double>(view_.imageHeight)));
    const int to = static_cast<int>(std::clamp(lastRow, -1.0, static_cast<double>(view_.imageHeight - 1)));
    for (int row = from; row <= to; ++row)
        for (int sub = 0; sub < samplesY_; ++sub)
            AddRow(piece, image, row, top_ - (row + (sub + 0.5) / samplesY_) / perDegreeY_);
}

// One line of samples across `row` at `latitude`.
void MapResampler::AddRow(const WmsPiece& piece, const RgbImage& image, int row, double latitude)
{
    const double sourceRow = std::floor((piece.box.north - latitude) / sourcePerPixel_);
    if (sourceRow < 0.0 || sourceRow >= image.height)
        return;
    const double perDegree = perDegreeX_ * std::max(1e-6, std::cos(latitude * kRadians));
    const int samplesX = SamplesFor(1.0 / perDegree, sourcePerPixel_);
    const double middle = view_.imageWidth * 0.5;
    const double firstColumn = std::floor(middle + (piece.box.west - view_.longitude) * perDegree);
    const double lastColumn = std::ceil(middle + (piece.box.east - view_.longitude) * perDegree);
    const int from = static_cast<int>(std::clamp(firstColumn, 0.0, static_cast<double>(view_.imageWidth)));
    const int to = static_cast<int>(std::clamp(lastColumn, -1.0, static_cast<double>(view_.imageWidth - 1)));
    const uint8_t* line = image.rgb.data() + static_cast<size_t>(sourceRow) * image.width * 3;
    Tally* tallies = tallies_.data() + static_cast<size_t>(row) * view_.imageWidth;
    for (int column = from; column <= to; ++column) {
        for (int sub = 0; sub < samplesX; ++sub) {
            const double longitude = view_.longitude + (column + (sub + 0.5) / samplesX - middle) / perDegree;
            const double sourceColumn = std::floor((longitude - piece.box.west) / sourcePerPixel_);
            if (sourceColumn < 0.0 || sourceColumn >= image.width)
                continue;
            Count(tallies[column], line + static_cast<size_t>(sourceColumn) * 3);
        }
    }
}

bool MapResampler::Inked(size_t pixel) const
{
    const Tally& tally = tallies_[pixel];
    return tally.ink > 0 && tally.ink * kInkShareDivisor >= tally.samples;
}

void MapResampler::LayOver(std::vector<uint8_t>& rgb) const
{
    for (size_t i = 0; i < tallies_.size(); ++i) {
        if (!Inked(i))
            continue;
        const uint32_t colour = tallies_[i].colour;
        rgb[i * 3] = static_cast<uint8_t>(colour >> 16);
        rgb[i * 3 + 1] = static_cast<uint8_t>(colour >> 8);
        rgb[i * 3 + 2] = static_cast<uint8_t>(colour);
    }
}

void MapResampler::LayOverAs(std::vector<uint8_t>& rgb, const PaletteColor& colour) const
{
    for (size_t i = 0; i < tallies_.size(); ++i)
        if (Inked(i))
            Paint(rgb, i, colour);
}

void MapResampler::OutlineAs(std::vector<uint8_t>& rgb, const PaletteColor& colour) const
{
    const int width = view_.imageWidth, height = view_.imageHeight;
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t i = static_cast<size_t>(y) * width + x;
            if (!Inked(i))
                continue;
            const bool edge = (x > 0 && !Inked(i - 1)) || (x + 1 < width && !Inked(i + 1)) ||
                              (y > 0 && !Inked(i - width)) || (y + 1 < height && !Inked(i + width));
            if (edge)
                Paint(rgb, i, colour);
        }
    }
}

bool MapResampler::HasInk(const RgbImage& image)
{
    for (size_t i = 0; i + 2 < image.rgb.size(); i += 3)
        if (IsInk(&image.rgb[i]))
            return true;
    return false;
}

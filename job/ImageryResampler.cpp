#include "job/ImageryResampler.h"

#include "raster/ParallelBands.h"
#include "raster/TGAFile.h"

#include <algorithm>
#include <cmath>
#include <utility>

ImageryResampler::ImageryResampler(const TextureGeometry& geometry, const ImageryGrid& grid)
    : geometry_(geometry), grid_(grid)
{
}

ImageryResampler::RowPlace ImageryResampler::PlaceOf(int textureRow) const
{
    // Longitude is linear in the column along a row, and so is the grid column.
    const double y = textureRow + 0.5;
    const double west = geometry_.LongitudeAt(0.5, y);
    const double east = geometry_.LongitudeAt(geometry_.Width() - 0.5, y);
    const double first = grid_.ColumnOf(west);
    const double per = geometry_.Width() > 1 ? (grid_.ColumnOf(east) - first) / (geometry_.Width() - 1) : 0.0;
    return RowPlace{grid_.RowOf(geometry_.LatitudeAt(y)), first, per};
}

const uint8_t* ImageryResampler::GridRow(int row) const
{
    row = std::clamp(row, firstRow_, endRow_ - 1);
    return rows_.data() + static_cast<size_t>(row - firstRow_) * grid_.Width() * 3;
}

void ImageryResampler::MakeRow(int textureRow, TGAFile& texture) const
{
    const RowPlace place = PlaceOf(textureRow);
    const int maxRow = grid_.Height() - 1, maxColumn = grid_.Width() - 1;
    const double gridRow = std::clamp(place.gridRow, 0.0, static_cast<double>(maxRow));
    const int top = static_cast<int>(gridRow);
    const double down = gridRow - top;
    const uint8_t* upper = GridRow(top);
    const uint8_t* lower = GridRow(std::min(top + 1, maxRow));
    uint8_t* out = texture.Row(geometry_.Height() - 1 - textureRow);
    for (int x = 0; x < geometry_.Width(); ++x, out += 3) {
        const double column = std::clamp(place.firstColumn + x * place.perColumn, 0.0, static_cast<double>(maxColumn));
        const int left = static_cast<int>(column);
        const int right = std::min(left + 1, maxColumn);
        const double across = column - left;
        for (int channel = 0; channel < 3; ++channel) {
            const double above = upper[left * 3 + channel] + (upper[right * 3 + channel] - upper[left * 3 + channel]) * across;
            const double below = lower[left * 3 + channel] + (lower[right * 3 + channel] - lower[left * 3 + channel]) * across;
            // The texture is blue, green, red; the grid red, green, blue.
            out[2 - channel] = static_cast<uint8_t>(above + (below - above) * down + 0.5);
        }
    }
}

void ImageryResampler::AddBand(std::vector<uint8_t> rgb, TGAFile& texture)
{
    const size_t rowBytes = static_cast<size_t>(grid_.Width()) * 3;
    const int bandRows = static_cast<int>(rgb.size() / rowBytes);
    // The last row read so far is kept: a texture row may fall between it
    // and the band's first.
    if (endRow_ > firstRow_) {
        std::vector<uint8_t> carried(rows_.end() - static_cast<std::ptrdiff_t>(rowBytes), rows_.end());
        carried.insert(carried.end(), rgb.begin(), rgb.end());
        rgb = std::move(carried);
        firstRow_ = endRow_ - 1;
    }
    rows_ = std::move(rgb);
    endRow_ += bandRows;
    const bool last = endRow_ >= grid_.Height();

    int end = nextRow_;
    while (end < geometry_.Height()) {
        const double gridRow = std::clamp(PlaceOf(end).gridRow, 0.0, grid_.Height() - 1.0);
        if (!last && static_cast<int>(gridRow) + 1 >= endRow_)
            break;
        ++end;
    }
    const int begin = nextRow_;
    ParallelBands(end - begin, [&](int from, int to) {
        for (int row = begin + from; row < begin + to; ++row)
            MakeRow(row, texture);
    });
    nextRow_ = end;
}

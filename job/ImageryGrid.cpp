#include "job/ImageryGrid.h"

#include <algorithm>

namespace {

std::vector<int> Starts(int total, int step)
{
    std::vector<int> starts;
    for (int start = 0; start < total; start += step)
        starts.push_back(start);
    return starts;
}

} // namespace

ImageryGrid::ImageryGrid(const Quad& quad, int textureWidth, int textureHeight, int maxPieceWidth,
                         int maxPieceHeight)
    : degreesX_((quad.right - quad.left) / textureWidth),
      degreesY_((quad.top - quad.bottom) / textureHeight),
      width_(textureWidth + 2),
      height_(textureHeight + 2),
      maxPieceWidth_(std::max(1, maxPieceWidth))
{
    west_ = quad.left - degreesX_;
    north_ = quad.top + degreesY_;
    bandStarts_ = Starts(height_, std::max(1, maxPieceHeight));
    columnStarts_ = Starts(width_, maxPieceWidth_);
}

int ImageryGrid::BandEnd(int band) const
{
    return band + 1 < BandCount() ? bandStarts_[band + 1] : height_;
}

std::vector<WmsPiece> ImageryGrid::PiecesOf(int band) const
{
    const int top = BandStart(band), bottom = BandEnd(band);
    std::vector<WmsPiece> pieces;
    for (size_t i = 0; i < columnStarts_.size(); ++i) {
        const int left = columnStarts_[i];
        const int right = i + 1 < columnStarts_.size() ? columnStarts_[i + 1] : width_;
        WmsPiece piece;
        piece.box.west = west_ + left * degreesX_;
        piece.box.east = west_ + right * degreesX_;
        piece.box.north = north_ - top * degreesY_;
        piece.box.south = north_ - bottom * degreesY_;
        piece.width = right - left;
        piece.height = bottom - top;
        pieces.push_back(piece);
    }
    return pieces;
}

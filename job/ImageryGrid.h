#pragma once

#include "core/QuadGeometry.h"
#include "live/WmsGetMap.h"

#include <vector>

// The grid of imagery pixels a texture is resampled from: in plain
// latitude/longitude, as fine as the texture's pixels and no finer (one
// grid pixel per texture pixel in each direction), over the quad and one
// pixel beyond each edge, so that every texture pixel has neighbours on
// both sides. It is fetched in bands of rows, north first, each band in
// pieces no larger than a service allows.
class ImageryGrid {
public:
    ImageryGrid(const Quad& quad, int textureWidth, int textureHeight, int maxPieceWidth, int maxPieceHeight);

    int Width() const { return width_; }
    int Height() const { return height_; }
    int BandCount() const { return static_cast<int>(bandStarts_.size()); }
    int PiecesPerBand() const { return static_cast<int>(columnStarts_.size()); }
    int BandStart(int band) const { return bandStarts_[band]; }
    int BandEnd(int band) const;

    // The pieces of one band, west to east.
    std::vector<WmsPiece> PiecesOf(int band) const;
    int PieceColumn(int piece) const { return columnStarts_[piece]; }

    // Continuous grid coordinates of a place: pixel (c, r) has its centre at (c, r).
    double ColumnOf(double longitude) const { return (longitude - west_) / degreesX_ - 0.5; }
    double RowOf(double latitude) const { return (north_ - latitude) / degreesY_ - 0.5; }

private:
    double west_, north_, degreesX_, degreesY_;
    int width_, height_;
    std::vector<int> bandStarts_;
    std::vector<int> columnStarts_;
    int maxPieceWidth_;
};

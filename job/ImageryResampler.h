#pragma once

#include "job/ImageryGrid.h"
#include "job/TextureGeometry.h"

#include <cstdint>
#include <vector>

class TGAFile;

// Resamples the imagery grid into the texture band by band: each texture
// pixel takes the bilinear blend of the four grid pixels around its place
// on the ground. Only the band being read and the last row of the one
// before it are held, so the grid never is whole in memory.
class ImageryResampler {
public:
    ImageryResampler(const TextureGeometry& geometry, const ImageryGrid& grid);

    // The next band of grid rows, north first: RGB, rows top to bottom, the
    // grid's width. Makes every texture row these rows complete, into
    // `texture` (the texture's size; rows bottom-up, bytes blue, green, red).
    void AddBand(std::vector<uint8_t> rgb, TGAFile& texture);

    bool Done() const { return nextRow_ >= geometry_.Height(); }

private:
    struct RowPlace {
        double gridRow;                 // continuous
        double firstColumn, perColumn;  // continuous grid column of texture column x: first + x * per
    };

    RowPlace PlaceOf(int textureRow) const;
    void MakeRow(int textureRow, TGAFile& texture) const;
    const uint8_t* GridRow(int row) const;

    TextureGeometry geometry_;
    ImageryGrid grid_;
    std::vector<uint8_t> rows_;  // grid rows [firstRow_, endRow_)
    int firstRow_ = 0, endRow_ = 0;
    int nextRow_ = 0;            // the next texture row to make, from the top
};

#pragma once

#include "raster/StretchTga.h"

class TGAFile;

// The bilinear map from a target's pixels to a source's that four corners
// fix: x = a0·X + a1·Y + a2·X·Y + a3 and y likewise with b, X and Y measured
// from the target's top-left corner, each target pixel taking the nearest
// source pixel.
class StretchMapping {
public:
    enum class Result { Solved, IndefiniteInX, IndefiniteInY };

    static Result Solve(const StretchCorners& corners, int width, int height, StretchMapping& mapping);

    // The source pixel that target pixel (j, row i counted from the bottom)
    // shows; false when it lies outside `source`.
    bool Find(int j, int i, const TGAFile& source, int& sx, int& sy) const;

private:
    double a_[4] = {}, b_[4] = {};
    int height_ = 0;
};

#include "raster/StretchMapping.h"

#include "raster/SolveLinearSystem.h"
#include "raster/TGAFile.h"

#include <climits>

namespace {

// Coefficients c of v = c0·X + c1·Y + c2·X·Y + c3 through the corner values
// v0 (0, 0), v1 (W, 0), v2 (0, H), v3 (W, H). False when indefinite.
bool SolveCorners(int width, int height, const double (&values)[4], double (&c)[4])
{
    const double w = width, h = height;
    double matrix[4 * 5] = {
        0, 0, 0, 1, values[0],
        w, 0, 0, 1, values[1],
        0, h, 0, 1, values[2],
        w, h, w * h, 1, values[3],
    };
    return !SolveLinearSystem(4, matrix, c);
}

// Truncates toward zero; false when the value has no int (then it lies far
// outside any image).
bool Truncate(double value, int& result)
{
    if (!(value > static_cast<double>(INT_MIN) - 1.0 && value < static_cast<double>(INT_MAX) + 1.0))
        return false;
    result = static_cast<int>(value);
    return true;
}

} // namespace

StretchMapping::Result StretchMapping::Solve(const StretchCorners& corners, int width, int height,
                                             StretchMapping& mapping)
{
    if (!SolveCorners(width, height, {corners.x0, corners.x1, corners.x2, corners.x3}, mapping.a_))
        return Result::IndefiniteInX;
    if (!SolveCorners(width, height, {corners.y0, corners.y1, corners.y2, corners.y3}, mapping.b_))
        return Result::IndefiniteInY;
    mapping.height_ = height;
    return Result::Solved;
}

bool StretchMapping::Find(int j, int i, const TGAFile& source, int& sx, int& sy) const
{
    // The bottom row is Y = H, the top row Y = 1; the source's rows count
    // from the bottom too. The term a0 is taken at j, b0 at j + 0.5.
    const double Y = height_ - i;
    const double sourceHeight = source.GetHeight();
    return Truncate(a_[0] * j + Y * (a_[2] * j + a_[1]) + a_[3] + 0.5, sx) &&
           Truncate(sourceHeight - (b_[0] * (j + 0.5) + Y * (b_[2] * j + b_[1]) + b_[3]) + 0.5, sy) &&
           source.Contains(sx, sy);
}

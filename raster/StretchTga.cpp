#include "raster/StretchTga.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/ImageCache.h"
#include "raster/ParallelBands.h"
#include "raster/SolveLinearSystem.h"
#include "raster/TGAFile.h"

#include <climits>
#include <cmath>

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

// Where target pixel (j, row height − Y) takes its colour from; false when
// that lies outside the source.
struct SourcePosition {
    const double (&a)[4];
    const double (&b)[4];
    const TGAFile& source;
    double sourceHeight;

    bool Find(int j, double Y, int& sx, int& sy) const
    {
        return Truncate(a[0] * j + Y * (a[2] * j + a[1]) + a[3] + 0.5, sx) &&
               Truncate(sourceHeight - (b[0] * (j + 0.5) + Y * (b[2] * j + b[1]) + b[3]) + 0.5, sy) &&
               source.Contains(sx, sy);
    }
};

// Pixels outside the source come out as zero, and so do the bytes a smaller
// source pixel lacks.
void ResampleRow(const SourcePosition& position, int i, double Y, TGAFile& target)
{
    const TGAFile& source = position.source;
    uint8_t* out = target.Row(i);
    const int width = target.GetWidth();
    int sx, sy;
    if (source.BytesPerPixel() == 3 && target.BytesPerPixel() == 3) {
        for (int j = 0; j < width; ++j, out += 3) {
            if (position.Find(j, Y, sx, sy)) {
                const uint8_t* pixel = source.Row(sy) + 3 * static_cast<size_t>(sx);
                out[0] = pixel[0], out[1] = pixel[1], out[2] = pixel[2];
            } else {
                out[0] = out[1] = out[2] = 0;
            }
        }
        return;
    }
    for (int j = 0; j < width; ++j) {
        uint8_t pixel[32] = {};
        if (position.Find(j, Y, sx, sy))
            source.GetPixel(sx, sy, pixel);
        target.SetPixel(j, i, pixel);
    }
}

void Resample(const TGAFile& source, TGAFile& target, const double (&a)[4], const double (&b)[4])
{
    const int height = target.GetHeight();
    const SourcePosition position{a, b, source, static_cast<double>(source.GetHeight())};
    // Each target row depends on the source only.
    ParallelBands(height, [&](int begin, int end) {
        for (int i = begin; i < end; ++i)
            ResampleRow(position, i, height - i, target);
    });
}

} // namespace

int StretchTga(const std::string& source, const std::string& target, const StretchCorners& corners, int width,
               int height, LogSink& log, ImageCache* images)
{
    log.AddToLog(StringPrintf("Stretching/shrinking \"%s\" to \"%s\".", source.c_str(), target.c_str()));
    double a[4], b[4];
    if (!SolveCorners(width, height, {corners.x0, corners.x1, corners.x2, corners.x3}, a)) {
        log.AddToLog("Error in StretchTga(): Indefinite solution in x.");
        return 1;
    }
    if (!SolveCorners(width, height, {corners.y0, corners.y1, corners.y2, corners.y3}, b)) {
        log.AddToLog("Error in StretchTga(): Indefinite solution in y.");
        return 2;
    }
    std::shared_ptr<const TGAFile> input;
    if (OpenCached(images, source, input) != 0) {
        log.AddToLog(StringPrintf("Error in StretchTga(): Could not open TGA file \"%s\".", source.c_str()));
        return 3;
    }
    TGAFile output;
    // Every pixel is set by the resampling.
    if (output.CreateUnfilled(width, height) != 0) {
        log.AddToLog(
            StringPrintf("Error in StretchTga(): Could not initialize %d (w) by %d (h) TGA file.", width, height));
        return 4;
    }
    Resample(*input, output, a, b);
    input.reset();
    if (output.Write(target) != 0) {
        log.AddToLog(StringPrintf("Error in StretchTga(): Could not write TGA file \"%s\".", target.c_str()));
        return 5;
    }
    KeepWritten(images, target, std::move(output));
    log.AddToLog(StringPrintf("Stretching/shrinking successful: \"%s\" written.", target.c_str()));
    return 0;
}

#include "raster/RelaxNoData.h"

#include "core/FileSystem.h"
#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/ImageCache.h"
#include "raster/TGAFile.h"

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

// The source image never changes, so its hole runs and their end values are
// found once; each iteration then touches only the hole pixels instead of
// scanning the whole image twice. The arithmetic per pixel, and the order of
// the row and column passes, are those of a plain scan, so the heights
// written are the same.
namespace {

struct HoleRun {
    size_t firstByte = 0;   // of the run's first pixel in the work image
    int length = 0;
    double startValue = 0;  // the value before the run's first pixel
    double step = 0;
};

// A run of `length` holes ending before a valid pixel of value `far`; `near`
// is the valid value before the run, absent when the run starts at the edge.
HoleRun MakeRun(size_t firstByte, int length, const int* near, int far)
{
    HoleRun run;
    run.firstByte = firstByte;
    run.length = length;
    run.startValue = near ? *near : far;
    run.step = (far - run.startValue) / (length + 1);
    return run;
}

// Hole tests and height reads on the source's own pixels, so that finding
// the runs decodes only the pixels at their ends. A 24-bit pixel is a hole
// when its three bytes are zero; other pixel sizes go through DecodeHeight.
class SourcePixels {
public:
    explicit SourcePixels(const TGAFile& source)
        : source_(source), bytesPerPixel_(static_cast<size_t>(source.BytesPerPixel()))
    {
    }
    const uint8_t* Row(int y) const { return source_.Row(y); }
    bool IsHole(const uint8_t* row, int x) const
    {
        const uint8_t* pixel = row + bytesPerPixel_ * x;
        if (bytesPerPixel_ == 3)
            return (pixel[0] | pixel[1] | pixel[2]) == 0;
        return source_.DecodeHeight(pixel) == 0;
    }
    // The first hole pixel of the row at or after x, or `width`.
    int NextHole(const uint8_t* row, int x, int width) const
    {
        if (bytesPerPixel_ != 3) {
            while (x < width && !IsHole(row, x))
                ++x;
            return x;
        }
        // Holes are rare: a tight loop over the bytes of 24-bit pixels.
        const uint8_t* pixel = row + 3 * static_cast<size_t>(x);
        for (; x < width; ++x, pixel += 3)
            if ((pixel[0] | pixel[1] | pixel[2]) == 0)
                return x;
        return width;
    }
    int Height(const uint8_t* row, int x) const
    {
        const uint8_t* pixel = row + bytesPerPixel_ * x;
        return bytesPerPixel_ == 3 ? TGAFile::ReadHeight24(pixel) : source_.DecodeHeight(pixel);
    }

private:
    const TGAFile& source_;
    size_t bytesPerPixel_;
};

// The hole runs along the rows and along the columns, found in one sweep up
// the rows. A column run is open from its first hole until a valid pixel
// closes it; only the open columns are looked at for closing, so a row is
// read once for its own holes and once per open column. Runs that reach the
// image's far edge have no far end and are not relaxed. Every hole pixel is
// in at most one run of each kind, so the order of the runs does not change
// what the passes compute.
void FindRuns(const TGAFile& source, int rowStride, std::vector<HoleRun>& rowRuns,
              std::vector<HoleRun>& columnRuns)
{
    const SourcePixels pixels(source);
    const int width = source.GetWidth();
    constexpr int kNoRun = -1;
    std::vector<int> runStart(width, kNoRun);
    std::vector<int> open;
    std::vector<int> stillOpen;
    for (int y = 0; y < source.GetHeight(); ++y) {
        const uint8_t* row = pixels.Row(y);
        stillOpen.clear();
        for (const int x : open) {
            if (pixels.IsHole(row, x)) {
                stillOpen.push_back(x);
                continue;
            }
            const int start = runStart[x];
            const int below = start > 0 ? pixels.Height(pixels.Row(start - 1), x) : 0;
            columnRuns.push_back(MakeRun(static_cast<size_t>(start) * rowStride + 3 * x, y - start,
                                         start > 0 ? &below : nullptr, pixels.Height(row, x)));
            runStart[x] = kNoRun;
        }
        open.swap(stillOpen);

        int x = 0;
        while (x < width) {
            x = pixels.NextHole(row, x, width);
            if (x == width)
                break;
            const int first = x;
            for (; x < width && pixels.IsHole(row, x); ++x) {
                if (runStart[x] == kNoRun) {
                    runStart[x] = y;
                    open.push_back(x);
                }
            }
            if (x == width)
                break;
            const int near = first > 0 ? pixels.Height(row, first - 1) : 0;
            rowRuns.push_back(MakeRun(static_cast<size_t>(y) * rowStride + 3 * first, x - first,
                                      first > 0 ? &near : nullptr, pixels.Height(row, x)));
            ++x;
        }
    }
}

// One pass over the runs; `pixelStep` is the byte distance between
// neighbours along the runs. Returns the total change.
long long RelaxRuns(const std::vector<HoleRun>& runs, uint8_t* pixels, size_t pixelStep)
{
    long long total = 0;
    for (const HoleRun& run : runs) {
        double target = run.startValue;
        uint8_t* pixel = pixels + run.firstByte;
        for (int i = 0; i < run.length; ++i, pixel += pixelStep) {
            target = target + run.step;
            const int old = TGAFile::ReadHeight24(pixel);
            const int relaxed = static_cast<int>(0.1 * target + 0.9 * old + 0.5);
            total += std::abs(relaxed - old);
            TGAFile::WriteHeight24(relaxed, pixel);
        }
    }
    return total;
}

void CopyHeights(const TGAFile& source, TGAFile& work)
{
    const SourcePixels pixels(source);
    for (int y = 0; y < source.GetHeight(); ++y) {
        const uint8_t* row = pixels.Row(y);
        uint8_t* pixel = work.Row(y);
        for (int x = 0; x < source.GetWidth(); ++x, pixel += 3)
            TGAFile::WriteHeight24(pixels.Height(row, x), pixel);
    }
}

void Iterate(TGAFile& work, const std::vector<HoleRun>& rowRuns, const std::vector<HoleRun>& columnRuns,
             int maxIterations, LogSink& log, const std::atomic<bool>& cancelRequested)
{
    long long previousTotal = 0;
    for (int k = 0; k < maxIterations; ++k) {
        if (cancelRequested)
            return;
        long long total = RelaxRuns(rowRuns, work.Row(0), 3);
        total += RelaxRuns(columnRuns, work.Row(0), static_cast<size_t>(work.RowStride()));
        if (total == previousTotal) {
            log.AddToLog(StringPrintf("Relaxation achieved after %d iterations.", k));
            return;
        }
        if (k % 5 == 4) {
            const double residual = std::fabs(static_cast<double>(total - previousTotal)) / previousTotal;
            log.AddToLog(StringPrintf("Iteration %2d: residual %0.5f", k + 1, residual));
        }
        previousTotal = total;
    }
}

// Puts the filled image under the height map's name, keeping the original
// as the backup name unless intermediate files are removed.
int SwapInResult(const std::string& path, const std::string& temporary, LogSink& log, bool keepUnfilled)
{
    const std::string backup = path + ".rm";
    if (!RenameNoReplace(path, backup)) {
        log.AddToLog(StringPrintf("Could not rename \"%s\" to \"%s\".", path.c_str(), backup.c_str()));
        return 4;
    }
    if (!RenameNoReplace(temporary, path)) {
        log.AddToLog(StringPrintf("Could not rename \"%s\" to \"%s\".", temporary.c_str(), path.c_str()));
        return 5;
    }
    if (!keepUnfilled && std::remove(backup.c_str()) != 0) {
        log.AddToLog(StringPrintf("Could not delete \"%s\".", backup.c_str()));
        return 5;
    }
    return 0;
}

} // namespace

int RelaxNoData(const std::string& path, int maxIterations, bool keepUnfilled, LogSink& log,
                const std::atomic<bool>& cancelRequested, ImageCache* images)
{
    log.AddToLog("Substituting NODATA (z = 0) values via 2D relaxation.");
    const std::string temporary = path + "-int.tga";

    std::vector<HoleRun> rowRuns;
    std::vector<HoleRun> columnRuns;
    TGAFile work;
    // A height map handed on without its file is filled and written once.
    const bool unwritten = images && images->HoldsUnwritten(path);
    {
        TGAFile source;
        if (OpenForChange(images, path, source) != 0) {
            log.AddToLog(StringPrintf("Could not open \"%s\".", path.c_str()));
            return 1;
        }
        const int rowStride = TGAFile::RowStrideFor(3, source.GetWidth());
        FindRuns(source, rowStride, rowRuns, columnRuns);
        // A 24-bit source already holds the work image's bytes: it becomes
        // the work image itself.
        if (source.BytesPerPixel() == 3) {
            source.ResetHeader();
            work = std::move(source);
        } else {
            if (work.CreateUnfilled(source.GetWidth(), source.GetHeight()) != 0) {
                log.AddToLog(StringPrintf("Could not allocate space for \"%s\".", temporary.c_str()));
                return 2;
            }
            CopyHeights(source, work);
        }
    }

    Iterate(work, rowRuns, columnRuns, maxIterations, log, cancelRequested);

    if (unwritten) {
        if (work.Write(path) != 0) {
            log.AddToLog(StringPrintf("Could not write \"%s\".", path.c_str()));
            return 3;
        }
        KeepWritten(images, path, std::move(work));
        return 0;
    }

    if (work.Write(temporary) != 0) {
        log.AddToLog(StringPrintf("Could not write \"%s\".", temporary.c_str()));
        return 3;
    }
    const int swapped = SwapInResult(path, temporary, log, keepUnfilled);
    if (swapped == 0)
        KeepWritten(images, path, std::move(work));
    return swapped;
}

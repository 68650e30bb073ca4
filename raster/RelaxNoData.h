#pragma once

#include <atomic>
#include <string>

class ImageCache;
class LogSink;

// Fills the holes (height 0) of a height map in place by relaxation: each
// iteration pulls every hole pixel 10 % of the way towards the straight line
// between the valid pixels bounding its run in the row, then likewise in
// the column. Stops when two iterations change the image by the same total,
// after `maxIterations`, or when `cancelRequested` is set (what was reached
// is kept). The unfilled map stays as path + ".rm" when `keepUnfilled`. Returns 0, or 1 to 5 for the failure that stopped it.
int RelaxNoData(const std::string& path, int maxIterations, bool keepUnfilled, LogSink& log,
                const std::atomic<bool>& cancelRequested, ImageCache* images = nullptr);

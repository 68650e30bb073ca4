#pragma once

#include "raster/TGAFile.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

// The relaxation done the straightforward way: every pass scans the whole
// source image for holes and their ends, pixel by pixel through the checked
// accessors. It is the baseline the benchmark measures against and the
// reference the tests compare the program's version with. Returns the log
// lines the iterations produce; `work` must be a copy of `source`.
inline std::vector<std::string> RelaxNoDataReference(const TGAFile& source, TGAFile& work, int maxIterations)
{
    std::vector<std::string> lines;
    const int width = source.GetWidth();
    const int height = source.GetHeight();
    auto relax = [&work](int x, int y, double target) {
        const int old = work.GetValue(x, y);
        const int relaxed = static_cast<int>(0.1 * target + 0.9 * old + 0.5);
        work.SetValue(x, y, relaxed);
        return static_cast<long long>(std::abs(relaxed - old));
    };
    long long previous = 0;
    for (int k = 0; k < maxIterations; ++k) {
        long long total = 0;
        for (int y = 0; y < height; ++y) {
            for (int m = 0; m < width; ++m) {
                if (source.GetValue(m, y) != 0)
                    continue;
                int n = m + 1;
                while (n < width && source.GetValue(n, y) == 0)
                    ++n;
                if (n == width)
                    continue;
                const double far = source.GetValue(n, y);
                const double near = m == 0 ? far : source.GetValue(m - 1, y);
                const double step = (far - near) / (n - m + 1);
                double v = near;
                for (int x = m; x < n; ++x) {
                    v = v + step;
                    total += relax(x, y, v);
                }
                m = n;
            }
        }
        for (int x = 0; x < width; ++x) {
            for (int m = 0; m < height; ++m) {
                if (source.GetValue(x, m) != 0)
                    continue;
                int n = m + 1;
                while (n < height && source.GetValue(x, n) == 0)
                    ++n;
                if (n == height)
                    continue;
                const double far = source.GetValue(x, n);
                const double near = m == 0 ? far : source.GetValue(x, m - 1);
                const double step = (far - near) / (n - m + 1);
                double v = near;
                for (int y = m; y < n; ++y) {
                    v = v + step;
                    total += relax(x, y, v);
                }
                m = n;
            }
        }
        char line[128];
        if (total == previous) {
            std::snprintf(line, sizeof line, "Relaxation achieved after %d iterations.", k);
            lines.push_back(line);
            break;
        }
        if (k % 5 == 4) {
            std::snprintf(line, sizeof line, "Iteration %2d: residual %0.5f", k + 1,
                          std::fabs(static_cast<double>(total - previous)) / previous);
            lines.push_back(line);
        }
        previous = total;
    }
    return lines;
}

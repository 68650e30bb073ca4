#include "raster/ParallelBands.h"

#include <algorithm>
#include <system_error>
#include <thread>
#include <vector>

void ParallelBands(int count, const std::function<void(int begin, int end)>& work, int minimumPerBand)
{
    if (count <= 0)
        return;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    const int bands = std::clamp(std::min(cores, count / std::max(1, minimumPerBand)), 1, kMaxBands);
    if (bands == 1) {
        work(0, count);
        return;
    }
    auto bandStart = [&](int band) { return static_cast<int>(static_cast<long long>(count) * band / bands); };
    std::vector<std::thread> helpers;
    helpers.reserve(bands - 1);
    for (int band = 1; band < bands; ++band) {
        // Without a thread to spare the band is simply done here.
        try {
            helpers.emplace_back(work, bandStart(band), bandStart(band + 1));
        } catch (const std::system_error&) {
            work(bandStart(band), bandStart(band + 1));
        }
    }
    work(0, bandStart(1));
    for (std::thread& helper : helpers)
        helper.join();
}

#pragma once

#include <functional>

// Splits rows [0, count) into contiguous bands, one per processor core (at
// most kMaxBands), and calls `work(begin, end)` for each band: the first on
// the calling thread, the others on threads of their own. Returns when every
// band is done; every thread started here has ended by then, so nothing
// outlives the call and a cancel is seen by the caller right after it.
//
// Only for work whose bands write disjoint memory and read nothing another
// band writes: then the result is the same byte for byte however the bands
// are scheduled. Counts below `minimumPerBand` per band run on one thread.
void ParallelBands(int count, const std::function<void(int begin, int end)>& work, int minimumPerBand = 64);

inline constexpr int kMaxBands = 8;

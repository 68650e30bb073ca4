#pragma once

#include "region/RegionQuads.h"

#include <csignal>
#include <cstdio>
#include <string>
#include <vector>

// A region run: every quad of the region's share runs as a job of its own
// in its own folder under the current one, up to `jobs` at a time, all
// using the services of this process. What finished before (by the quads'
// marks) is skipped; what was interrupted or failed runs again from an
// empty folder.
struct RegionRunOptions {
    std::vector<QuadCorner> quads;  // the whole region, in its order
    double size = 1;
    Shard shard;
    int jobs = 1;
    bool redo = false;         // make finished quads of other options again
    std::string options;       // fingerprint of the options that shape a quad's files
    std::string program;       // the batch program that runs one job
    std::vector<std::string> jobArguments;  // for each job, before its --west and --north
    std::vector<std::string> environment;   // "NAME=value" for each job: where the services are
    bool mosaic = false;       // write region.vrt of the quads' GeoTIFFs
    bool terminal = false;     // progress redrawn in place
};

inline constexpr const char* kQuadLogName = "job.log";
inline constexpr const char* kRegionMosaicName = "region.vrt";

// Runs the region; returns the exit status: 0 when every quad of the share is
// finished, 1 when one is not, 2 when finished quads were made with other
// options and `redo` is not set. `interrupted` (set by a signal) stops it
// starting quads and cancels those running.
int RunRegion(const RegionRunOptions& options, const volatile std::sig_atomic_t& interrupted, std::FILE* out);

// How many jobs fit this machine: one per core, no more than its available
// memory holds at `bytesPerJob` each, at least one.
int DefaultRegionJobs(double quadSize);

#pragma once

#include <cpl_error.h>
#include <gdal.h>

#include <memory>

// An open GDAL dataset, closed when it goes.
struct GdalDatasetCloser {
    void operator()(void* dataset) const { GDALClose(dataset); }
};
using GdalDataset = std::unique_ptr<void, GdalDatasetCloser>;

// While one lives, GDAL keeps its messages to itself: readers of outside
// files report the cause in their own words instead of GDAL's lines on
// standard error for every bad file.
class QuietGdalErrors {
public:
    QuietGdalErrors() { CPLPushErrorHandler(CPLQuietErrorHandler); }
    ~QuietGdalErrors() { CPLPopErrorHandler(); }
    QuietGdalErrors(const QuietGdalErrors&) = delete;
    QuietGdalErrors& operator=(const QuietGdalErrors&) = delete;
};

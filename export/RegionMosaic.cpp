#include "export/RegionMosaic.h"

#include "core/FileReplacement.h"
#include "export/GdalSession.h"

#include <cpl_error.h>
#include <gdal.h>
#include <gdal_utils.h>

#include <filesystem>

namespace {

bool BuildVrt(const std::string& destination, const std::vector<std::string>& sources, std::string& error)
{
    std::vector<const char*> names;
    for (const std::string& source : sources)
        names.push_back(source.c_str());
    names.push_back(nullptr);
    GDALBuildVRTOptions* options = GDALBuildVRTOptionsNew(nullptr, nullptr);
    int usageError = 0;
    CPLErrorReset();
    GDALDatasetH mosaic = GDALBuildVRT(destination.c_str(), static_cast<int>(sources.size()), nullptr,
                                       names.data(), options, &usageError);
    GDALBuildVRTOptionsFree(options);
    if (!mosaic) {
        error = LastGdalError("GDAL could not build the mosaic");
        return false;
    }
    // The file is written when the dataset closes.
    GDALClose(mosaic);
    if (CPLGetLastErrorType() == CE_Failure) {
        error = LastGdalError("GDAL could not write the mosaic");
        return false;
    }
    return true;
}

} // namespace

bool WriteRegionMosaic(const std::string& vrtPath, const std::vector<std::string>& sources, std::string& error)
{
    if (sources.empty()) {
        error = "no quad has a GeoTIFF to put in it";
        return false;
    }
    EnsureGdalDrivers();
    // The temporary lies in the mosaic's folder, so relative source paths
    // mean the same from both.
    FileReplacement replacement = FileReplacement::WithUniqueTemporary(vrtPath, ".partial-");
    if (replacement.Failed()) {
        error = replacement.Reason();
        return false;
    }
    if (!BuildVrt(replacement.WritingName(), sources, error)) {
        replacement.Abandon();
        return false;
    }
    if (!replacement.Commit()) {
        error = replacement.Reason();
        return false;
    }
    return true;
}

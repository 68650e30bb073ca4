#pragma once

#include <string>
#include <vector>

// The files a finished job can be exported to.
enum class ExportFormat {
    Png16,       // heights as 16-bit greyscale PNG, with the sidecar
    GeoTiff,     // heights as 16-bit signed GeoTIFF in EPSG:4326
    Raw16,       // heights as little-endian unsigned 16-bit raw, with the sidecar
    TexturePng,  // the final texture as PNG
};

inline constexpr ExportFormat kAllExportFormats[] = {ExportFormat::Png16, ExportFormat::GeoTiff,
                                                     ExportFormat::Raw16, ExportFormat::TexturePng};

// The name a format has on the command line: png16, geotiff, r16, png.
const char* ExportFormatName(ExportFormat format);

// A comma-separated list of format names, each taken once in the order
// given. False with `error` naming the first unknown name or an empty list.
bool ParseExportFormats(const std::string& list, std::vector<ExportFormat>& formats, std::string& error);

#pragma once

#include "core/QuadGeometry.h"
#include "export/ExportFormat.h"

#include <optional>
#include <string>
#include <vector>

class LogSink;

// What to export of one job's results.
struct ExportRequest {
    std::string heightMap;       // "X_el.tga"
    std::string texture;         // the final texture; needed for TexturePng
    std::optional<Quad> quad;    // needed for GeoTiff, Png16 and Raw16
    std::vector<ExportFormat> formats;
};

// Writes the requested files beside the height map (names in
// ExportFileNames), each through a temporary name. Logs "Export written:
// \"%s\"." per file and an "Error in ExportResult(): " line per file that
// could not be made; goes on with the other formats after a failure.
// Returns 0 when every file was written, else 1.
int ExportResult(const ExportRequest& request, LogSink& log);

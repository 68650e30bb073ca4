#pragma once

#include "export/ExportFormat.h"

#include <optional>
#include <string>
#include <vector>

// The command line of terrafetch-batch, checked.
struct BatchOptions {
    std::optional<double> west;
    std::optional<double> north;
    std::optional<double> size;
    bool substituteZ0 = false;
    bool alignToGrid = false;
    bool keepIntermediates = false;
    bool namesFromCoordinates = false;
    std::string waypointFile;
    std::optional<int> lineThickness;
    std::optional<double> zScale;
    std::optional<int> timeout;
    int scanQuads = 0;  // 0: no scanner mode
    std::vector<ExportFormat> exports;  // written after each successful job
    std::optional<bool> liveSources;     // --sources live|bundled; unset: TERRAFETCH_SOURCES
    std::optional<std::string> dem2Url;  // --dem2-url; unset: TERRAFETCH_DEM2_URL
    bool help = false;
};

// Parses the arguments after the program name. On a bad argument returns
// false with `error` saying what is wrong.
bool ParseBatchOptions(const std::vector<std::string>& arguments, BatchOptions& options, std::string& error);

extern const char* const kBatchUsage;

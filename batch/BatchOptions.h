#pragma once

#include "export/ExportFormat.h"
#include "region/RegionQuads.h"

#include "core/TextureKind.h"

#include <optional>
#include <utility>
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
    std::optional<TextureKind> textureKind;
    std::optional<int> textureHeight;
    int scanQuads = 0;  // 0: no scanner mode
    std::vector<ExportFormat> exports;  // written after each successful job
    std::optional<bool> liveSources;     // --sources live|bundled; unset: TERRAFETCH_SOURCES
    // --dem-url URL and the other live source settings, in the order given;
    // they override the TERRAFETCH_* variables.
    std::vector<std::pair<std::string, std::string>> liveSettings;
    bool checkSources = false;           // try each live source and report, run no job
    bool help = false;

    // A region run: the quads of a box or of a file, each a job of its own.
    std::optional<RegionBox> region;
    std::string quadsFile;
    std::optional<int> jobs;     // unset: DefaultRegionJobs()
    std::optional<Shard> shard;
    bool redo = false;           // make quads finished with other options again
    bool yes = false;            // allow more than kMaxQuadsWithoutYes quads
    // Every argument but the region run's own, in the order given: what each
    // quad's job is run with.
    std::vector<std::string> jobArguments;

    bool IsRegionRun() const { return region || !quadsFile.empty(); }
};

// Parses the arguments after the program name. On a bad argument returns
// false with `error` saying what is wrong.
bool ParseBatchOptions(const std::vector<std::string>& arguments, BatchOptions& options, std::string& error);

extern const char* const kBatchUsage;

#pragma once

#include "live/LiveSourceSettings.h"
#include "live/UpstreamFetch.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

// One live source tried with the smallest real request it answers.
struct SourceCheck {
    std::string source;   // "Elevation tiles", "Street map WMS", ...
    std::string setting;  // what to look at when it fails: "TERRAFETCH_DEM_URL (--dem-url)"
    bool ok = false;
    bool skipped = false; // switched off in the settings
    double seconds = 0.0; // round trip of the requests made
    std::string detail;   // what was asked and what came, or why it failed
};

// A GET that may stop after the first `prefixBytes` of the body (0: the
// whole body up to `maxBytes`). The checks take it rather than the client so
// that tests can hand them answers.
struct SourceCheckFetch {
    UpstreamFetch whole;
    std::function<UpstreamAnswer(const std::string& url, size_t prefixBytes)> prefix;
};

// Tries every live source of `settings`: the first bytes of one known tile
// of each elevation source, the capabilities and one small GetMap of each
// WMS (the street map's two and the aerial imagery's), one geocoder query.
std::vector<SourceCheck> CheckLiveSources(const LiveSourceSettings& settings, const SourceCheckFetch& fetch);

// Fetches through `client`, which must outlive the functions.
SourceCheckFetch SourceCheckFetchThrough(UpstreamClient& client);

// "OK      Elevation tiles: ... (0.31 s)" or
// "FAILED  Elevation tiles: ...; check TERRAFETCH_DEM_URL (--dem-url)".
std::string SourceCheckLine(const SourceCheck& check);

// Prints a line per source to `out` and returns the exit status for it: 0
// when every source that is switched on works, 1 otherwise.
int ReportSourceChecks(const std::vector<SourceCheck>& checks, std::FILE* out);

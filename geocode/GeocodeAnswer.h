#pragma once

#include "core/QuadGeometry.h"

#include <optional>
#include <string>
#include <vector>

class JobWindow;

// What the geocoder's HTML page says: the map centre of a single match, or
// candidate addresses ("street, place"), or neither.
struct GeocodeAnswer {
    double latitude = 0.0;
    double longitude = 0.0;
    std::vector<std::string> candidates;

    // A centre of exactly 0, 0 is no match.
    bool IsSingleMatch() const { return latitude != 0.0 || longitude != 0.0; }
};

// The page with line feeds and tabs turned into blanks, runs of blanks
// shortened (17, 9, 5, 3, 2 in turn, one pass each) and the blanks around
// '=' removed; carriage returns stay.
std::string NormaliseGeocodeAnswer(std::string answer);

// Reads the map centre ("mapcenterlat=...," and "mapcenterlon=...,") and the
// candidate cells of a page. Keys and tags match in any case; the texts
// come from the normalised page.
GeocodeAnswer ReadGeocodeAnswer(const std::string& answer);

// The candidate line of the activity log: "        »" candidate "«".
std::string CandidateLogLine(const std::string& candidate);

// Acts on a page: a single match places a quad of `quadSize` around the
// centre (on the grid when `alignToGrid`), logs it, enables Proceed and the
// editable edges and returns it; otherwise the candidates or "No address
// found." are logged, the status picture blinks and nothing is returned.
std::optional<Quad> ParseGeocodeAnswer(JobWindow& window, const std::string& answer, double quadSize,
                                       bool alignToGrid);

#pragma once

#include "live/UpstreamFetch.h"

#include <string>
#include <vector>

// The U.S. Census Bureau geocoder's one-line address search:
// GET <base>?address=<text>&benchmark=Public_AR_Current&format=json, whose
// JSON answer lists result.addressMatches[], each with matchedAddress and
// coordinates.x (longitude) and coordinates.y (latitude).
struct GeocoderMatch {
    std::string address;
    double latitude = 0.0, longitude = 0.0;
};

struct GeocoderResult {
    bool ok = false;                   // an answer of the expected shape came
    std::vector<GeocoderMatch> matches;  // empty: no match
    std::string error;                 // why not ok
    std::string reported;              // the geocoder's own error list, if it sent one
};

// Reads the geocoder's JSON answer. Matches without a matched address or
// with coordinates that are no numbers on Earth make the answer not ok, as
// does anything but the documented shape; an "errors" list is reported.
GeocoderResult ReadCensusGeocoderAnswer(const std::string& json);

std::string CensusGeocoderUrl(const std::string& baseUrl, const std::string& address);

class CensusGeocoder {
public:
    static constexpr size_t kMaxAnswerBytes = 4u << 20;

    CensusGeocoder(UpstreamFetch fetch, std::string baseUrl)
        : fetch_(std::move(fetch)), baseUrl_(std::move(baseUrl))
    {
    }

    // Looks the address up; a failure's error names the geocoder and why.
    GeocoderResult Geocode(const std::string& address) const;

private:
    UpstreamFetch fetch_;
    std::string baseUrl_;
};

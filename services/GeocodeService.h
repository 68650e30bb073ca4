#pragma once

#include "services/Gazetteer.h"
#include "services/ServiceReply.h"

#include <string>
#include <vector>

// The geocoder: GET /demo.cgi?address=<text> answers an HTML page. One match
// carries a map link with "mapcenterlat=<lat>," and "mapcenterlon=<lon>,";
// several give table cells <td align="center">street <br />City, ST</td>;
// none gives a page saying the address was not found. Understood shapes:
// "street, city, ST zip", "city, ST", "city ST", a ZIP code alone, a city
// alone (a name found in several states gives candidates).
class GeocodeService {
public:
    static constexpr const char* kPath = "/demo.cgi";
    static constexpr size_t kMaxAddressLength = 300;
    static constexpr size_t kMaxCandidates = 25;

    explicit GeocodeService(const Gazetteer& gazetteer) : gazetteer_(gazetteer) {}

    ServiceReply Geocode(const QueryMap& query) const;

    struct ParsedAddress {
        std::string street;
        std::string city;
        std::string state;  // two-letter code, upper case
        std::string zip;    // five digits
    };
    // Splits an address into its parts; when no comma separates street and
    // city, the longest run of trailing words that names a place is the city.
    ParsedAddress Parse(const std::string& address) const;

    struct Match {
        std::string street;
        int place = -1;
        double latitude = 0.0, longitude = 0.0;
    };
    std::vector<Match> Resolve(const ParsedAddress& address) const;

private:
    const Gazetteer& gazetteer_;
};

#pragma once

#include "gateway/ServiceReply.h"
#include "live/CensusGeocoder.h"
#include "mapdraw/Gazetteer.h"

#include <functional>
#include <string>
#include <vector>

// The geocoder: GET /demo.cgi?address=<text> answers an HTML page. One match
// carries a map link with "mapcenterlat=<lat>," and "mapcenterlon=<lon>,";
// several give table cells <td align="center">street <br />City, ST</td>;
// none gives a page saying the address was not found. Understood shapes:
// "street, city, ST zip", "city, ST", "city ST", a ZIP code alone, a city
// alone (a name found in several states gives candidates). Given a street
// geocoder (live mode), street addresses and addresses the gazetteer does not
// know go to it; a failure of it is an error answer naming it.
class GeocodeService {
public:
    using StreetGeocoder = std::function<GeocoderResult(const std::string& address)>;

    static constexpr const char* kPath = "/demo.cgi";
    static constexpr size_t kMaxAddressLength = 300;
    static constexpr size_t kMaxCandidates = 25;

    explicit GeocodeService(const Gazetteer& gazetteer, StreetGeocoder streetGeocoder = {})
        : gazetteer_(gazetteer), streetGeocoder_(std::move(streetGeocoder))
    {
    }

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
    // One entry of an answer page: `street` and `place` as shown, `name` for
    // a candidate cell that has no street.
    struct Found {
        std::string street;
        std::string name;
        std::string place;
        double latitude = 0.0, longitude = 0.0;
    };
    std::vector<Found> FromGazetteer(const std::vector<Match>& matches) const;
    static std::vector<Found> FromGeocoder(const std::vector<GeocoderMatch>& matches);
    static ServiceReply AnswerPage(const std::string& address, const std::vector<Found>& found);

    const Gazetteer& gazetteer_;
    StreetGeocoder streetGeocoder_;
};

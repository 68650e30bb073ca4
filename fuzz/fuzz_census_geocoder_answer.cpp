// Fuzz target for the reader of the Census geocoder's JSON answers.
#include "fuzz/FuzzSupport.h"
#include "live/CensusGeocoder.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const GeocoderResult result = ReadCensusGeocoderAnswer(std::string(AsText(data, size)));
    FUZZ_CHECK(result.ok == result.error.empty());
    for (const GeocoderMatch& match : result.matches) {
        FUZZ_CHECK(std::fabs(match.latitude) <= 90.0 && std::fabs(match.longitude) <= 180.0);
    }
    return 0;
}

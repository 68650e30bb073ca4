// Fuzz target for the geocoder's answer page.
#include "fuzz/FuzzSupport.h"
#include "geocode/GeocodeAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string page(AsText(data, size));
    const GeocodeAnswer answer = ReadGeocodeAnswer(page);
    size_t candidateText = 0;
    for (const std::string& candidate : answer.candidates)
        candidateText += candidate.size();
    // Cells never overlap, so their text is bounded by the page's.
    FUZZ_CHECK(candidateText <= page.size() + 2 * answer.candidates.size());
    // Only a single match is acted on here: the other outcomes blink the
    // status picture, which waits half a second.
    if (answer.IsSingleMatch()) {
        NullWindow window;
        ParseGeocodeAnswer(window, page, 1.0, false);
    }
    return 0;
}

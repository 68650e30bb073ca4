// Fuzz target for the quads file of a region run: the input is a whole file.
#include "fuzz/FuzzSupport.h"
#include "region/RegionQuads.h"

#include <cmath>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::vector<QuadCorner> quads;
    std::string error;
    const bool read = ParseQuadsText(std::string(AsText(data, size)), "quads.txt", quads, error);
    FUZZ_CHECK(read == error.empty());
    FUZZ_CHECK(!read || !quads.empty());
    // A quad takes at least "0 0" and a line end.
    FUZZ_CHECK(quads.size() <= size / 3 + 1);
    for (const QuadCorner& quad : quads) {
        FUZZ_CHECK(std::fabs(quad.west) <= 180 && std::fabs(quad.north) <= 90);
        // Every folder name has its fixed shape, so names sort.
        const std::string name = QuadFolderName(quad, QuadNameDecimals(quads, 0.25));
        FUZZ_CHECK(name.size() >= 13 && (name[0] == 'N' || name[0] == 'S'));
    }
    return 0;
}

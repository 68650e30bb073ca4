// Fuzz target for the BIL import: the input holds the ".hdr" header text, a
// NUL byte, the ".stx" statistics text, a NUL byte and the raster data.
#include "fuzz/FuzzSupport.h"
#include "raster/BilToTga.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static MemoryFile header("fuzz_bil_hdr"), statistics("fuzz_bil_stx"), raster("fuzz_bil_data");
    const std::string_view input = AsText(data, size);
    const size_t first = input.find('\0');
    const size_t second = first == std::string_view::npos ? first : input.find('\0', first + 1);
    if (second == std::string_view::npos)
        return 0;
    if (!header.Fill(input.substr(0, first)) || !statistics.Fill(input.substr(first + 1, second - first - 1))
        || !raster.Fill(input.substr(second + 1)))
        return 0;
    NullWindow log;
    RasterSize heightMap;
    const int result = BilToTga(raster.Path(), header.Path(), statistics.Path(), "/dev/null", log, heightMap);
    FUZZ_CHECK(result == 0 || result == 1);
    if (result == 0) {
        // The height map drops one row and column of the samples the data held.
        FUZZ_CHECK(heightMap.rows >= 1 && heightMap.columns >= 1);
        FUZZ_CHECK(static_cast<size_t>(heightMap.rows + 1) * (heightMap.columns + 1) <= input.size() - second - 1);
    }
    return 0;
}

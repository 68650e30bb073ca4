// Fuzz target for a downloaded 3DEP elevation GeoTIFF: opened with GDAL's
// GeoTIFF driver alone, checked, and resampled onto a cell's height file.
#include "fuzz/FuzzSupport.h"
#include "live/DemGeoTiff.h"
#include "live/HgtTile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static MemoryFile tiff("fuzz_dem_geotiff");
    if (!tiff.Fill(AsText(data, size)))
        return 0;
    std::FILE* out = std::tmpfile();
    if (!out)
        return 0;
    std::string error;
    const bool converted = ConvertDemGeoTiff(tiff.Path(), {39, -99}, out, error);
    const long written = std::ftell(out);
    std::fclose(out);
    FUZZ_CHECK(converted == error.empty());
    // A converted tile is one whole height file, a refused one names its cause.
    FUZZ_CHECK(!converted || written == static_cast<long>(kLargestHgtBytes));
    return 0;
}

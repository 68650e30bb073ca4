// Fuzz target for the reader of WMS capabilities documents, whose layer
// names and scale limits decide every GetMap of the live street map.
#include "fuzz/FuzzSupport.h"
#include "live/WmsCapabilities.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const WmsCapabilities read = ReadWmsCapabilities(std::string(AsText(data, size)));
    if (read.ok) {
        for (const WmsLayerInfo& layer : read.layers) {
            FUZZ_CHECK(!layer.name.empty());
            FUZZ_CHECK(layer.maxScaleDenominator >= 0.0);
            FUZZ_CHECK(read.LayerTitled(layer.title) != nullptr);
        }
        FUZZ_CHECK(read.maxWidth >= 0 && read.maxHeight >= 0);
        FUZZ_CHECK(!read.PreferredFormat().empty() || read.formats.front().empty());
    } else {
        // The reason goes into a log line and a header: one line.
        FUZZ_CHECK(!read.error.empty());
        FUZZ_CHECK(read.error.find_first_of("\r\n") == std::string::npos);
    }
    return 0;
}

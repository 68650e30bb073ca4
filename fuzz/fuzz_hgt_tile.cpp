// Fuzz target for a downloaded elevation tile: the gzip body inflated as it
// arrives in blocks, and the height-file size check.
#include "fuzz/FuzzSupport.h"
#include "live/GunzipSink.h"
#include "live/HgtTile.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string body(AsText(data, size));
    std::string whole, error;
    const bool accepted = GunzipHeightFile(body, whole, error);
    FUZZ_CHECK(accepted == error.empty());
    FUZZ_CHECK(!accepted || HgtPostsForBytes(whole.size()) != 0);

    // The blocks a transfer happens to deliver change nothing.
    GunzipSink sink(kLargestHgtBytes);
    sink.Begin();
    const size_t block = 1 + (size > 0 ? data[0] : 0) * 37;
    for (size_t at = 0; at < size; at += block)
        sink.Append(body.data() + at, std::min(block, size - at));
    std::string blockError;
    const bool inflated = sink.Finish(blockError);
    FUZZ_CHECK(!accepted || (inflated && sink.Output() == whole));
    return 0;
}

// Fuzz target for the reader of WMS GetMap answers: PNG and GIF images and
// ServiceException documents.
#include "fuzz/FuzzSupport.h"
#include "live/WmsAnswer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    constexpr size_t kMaxPixels = 512 * 512;
    const std::string body(AsText(data, size));
    const WmsAnswer answer = ReadWmsAnswer("image/png", body, kMaxPixels);
    if (answer.ok) {
        FUZZ_CHECK(answer.image.width > 0 && answer.image.height > 0);
        FUZZ_CHECK(static_cast<size_t>(answer.image.width) * answer.image.height <= kMaxPixels);
        FUZZ_CHECK(answer.image.rgb.size() == static_cast<size_t>(answer.image.width) * answer.image.height * 3);
    } else {
        // The message goes into a log line and a header: bounded, one line.
        FUZZ_CHECK(!answer.error.empty() && answer.error.size() < 1024);
        FUZZ_CHECK(answer.error.find_first_of("\r\n") == std::string::npos);
    }
    return 0;
}

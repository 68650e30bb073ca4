// Fuzz target for the TGA reader: the input is a whole file.
#include "fuzz/FuzzSupport.h"
#include "raster/TGAFile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static MemoryFile file("fuzz_tga_file");
    if (!file.Fill(AsText(data, size)))
        return 0;
    TGAFile image;
    if (image.Open(file.Path()) != 0) {
        FUZZ_CHECK(image.IsEmpty());
        return 0;
    }
    const int width = image.GetWidth(), height = image.GetHeight();
    FUZZ_CHECK(static_cast<size_t>(image.RowStride()) >= static_cast<size_t>(image.BytesPerPixel()) * width);
    // Every pixel that was read is inside the buffer; the corners prove it.
    uint8_t pixel[32] = {};
    for (const auto& [x, y] : {std::pair{0, 0}, {width - 1, 0}, {0, height - 1}, {width - 1, height - 1}}) {
        image.GetPixel(x, y, pixel);
        image.SetValue(x, y, image.GetValue(x, y));
    }
    FUZZ_CHECK(image.Write("/dev/null") == 0);
    return 0;
}

#include "ConversionTestSupport.h"

#include <atomic>
#include <fstream>
#include <unistd.h>

namespace conversiontest {

ScratchFolder::ScratchFolder()
{
    static std::atomic<int> counter{0};
    folder_ = std::filesystem::temp_directory_path() /
              ("terrafetch-raster-" + std::to_string(getpid()) + "-" + std::to_string(counter++));
    std::filesystem::remove_all(folder_);
    std::filesystem::create_directories(folder_);
}

ScratchFolder::~ScratchFolder()
{
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

CurrentFolder::CurrentFolder(const std::filesystem::path& folder) : previous_(std::filesystem::current_path())
{
    std::filesystem::current_path(folder);
}

CurrentFolder::~CurrentFolder()
{
    std::error_code ignored;
    std::filesystem::current_path(previous_, ignored);
}

Rgb PixelOf(const TGAFile& image, int x, int y)
{
    uint8_t pixel[32] = {};
    image.GetPixel(x, y, pixel);
    return {pixel[2], pixel[1], pixel[0]};
}

void SetRgb(TGAFile& image, int x, int y, Rgb color)
{
    const uint8_t pixel[3] = {static_cast<uint8_t>(color.blue), static_cast<uint8_t>(color.green),
                              static_cast<uint8_t>(color.red)};
    image.SetPixel(x, y, pixel);
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

} // namespace conversiontest

#pragma once

#include <png.h>

#include <string>

// The PNG file of `pixels` (rows top to bottom, in libpng's simplified
// `format`, e.g. PNG_FORMAT_RGB), as the stand-ins of map services send it;
// empty when libpng refuses.
inline std::string PngBytes(int width, int height, int format, const void* pixels)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = static_cast<png_uint_32>(format);
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, pixels, 0, nullptr))
        return {};
    std::string bytes(size, '\0');
    if (!png_image_write_to_memory(&image, bytes.data(), &size, 0, pixels, 0, nullptr))
        return {};
    bytes.resize(size);
    return bytes;
}

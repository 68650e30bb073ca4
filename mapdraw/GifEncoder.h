#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

struct PaletteColor {
    uint8_t red, green, blue;
};

// Encodes a palette image (one index per pixel, rows top to bottom) as a GIF
// with giflib. The palette has at most 256 entries; an empty string means the
// encoder failed.
std::string EncodeGif(int width, int height, const std::vector<uint8_t>& pixels,
                      const std::vector<PaletteColor>& palette);

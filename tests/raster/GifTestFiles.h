#pragma once

#include "raster/TGAFile.h"

#include <cstdint>
#include <string>
#include <vector>

namespace conversiontest {

struct GifColor {
    uint8_t red, green, blue;
};

struct GifImageLayout {
    int left = 0, top = 0, width = 0, height = 0;
    bool interlaced = false;
    std::vector<GifColor> localMap;  // empty: none
    std::vector<uint8_t> pixels;     // width × height indices, rows top-down
};

struct GifFileLayout {
    int screenWidth = 0, screenHeight = 0;
    std::vector<GifColor> globalMap;  // empty: none
    std::vector<std::string> comments;
    bool applicationExtension = false;
    std::vector<GifImageLayout> images;
};

// A palette of `count` distinct colours and a picture that uses all of
// them, with runs and noise so that the LZW table fills and is cleared.
std::vector<GifColor> TestPalette(int count, int seed);
std::vector<uint8_t> TestPicture(int width, int height, int colors, int seed);

// Encodes the file with giflib; false when giflib fails.
bool WriteGifWithGiflib(const std::string& path, const GifFileLayout& layout);

// The TGA that the first image of a GIF should become, decoded by giflib:
// screen size, white, the first image from the top-left corner, clipped.
bool ExpectedTgaFromGiflib(const std::string& path, TGAFile& expected);

// Raw LZW code streams for files giflib would never write.
class CodePacker {
public:
    void Put(int code, int width);
    std::vector<uint8_t> Bytes() const;

private:
    std::vector<uint8_t> bytes_;
    uint32_t bits_ = 0;
    int bitCount_ = 0;
};

// Splits data into sub-blocks of at most blockSize bytes, then the empty
// terminating block unless told otherwise.
std::vector<uint8_t> SubBlocks(const std::vector<uint8_t>& data, int blockSize = 255, bool terminate = true);

// "GIF89a", a screen descriptor and a global map of 2 << mapBits entries
// (colour i = (i, 2i, 3i) modulo 256), or no map when mapBits < 0.
std::vector<uint8_t> GifHeader(int screenWidth, int screenHeight, int mapBits, int aspect = 0);
// An image descriptor without local map.
std::vector<uint8_t> ImageDescriptor(int width, int height, bool interlaced = false);

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes);

} // namespace conversiontest

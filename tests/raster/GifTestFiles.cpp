#include "GifTestFiles.h"

#include "ConversionTestSupport.h"

#include <gif_lib.h>

#include <memory>

namespace conversiontest {

namespace {

struct MapDeleter {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using MapHandle = std::unique_ptr<ColorMapObject, MapDeleter>;

MapHandle MakeMap(const std::vector<GifColor>& colors)
{
    if (colors.empty())
        return nullptr;
    std::vector<GifColorType> entries;
    for (const GifColor& c : colors)
        entries.push_back({c.red, c.green, c.blue});
    return MapHandle(GifMakeMapObject(static_cast<int>(entries.size()), entries.data()));
}

// giflib writes rows in the order given: interlaced images get them pass
// by pass.
std::vector<int> RowOrder(int height, bool interlaced)
{
    std::vector<int> rows;
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    const int start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
    for (int pass = 0; pass < 4; ++pass)
        for (int y = start[pass]; y < height; y += step[pass])
            rows.push_back(y);
    return rows;
}

bool PutExtensions(GifFileType* gif, const GifFileLayout& layout)
{
    for (const std::string& comment : layout.comments)
        if (EGifPutComment(gif, comment.c_str()) != GIF_OK)
            return false;
    if (layout.applicationExtension) {
        const uint8_t name[] = "NETSCAPE2.0";
        const uint8_t loop[] = {1, 0, 0};
        return EGifPutExtensionLeader(gif, APPLICATION_EXT_FUNC_CODE) == GIF_OK &&
               EGifPutExtensionBlock(gif, 11, name) == GIF_OK && EGifPutExtensionBlock(gif, 3, loop) == GIF_OK &&
               EGifPutExtensionTrailer(gif) == GIF_OK;
    }
    return true;
}

bool PutImage(GifFileType* gif, const GifImageLayout& image)
{
    MapHandle local = MakeMap(image.localMap);
    if (EGifPutImageDesc(gif, image.left, image.top, image.width, image.height, image.interlaced, local.get()) !=
        GIF_OK)
        return false;
    std::vector<GifPixelType> line(image.width);
    for (int y : RowOrder(image.height, image.interlaced)) {
        for (int x = 0; x < image.width; ++x)
            line[x] = image.pixels[static_cast<size_t>(y) * image.width + x];
        if (EGifPutLine(gif, line.data(), image.width) != GIF_OK)
            return false;
    }
    return true;
}

} // namespace

std::vector<GifColor> TestPalette(int count, int seed)
{
    std::vector<GifColor> colors;
    for (int i = 0; i < count; ++i)
        colors.push_back({static_cast<uint8_t>(i * 37 + seed), static_cast<uint8_t>(i * 11 + 3 * seed),
                          static_cast<uint8_t>(255 - i)});
    return colors;
}

std::vector<uint8_t> TestPicture(int width, int height, int colors, int seed)
{
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height);
    uint32_t state = 12345u + static_cast<uint32_t>(seed);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            state = state * 1664525u + 1013904223u;
            // Horizontal bands with noise in every fourth band.
            const bool noisy = (y / 7) % 4 == 3;
            const int value = noisy ? static_cast<int>(state >> 24) : (x / 13 + y / 7);
            pixels[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(value % colors);
        }
    }
    return pixels;
}

bool WriteGifWithGiflib(const std::string& path, const GifFileLayout& layout)
{
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    if (!gif)
        return false;
    EGifSetGifVersion(gif, true);
    MapHandle global = MakeMap(layout.globalMap);
    bool ok = EGifPutScreenDesc(gif, layout.screenWidth, layout.screenHeight, 8, 0, global.get()) == GIF_OK &&
              PutExtensions(gif, layout);
    for (const GifImageLayout& image : layout.images)
        ok = ok && PutImage(gif, image);
    return EGifCloseFile(gif, &error) == GIF_OK && ok;
}

bool ExpectedTgaFromGiflib(const std::string& path, TGAFile& expected)
{
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif)
        return false;
    const bool slurped = DGifSlurp(gif) == GIF_OK && gif->ImageCount > 0;
    if (slurped) {
        expected.Create(gif->SWidth, gif->SHeight);
        const SavedImage& image = gif->SavedImages[0];
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        for (int y = 0; y < image.ImageDesc.Height; ++y) {
            for (int x = 0; x < image.ImageDesc.Width; ++x) {
                const GifColorType c = map->Colors[image.RasterBits[static_cast<size_t>(y) * image.ImageDesc.Width + x]];
                SetRgb(expected, x, gif->SHeight - 1 - y, {c.Red, c.Green, c.Blue});
            }
        }
    }
    DGifCloseFile(gif, &error);
    return slurped;
}

void CodePacker::Put(int code, int width)
{
    bits_ |= static_cast<uint32_t>(code) << bitCount_;
    bitCount_ += width;
    while (bitCount_ >= 8) {
        bytes_.push_back(static_cast<uint8_t>(bits_));
        bits_ >>= 8;
        bitCount_ -= 8;
    }
}

std::vector<uint8_t> CodePacker::Bytes() const
{
    std::vector<uint8_t> bytes = bytes_;
    if (bitCount_ > 0)
        bytes.push_back(static_cast<uint8_t>(bits_));
    return bytes;
}

std::vector<uint8_t> SubBlocks(const std::vector<uint8_t>& data, int blockSize, bool terminate)
{
    std::vector<uint8_t> out;
    for (size_t i = 0; i < data.size(); i += blockSize) {
        const size_t n = std::min(data.size() - i, static_cast<size_t>(blockSize));
        out.push_back(static_cast<uint8_t>(n));
        out.insert(out.end(), data.begin() + i, data.begin() + i + n);
    }
    if (terminate)
        out.push_back(0);
    return out;
}

std::vector<uint8_t> GifHeader(int screenWidth, int screenHeight, int mapBits, int aspect)
{
    std::vector<uint8_t> out = {'G', 'I', 'F', '8', '9', 'a',
                                static_cast<uint8_t>(screenWidth), static_cast<uint8_t>(screenWidth >> 8),
                                static_cast<uint8_t>(screenHeight), static_cast<uint8_t>(screenHeight >> 8),
                                static_cast<uint8_t>(mapBits >= 0 ? 0x80 | mapBits : 0), 0,
                                static_cast<uint8_t>(aspect)};
    if (mapBits >= 0)
        for (int i = 0; i < (2 << mapBits); ++i)
            Append(out, {static_cast<uint8_t>(i), static_cast<uint8_t>(2 * i), static_cast<uint8_t>(3 * i)});
    return out;
}

std::vector<uint8_t> ImageDescriptor(int width, int height, bool interlaced)
{
    return {',', 0, 0, 0, 0, static_cast<uint8_t>(width), static_cast<uint8_t>(width >> 8),
            static_cast<uint8_t>(height), static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(interlaced ? 0x40 : 0)};
}

void Append(std::vector<uint8_t>& to, const std::vector<uint8_t>& bytes)
{
    to.insert(to.end(), bytes.begin(), bytes.end());
}

} // namespace conversiontest

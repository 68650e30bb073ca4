#include "mapdraw/GifEncoder.h"

#include <gif_lib.h>

namespace {

int AppendBytes(GifFileType* gif, const GifByteType* data, int length)
{
    auto* out = static_cast<std::string*>(gif->UserData);
    out->append(reinterpret_cast<const char*>(data), static_cast<size_t>(length));
    return length;
}

}  // namespace

std::string EncodeGif(int width, int height, const std::vector<uint8_t>& pixels,
                      const std::vector<PaletteColor>& palette)
{
    if (width <= 0 || height <= 0 || width > 65535 || height > 65535 || palette.empty() ||
        palette.size() > 256 || pixels.size() != static_cast<size_t>(width) * height)
        return {};
    int entries = 2;
    while (entries < static_cast<int>(palette.size()))
        entries *= 2;
    std::vector<GifColorType> colors(entries, GifColorType{0, 0, 0});
    for (size_t i = 0; i < palette.size(); ++i)
        colors[i] = GifColorType{palette[i].red, palette[i].green, palette[i].blue};

    std::string out;
    int error = 0;
    GifFileType* gif = EGifOpen(&out, AppendBytes, &error);
    if (!gif)
        return {};
    ColorMapObject* map = GifMakeMapObject(entries, colors.data());
    bool ok = map != nullptr;
    ok = ok && EGifPutScreenDesc(gif, width, height, 8, 0, map) == GIF_OK;
    ok = ok && EGifPutImageDesc(gif, 0, 0, width, height, false, nullptr) == GIF_OK;
    std::vector<GifPixelType> line(width);
    for (int y = 0; ok && y < height; ++y) {
        const uint8_t* row = pixels.data() + static_cast<size_t>(y) * width;
        for (int x = 0; x < width; ++x)
            line[x] = row[x] < entries ? row[x] : 0;
        ok = EGifPutLine(gif, line.data(), width) == GIF_OK;
    }
    if (map)
        GifFreeMapObject(map);
    if (EGifCloseFile(gif, &error) != GIF_OK)
        ok = false;
    return ok ? out : std::string();
}

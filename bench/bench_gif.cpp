// Our GIF reader against giflib on a street-map-like 1200 × 1248 picture of
// 16 colours: both decode the same file into a 24-bit picture in memory.
#include "core/LogSink.h"
#include "raster/GifDecoder.h"
#include "raster/TGAFile.h"

#include <benchmark/benchmark.h>
#include <gif_lib.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kWidth = 1200, kHeight = 1248;

class NullLog : public LogSink {
public:
    void AddToLog(const std::string&) override {}
};

struct Picture {
    std::vector<uint8_t> pixels = std::vector<uint8_t>(static_cast<size_t>(kWidth) * kHeight, 0);
    void Fill(int x0, int y0, int x1, int y1, uint8_t color)
    {
        for (int y = std::max(0, y0); y < std::min(kHeight, y1); ++y)
            for (int x = std::max(0, x0); x < std::min(kWidth, x1); ++x)
                pixels[static_cast<size_t>(y) * kWidth + x] = color;
    }
};

// White ground, area fills, a street grid, wider roads, a diagonal highway,
// a river and small label-like specks.
std::vector<uint8_t> StreetMap()
{
    Picture p;
    p.Fill(100, 150, 400, 420, 1);   // city
    p.Fill(700, 600, 1000, 900, 2);  // park
    p.Fill(200, 800, 330, 1000, 3);
    p.Fill(850, 100, 1100, 260, 4);
    for (int x = 7; x < kWidth; x += 23)
        p.Fill(x, 0, x + 1, kHeight, 5);
    for (int y = 11; y < kHeight; y += 19)
        p.Fill(0, y, kWidth, y + 1, 5);
    for (int y = 300; y < kHeight; y += 400)
        p.Fill(0, y, kWidth, y + 3, 6);
    for (int x = 0; x < kWidth; ++x) {
        const int y = x * kHeight / kWidth;
        p.Fill(x, y, x + 4, y + 4, 7);
        const int river = 900 + static_cast<int>(60 * std::sin(x / 80.0));
        p.Fill(x, river, x + 1, river + 9, 8);
    }
    uint32_t state = 1;
    for (int i = 0; i < 4000; ++i) {
        state = state * 1664525u + 1013904223u;
        const int x = (state >> 8) % kWidth, y = (state >> 4) % kHeight;
        p.Fill(x, y, x + 2 + (state & 3), y + 3, static_cast<uint8_t>(9 + (state >> 28) % 7));
    }
    return p.pixels;
}

std::string WriteStreetMapGif()
{
    const std::string path =
        (std::filesystem::temp_directory_path() / ("terrafetch-bench-map-" + std::to_string(getpid()) + ".gif"))
            .string();
    std::vector<GifColorType> colors(16);
    for (int i = 0; i < 16; ++i)
        colors[i] = {static_cast<GifByteType>(255 - i * 9), static_cast<GifByteType>(255 - i * 13),
                     static_cast<GifByteType>(255 - i * 5)};
    ColorMapObject* map = GifMakeMapObject(16, colors.data());
    int error = 0;
    GifFileType* gif = EGifOpenFileName(path.c_str(), false, &error);
    EGifPutScreenDesc(gif, kWidth, kHeight, 8, 0, map);
    EGifPutImageDesc(gif, 0, 0, kWidth, kHeight, false, nullptr);
    std::vector<uint8_t> pixels = StreetMap();
    for (int y = 0; y < kHeight; ++y)
        EGifPutLine(gif, pixels.data() + static_cast<size_t>(y) * kWidth, kWidth);
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return path;
}

const std::string& MapGif()
{
    static const std::string path = WriteStreetMapGif();
    return path;
}

void BM_GifOurDecoder(benchmark::State& state)
{
    NullLog log;
    for (auto _ : state) {
        GifDecoder decoder(log);
        TGAFile image;
        if (decoder.ReadGIFFile(MapGif(), 1, image) != 0)
            state.SkipWithError("decode failed");
        benchmark::DoNotOptimize(image.Row(0));
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

// giflib's decoding plus the expansion of palette indices into the same
// bottom-up blue-green-red picture our reader makes.
void BM_GifGiflib(benchmark::State& state)
{
    for (auto _ : state) {
        int error = 0;
        GifFileType* gif = DGifOpenFileName(MapGif().c_str(), &error);
        if (!gif || DGifSlurp(gif) != GIF_OK) {
            state.SkipWithError("giflib failed");
            break;
        }
        TGAFile image;
        image.Create(gif->SWidth, gif->SHeight);
        const SavedImage& saved = gif->SavedImages[0];
        const ColorMapObject* map = saved.ImageDesc.ColorMap ? saved.ImageDesc.ColorMap : gif->SColorMap;
        for (int y = 0; y < saved.ImageDesc.Height; ++y) {
            uint8_t* row = image.Row(gif->SHeight - 1 - y);
            const GifByteType* indices = saved.RasterBits + static_cast<size_t>(y) * saved.ImageDesc.Width;
            for (int x = 0; x < saved.ImageDesc.Width; ++x) {
                const GifColorType c = map->Colors[indices[x]];
                row[3 * x] = c.Blue;
                row[3 * x + 1] = c.Green;
                row[3 * x + 2] = c.Red;
            }
        }
        DGifCloseFile(gif, &error);
        benchmark::DoNotOptimize(image.Row(0));
    }
    state.SetItemsProcessed(state.iterations() * kWidth * kHeight);
}

BENCHMARK(BM_GifOurDecoder)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GifGiflib)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove(MapGif(), ignored);
    return 0;
}

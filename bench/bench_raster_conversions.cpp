// Elevation colouring, stretching and combining at the texture sizes a job
// meets, each next to a plain pass that reads and writes the same images
// (the I/O floor of the operation).
#include "core/LogSink.h"
#include "raster/CombineTga.h"
#include "raster/ElevationToColor.h"
#include "raster/StretchTga.h"
#include "raster/TGAFile.h"

#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <vector>
#include <string>
#include <unistd.h>

namespace {

class NullLog : public LogSink {
public:
    void AddToLog(const std::string&) override {}
};

const std::filesystem::path kScratchFolder =
    std::filesystem::temp_directory_path() / ("terrafetch-bench-raster-" + std::to_string(getpid()));

std::string Scratch(const std::string& name)
{
    std::filesystem::create_directories(kScratchFolder);
    return (kScratchFolder / name).string();
}

template <typename PixelAt>
std::string MakeImage(const std::string& name, int width, int height, PixelAt pixelAt)
{
    const std::string path = Scratch(name);
    if (std::filesystem::exists(path))
        return path;
    TGAFile image;
    image.Create(width, height);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            pixelAt(image, x, y);
    image.Write(path);
    return path;
}

const std::string& HeightMap()
{
    static const std::string path = MakeImage("heights.tga", 3600, 3600, [](TGAFile& image, int x, int y) {
        image.SetValue(x, y, (x * 7 + y * 3) % 9000 - 500);
    });
    return path;
}

const std::string& MapTile()
{
    static const std::string path = MakeImage("tile.tga", 1200, 1248, [](TGAFile& image, int x, int y) {
        const uint8_t pixel[3] = {static_cast<uint8_t>(x), static_cast<uint8_t>(y), static_cast<uint8_t>(x ^ y)};
        image.SetPixel(x, y, pixel);
    });
    return path;
}

// A map mostly white, with city and park fills and dark roads.
const std::string& Map926()
{
    static const std::string path = MakeImage("map.tga", 926, 1200, [](TGAFile& image, int x, int y) {
        uint8_t pixel[3] = {255, 255, 255};
        if (x % 23 == 0 || y % 19 == 0)
            pixel[0] = pixel[1] = pixel[2] = 60;
        else if (x > 200 && x < 500 && y > 300 && y < 700)
            pixel[0] = 159, pixel[1] = 247, pixel[2] = 255;
        else if (x > 600 && y > 800)
            pixel[0] = 127, pixel[1] = 215, pixel[2] = 175;
        image.SetPixel(x, y, pixel);
    });
    return path;
}

const std::string& Coloring926()
{
    static const std::string path = MakeImage("coloring.tga", 926, 1200, [](TGAFile& image, int x, int y) {
        const uint8_t pixel[3] = {static_cast<uint8_t>(x + y), 180, static_cast<uint8_t>(y)};
        image.SetPixel(x, y, pixel);
    });
    return path;
}

// Reads the inputs, makes an output of the given size and writes it, with
// the inputs held in memory until the output is made, as the operations do.
void IoFloor(benchmark::State& state, std::initializer_list<std::string> inputs, int width, int height)
{
    for (auto _ : state) {
        std::vector<std::unique_ptr<TGAFile>> images;
        for (const std::string& input : inputs) {
            images.push_back(std::make_unique<TGAFile>());
            images.back()->Open(input);
            benchmark::DoNotOptimize(images.back()->Row(0));
        }
        TGAFile output;
        output.Create(width, height);
        images.clear();
        output.Write(Scratch("floor.tga"));
    }
}

void BM_ElevationToColor(benchmark::State& state)
{
    NullLog log;
    for (auto _ : state)
        ElevationToColor(HeightMap(), Scratch("colored.tga"), log);
}

void BM_ElevationToColorFloor(benchmark::State& state)
{
    IoFloor(state, {HeightMap()}, 3600, 3600);
}

void BM_StretchTga(benchmark::State& state)
{
    NullLog log;
    for (auto _ : state)
        StretchTga(MapTile(), Scratch("stretched.tga"), {0, 0, 1200, 0, 0, 1248, 1200, 1248}, 926, 1200, log);
}

void BM_StretchTgaFloor(benchmark::State& state)
{
    IoFloor(state, {MapTile()}, 926, 1200);
}

void BM_CombineTga(benchmark::State& state)
{
    NullLog log;
    for (auto _ : state)
        CombineTga(Map926(), Coloring926(), Scratch("combined.tga"), log, false);
}

void BM_CombineTgaFloor(benchmark::State& state)
{
    IoFloor(state, {Map926(), Coloring926()}, 926, 1200);
}

BENCHMARK(BM_ElevationToColor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ElevationToColorFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchTga)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_StretchTgaFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CombineTga)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CombineTgaFloor)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ignored;
    std::filesystem::remove_all(kScratchFolder, ignored);
    return 0;
}

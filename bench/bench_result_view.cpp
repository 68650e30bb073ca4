// What the result view and the exports cost for the height map of a 1° quad
// (3600 × 3600 posts) and its texture: the reduced pictures the view draws,
// next to a plain read of the same TGA (the floor), and each export.
#include "core/LogSink.h"
#include "export/ExportResult.h"
#include "export/ResultPreview.h"
#include "raster/TGAFile.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <unistd.h>

namespace {

class NullLog : public LogSink {
public:
    void AddToLog(const std::string&) override {}
};

const std::filesystem::path kFolder =
    std::filesystem::temp_directory_path() / ("terrafetch-bench-result-" + std::to_string(getpid()));

struct Files {
    std::string heightMap = (kFolder / "40.000000N99.000000W_el.tga").string();
    std::string texture = (kFolder / "40.000000N99.000000W_tx_c.tga").string();

    Files()
    {
        std::filesystem::create_directories(kFolder);
        TGAFile heights;
        heights.Create(3600, 3600);
        for (int y = 0; y < 3600; ++y)
            for (int x = 0; x < 3600; ++x)
                heights.SetValue(x, y, (x + y) % 97 == 0 ? 0 : 400 + static_cast<int>(150 * std::sin(x / 200.0) * std::cos(y / 170.0)));
        heights.Write(heightMap);
        TGAFile texture;
        texture.Create(926, 1200);
        texture.Write(this->texture);
    }
    ~Files() { std::filesystem::remove_all(kFolder); }
};

const Files& TheFiles()
{
    static const Files files;
    return files;
}

void BM_ReadHeightMapOnly(benchmark::State& state)
{
    const Files& files = TheFiles();
    for (auto _ : state) {
        TGAFile image;
        benchmark::DoNotOptimize(image.Open(files.heightMap));
    }
}
BENCHMARK(BM_ReadHeightMapOnly)->Unit(benchmark::kMillisecond);

void BM_ResultViewPictures(benchmark::State& state)
{
    const Files& files = TheFiles();
    for (auto _ : state) {
        ResultPreview preview;
        std::string error;
        benchmark::DoNotOptimize(
            MakeResultPreview(files.heightMap, files.texture, Quad{-99, -98, 40, 39}, 360, preview, error));
    }
}
BENCHMARK(BM_ResultViewPictures)->Unit(benchmark::kMillisecond);

void BM_Export(benchmark::State& state)
{
    const Files& files = TheFiles();
    const ExportFormat format = kAllExportFormats[state.range(0)];
    state.SetLabel(ExportFormatName(format));
    NullLog log;
    for (auto _ : state)
        benchmark::DoNotOptimize(ExportResult({files.heightMap, files.texture, Quad{-99, -98, 40, 39}, {format}}, log));
}
BENCHMARK(BM_Export)->DenseRange(0, 3)->Unit(benchmark::kMillisecond)->Iterations(3);

} // namespace

BENCHMARK_MAIN();

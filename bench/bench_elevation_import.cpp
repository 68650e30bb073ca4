// BIL import and hole filling on a synthetic 1-degree tile: 3601 x 3601
// big-endian 16-bit posts, smooth terrain, about 1 % no-data in clusters.
// Each operation is reported next to a floor or baseline measured in the
// same run: the import against reading its input and writing an output of
// the same size, the relaxation against the plain whole-image scan.
#include "bench/RelaxNoDataReference.h"
#include "core/LogSink.h"
#include "raster/BilToTga.h"
#include "raster/RelaxNoData.h"
#include "raster/TGAFile.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

namespace {

constexpr int kPosts = 3601;

class NullLog : public LogSink {
public:
    void AddToLog(const std::string&) override {}
};

struct Tile {
    std::filesystem::path folder;
    std::string bil, hdr, stx, heightMap;
};

// Terrain of several wavelengths; holes are discs of 1 to 60 pixels across
// until about 1 % of the posts are -9999.
std::vector<int16_t> SyntheticPosts()
{
    std::vector<int16_t> posts(static_cast<size_t>(kPosts) * kPosts);
    for (int r = 0; r < kPosts; ++r)
        for (int c = 0; c < kPosts; ++c)
            posts[static_cast<size_t>(r) * kPosts + c] = static_cast<int16_t>(
                900 + 400 * std::sin(r * 0.004) * std::cos(c * 0.003) + 120 * std::sin(r * 0.05 + c * 0.031)
                + 25 * std::cos(c * 0.21 - r * 0.17));
    std::mt19937 random(7);
    size_t voids = 0;
    while (voids < posts.size() / 100) {
        const int diameter = 1 + static_cast<int>(random() % 60);
        const int cr = static_cast<int>(random() % kPosts), cc = static_cast<int>(random() % kPosts);
        for (int r = cr - diameter / 2; r <= cr + diameter / 2; ++r)
            for (int c = cc - diameter / 2; c <= cc + diameter / 2; ++c) {
                const double dr = r - cr, dc = c - cc;
                if (r < 0 || c < 0 || r >= kPosts || c >= kPosts || 4 * (dr * dr + dc * dc) > diameter * diameter)
                    continue;
                int16_t& post = posts[static_cast<size_t>(r) * kPosts + c];
                voids += post != -9999;
                post = -9999;
            }
    }
    return posts;
}

const Tile& TheTile()
{
    static const Tile tile = [] {
        Tile t;
        t.folder = std::filesystem::temp_directory_path() / "terrafetch-bench-elevation";
        std::filesystem::create_directories(t.folder);
        t.bil = (t.folder / "tile.bil").string();
        t.hdr = (t.folder / "tile.hdr").string();
        t.stx = (t.folder / "tile.stx").string();
        t.heightMap = (t.folder / "tile_el.tga").string();
        std::string bytes;
        for (int16_t post : SyntheticPosts()) {
            bytes += static_cast<char>(static_cast<uint16_t>(post) >> 8);
            bytes += static_cast<char>(post & 0xFF);
        }
        std::ofstream(t.bil, std::ios::binary) << bytes;
        std::ofstream(t.hdr) << "BYTEORDER M\nLAYOUT BIL\nNROWS 3601\nNCOLS 3601\nNBANDS 1\nNBITS 16\n";
        std::ofstream(t.stx) << "1 -9999 1500 900.0 300.0\n";
        NullLog log;
        RasterSize size;
        BilToTga(t.bil, t.hdr, t.stx, t.heightMap, log, size);
        return t;
    }();
    return tile;
}

void BM_BilToTga(benchmark::State& state)
{
    const Tile& tile = TheTile();
    NullLog log;
    RasterSize size;
    const std::string output = (tile.folder / "import_el.tga").string();
    for (auto _ : state)
        benchmark::DoNotOptimize(BilToTga(tile.bil, tile.hdr, tile.stx, output, log, size));
}

// Reads the BIL's bytes and writes as many bytes as the height map has.
void BM_BilToTga_IoFloor(benchmark::State& state)
{
    const Tile& tile = TheTile();
    const std::string output = (tile.folder / "floor.tga").string();
    const size_t outputBytes = 18 + size_t(kPosts - 1) * (kPosts - 1) * 3;
    std::vector<char> buffer(std::filesystem::file_size(tile.bil));
    std::vector<char> image(outputBytes, 1);
    for (auto _ : state) {
        std::FILE* in = std::fopen(tile.bil.c_str(), "rb");
        benchmark::DoNotOptimize(std::fread(buffer.data(), 1, buffer.size(), in));
        std::fclose(in);
        std::FILE* out = std::fopen(output.c_str(), "wb");
        benchmark::DoNotOptimize(std::fwrite(image.data(), 1, image.size(), out));
        std::fclose(out);
    }
}

void BM_RelaxNoData(benchmark::State& state)
{
    const Tile& tile = TheTile();
    NullLog log;
    const std::atomic<bool> neverCancelled{false};
    const std::string work = (tile.folder / "relax_el.tga").string();
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::copy_file(tile.heightMap, work, std::filesystem::copy_options::overwrite_existing);
        state.ResumeTiming();
        benchmark::DoNotOptimize(RelaxNoData(work, 50, false, log, neverCancelled));
    }
}

// The plain scan, on the same tile; also checks that both write the same bytes.
void BM_RelaxNoData_PlainScanBaseline(benchmark::State& state)
{
    const Tile& tile = TheTile();
    TGAFile source;
    source.Open(tile.heightMap);
    for (auto _ : state) {
        TGAFile work;
        work.Open(tile.heightMap);
        RelaxNoDataReference(source, work, 50);
        state.PauseTiming();
        const std::string expected = (tile.folder / "plain_el.tga").string();
        work.Write(expected);
        const std::string program = (tile.folder / "relax_el.tga").string();
        std::filesystem::copy_file(tile.heightMap, program, std::filesystem::copy_options::overwrite_existing);
        NullLog log;
        const std::atomic<bool> neverCancelled{false};
        RelaxNoData(program, 50, false, log, neverCancelled);
        std::ifstream a(expected, std::ios::binary), b(program, std::ios::binary);
        if (!std::equal(std::istreambuf_iterator<char>(a), {}, std::istreambuf_iterator<char>(b)))
            state.SkipWithError("the program's relaxation differs from the plain scan");
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_BilToTga)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BilToTga_IoFloor)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RelaxNoData)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RelaxNoData_PlainScanBaseline)->Unit(benchmark::kMillisecond)->Iterations(1);

BENCHMARK_MAIN();

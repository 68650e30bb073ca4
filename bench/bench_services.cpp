// Cost of the reference services: a 1-degree elevation archive and a map
// tile of the size the program asks for, end to end over loopback and by
// their parts.
#include "mapdraw/BoundaryLines.h"
#include "mapdraw/Gazetteer.h"
#include "mapdraw/GifEncoder.h"
#include "mapdraw/MapRenderer.h"
#include "services/ReferenceServices.h"
#include "terrain/BilArchive.h"
#include "terrain/ElevationSource.h"

#include <benchmark/benchmark.h>
#include <httplib.h>

#include <memory>

namespace {

const char* kLayers =
    "CITIES,GRID,counties,indian,majroads,miscell,places,railroad,shorelin,streets,interstate,statehwy,ushwy,"
    "states,water";

ReferenceServices& Services()
{
    static std::unique_ptr<ReferenceServices> services = [] {
        ReferenceServiceOptions options;
        options.waitSeconds = 0;
        auto started = std::make_unique<ReferenceServices>(options);
        started->Start();
        return started;
    }();
    return *services;
}

// Path and query of an absolute URL on the services' host.
std::string PathOf(const std::string& url)
{
    const size_t slash = url.find('/', url.find("//") + 2);
    return slash == std::string::npos ? "/" : url.substr(slash);
}

// A new 1-degree order, followed through its status pages to the archive.
void BM_ServeArchive1Degree(benchmark::State& state)
{
    httplib::Client client("127.0.0.1", Services().Port());
    int64_t bytes = 0;
    int west = -110;
    for (auto _ : state) {
        // A fresh quad each time, so no archive is served from the cache.
        std::string path = "/diststatus/servlet/gov.usgs.edc.RequestStatus?pfm=BIL&arc=ZIP&lft=" +
                           std::to_string(west) + "&rgt=" + std::to_string(west + 1) + "&top=40&bot=39";
        west = west < -80 ? west + 1 : -110;
        for (int round = 0; round < 20; ++round) {
            auto answer = client.Get(path.c_str());
            if (!answer) {
                state.SkipWithError("request failed");
                return;
            }
            std::string next = answer->get_header_value("Location");
            const std::string refresh = answer->get_header_value("Refresh");
            if (next.empty() && refresh.find("http://") != std::string::npos)
                next = refresh.substr(refresh.find("http://"));
            if (next.empty()) {
                bytes += static_cast<int64_t>(answer->body.size());
                break;
            }
            path = PathOf(next);
        }
    }
    state.SetBytesProcessed(bytes);
}
BENCHMARK(BM_ServeArchive1Degree)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SyntheticTerrain1Degree(benchmark::State& state)
{
    for (auto _ : state) {
        ElevationGrid grid;
        BuildElevationGrid({"", 0.005}, -99.0, -98.0, 39.0, 40.0, grid);
        benchmark::DoNotOptimize(grid.samples.data());
    }
    state.SetItemsProcessed(state.iterations() * 3601 * 3601);
}
BENCHMARK(BM_SyntheticTerrain1Degree)->Unit(benchmark::kMillisecond);

void BM_PackArchive1Degree(benchmark::State& state)
{
    ElevationGrid grid;
    BuildElevationGrid({"", 0.005}, -99.0, -98.0, 39.0, 40.0, grid);
    for (auto _ : state)
        benchmark::DoNotOptimize(MakeBilArchive("123456789", grid));
}
BENCHMARK(BM_PackArchive1Degree)->Unit(benchmark::kMillisecond);

// The map tile of the default quad with every layer, as the program asks.
void BM_ServeMap1200x1248(benchmark::State& state)
{
    httplib::Client client("127.0.0.1", Services().Port());
    const std::string path = std::string("/cgi-bin/mapper/map.gif?lon=-98.50000000&lat=39.50000000&wid=1.00000000"
                                         "&ht=1.04000000&iwd=1200&iht=1248&on=") + kLayers;
    for (auto _ : state) {
        auto answer = client.Get(path.c_str());
        if (!answer || answer->status != 200) {
            state.SkipWithError("request failed");
            return;
        }
        benchmark::DoNotOptimize(answer->body.data());
    }
}
BENCHMARK(BM_ServeMap1200x1248)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_RenderAndEncodeMap1200x1248(benchmark::State& state)
{
    static Gazetteer gazetteer;
    static BoundaryLines boundaries;
    static const bool loaded =
        gazetteer.Load(DefaultServiceDataFolder()) && boundaries.Load(DefaultServiceDataFolder());
    benchmark::DoNotOptimize(loaded);
    MapView view;
    view.longitude = -98.5;
    view.latitude = 39.5;
    view.width = 1.0;
    view.height = 1.04;
    view.imageWidth = 1200;
    view.imageHeight = 1248;
    view.layers = ParseLayerList(kLayers);
    for (auto _ : state) {
        const std::vector<uint8_t> pixels = RenderMap(view, gazetteer, boundaries);
        benchmark::DoNotOptimize(EncodeGif(1200, 1248, pixels, MapPalette()));
    }
}
BENCHMARK(BM_RenderAndEncodeMap1200x1248)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();

// Live elevation against its yardsticks, with a loopback stand-in for the
// public tile source serving one gzipped 3601 × 3601 tile:
//  - a 1° job whose tile is already cached, next to the same job on the
//    bundled services (synthetic terrain, and the same tile in the data
//    folder); the cached live job should take at most 1.1 × the bundled one;
//  - the tile's download through the upstream client, next to the curl
//    command line tool fetching the same file ("curl -s -o"); the client
//    should reach at least 0.8 × curl's speed. The whole cache fill (download,
//    inflate, check, write, rename) is timed beside them.
#include "core/JobFields.h"
#include "job/JobParameters.h"
#include "job/RunJob.h"
#include "job/ServiceHosts.h"
#include "live/ElevationTileCache.h"
#include "live/UpstreamClient.h"
#include "services/ReferenceServices.h"
#include "tests/support/HgtTestTiles.h"
#include "tests/support/NoWaitServices.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <atomic>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

const std::atomic<bool> neverCancelled{false};

namespace fs = std::filesystem;

// Real tiles pack to some 10 to 25 MB: the test terrain, too regular to
// stand for them, gets a few bits of noise.
std::string NoisyTile()
{
    std::string tile = MakeHgtTile(39, -99);
    uint32_t state = 12345;
    for (size_t i = 1; i < tile.size(); i += 2) {
        state = state * 1664525u + 1013904223u;
        tile[i] = static_cast<char>(tile[i] ^ static_cast<char>((state >> 24) & 0x3f));
    }
    return tile;
}

struct Fixture {
    std::string tile = NoisyTile();
    std::string gzip = Gzip(tile, 6);
    TestTileServer source;
    TempDir cache, data, jobs;
    std::unique_ptr<ReferenceServices> live, bundledWithTile;

    Fixture()
    {
        source.Put("/skadi/N39/N39W099.hgt.gz", gzip);
        fs::create_directories(cache.Path() / "elevation");
        WriteFileBytes((cache.Path() / "elevation" / "N39W099.hgt").string(), tile);
        WriteFileBytes(data.File("N39W099.hgt"), tile);

        ReferenceServiceOptions options;
        options.waitSeconds = 0;
        options.dataFolder = data.Path().string();
        bundledWithTile = std::make_unique<ReferenceServices>(options);
        bundledWithTile->Start();
        options.dataFolder.clear();
        options.live.live = true;
        options.live.cacheFolder = cache.Path().string();
        options.live.demUrl = DemUrl();
        live = std::make_unique<ReferenceServices>(options);
        live->Start();
        fs::current_path(jobs.Path());
    }
    std::string DemUrl() const { return source.BaseUrl() + "/skadi"; }
    std::string TileUrl() const { return DemUrl() + "/N39/N39W099.hgt.gz"; }
};

Fixture& Shared()
{
    static Fixture fixture;
    return fixture;
}

void RunDefaultJob(benchmark::State& state, const std::string& extractHost)
{
    Shared();
    const std::string others = NoWaitServices().HostAndPort();
    for (auto _ : state) {
        RecordingWindow window;
        JobFields job;
        if (RunJob(window, JobParametersFrom(job, ServiceHosts{extractHost, others, others}), neverCancelled) != 0)
            state.SkipWithError("the job failed");
        state.PauseTiming();
        for (const auto& entry : fs::directory_iterator(Shared().jobs.Path()))
            fs::remove_all(entry.path());
        state.ResumeTiming();
    }
}

void BM_JobLiveCached(benchmark::State& state) { RunDefaultJob(state, Shared().live->HostAndPort()); }
void BM_JobBundledSynthetic(benchmark::State& state) { RunDefaultJob(state, NoWaitServices().HostAndPort()); }
void BM_JobBundledWithTile(benchmark::State& state)
{
    RunDefaultJob(state, Shared().bundledWithTile->HostAndPort());
}

struct CountingSink : UpstreamClient::BodySink {
    size_t bytes = 0;
    void Begin() override { bytes = 0; }
    bool Append(const char*, size_t size) override
    {
        bytes += size;
        return true;
    }
};

void BM_TileDownloadUpstreamClient(benchmark::State& state)
{
    Fixture& fixture = Shared();
    UpstreamClient client;
    for (auto _ : state) {
        CountingSink sink;
        const UpstreamAnswer answer = client.Get(fixture.TileUrl(), ElevationTileCache::kMaxDownloadBytes, sink);
        if (!answer.ok || sink.bytes != fixture.gzip.size())
            state.SkipWithError("download incomplete");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture.gzip.size()));
}

void BM_TileDownloadCurlTool(benchmark::State& state)
{
    Fixture& fixture = Shared();
    if (std::system("curl --version >/dev/null 2>&1") != 0) {
        state.SkipWithError("the curl command line tool is not installed");
        return;
    }
    TempDir folder;
    const std::string target = folder.File("N39W099.hgt.gz");
    const std::string command = "curl -s -o '" + target + "' '" + fixture.TileUrl() + "'";
    for (auto _ : state) {
        if (std::system(command.c_str()) != 0)
            state.SkipWithError("curl failed");
    }
    std::error_code error;
    if (fs::file_size(target, error) != fixture.gzip.size())
        state.SkipWithError("download incomplete");
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture.gzip.size()));
}

void BM_TileCacheFill(benchmark::State& state)
{
    Fixture& fixture = Shared();
    UpstreamClient client;
    for (auto _ : state) {
        TempDir folder;
        ElevationTileCache cache(folder.Path().string(), fixture.DemUrl(), client);
        if (cache.Fetch({39, -99}).outcome != ElevationTileCache::Outcome::kReady)
            state.SkipWithError("the tile was not cached");
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * fixture.gzip.size()));
}

}  // namespace

BENCHMARK(BM_JobBundledSynthetic)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);
BENCHMARK(BM_JobBundledWithTile)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);
BENCHMARK(BM_JobLiveCached)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(5.0);
BENCHMARK(BM_TileDownloadUpstreamClient)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_TileDownloadCurlTool)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_TileCacheFill)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

BENCHMARK_MAIN();

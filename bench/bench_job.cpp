// A whole default job — 1-degree quad, 3601 x 3601 posts, hole filling on,
// intermediates removed — against freshly started bundled services with no
// server waits. Reports the total, the program's own work (everything after
// the archive has arrived), each job's stage times and the peak memory; a
// second job on the same quad against the same services; the floor of the
// job, writing its four result files from memory. When GDAL's command-line
// tools are installed, the same conversions done with them on the same data
// are timed too.
#include "core/JobFields.h"
#include "job/JobParameters.h"
#include "job/RunJob.h"
#include "job/ServiceHosts.h"
#include "services/ReferenceServices.h"
#include "tests/support/RecordingWindow.h"

#include <atomic>
#include <benchmark/benchmark.h>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <mutex>
#include <vector>

namespace {

const std::atomic<bool> neverCancelled{false};

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Remembers when each log line arrived.
class StageClock : public RecordingWindow {
public:
    void AddToLog(const std::string& line) override
    {
        std::lock_guard lock(mutex_);
        stamps_.emplace_back(Clock::now(), line);
    }
    std::vector<std::pair<Clock::time_point, std::string>> Stamps()
    {
        std::lock_guard lock(mutex_);
        return stamps_;
    }

private:
    std::mutex mutex_;
    std::vector<std::pair<Clock::time_point, std::string>> stamps_;
};

double Seconds(Clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

bool IsStageEnd(const std::string& line)
{
    return line.find("successful") != std::string::npos || line.find("finished.") != std::string::npos
        || line.rfind("Relaxation achieved", 0) == 0 || line.rfind("Iteration 50", 0) == 0;
}

// Services of their own for each measured job, so that nothing a job before
// left in them serves it.
std::unique_ptr<ReferenceServices> FreshServices()
{
    ReferenceServiceOptions options;
    options.waitSeconds = 0;
    auto started = std::make_unique<ReferenceServices>(options);
    started->Start();
    return started;
}

ServiceHosts HostsOf(const ReferenceServices& services)
{
    return {services.HostAndPort(), services.HostAndPort(), services.HostAndPort()};
}

const fs::path& BenchFolder()
{
    static const fs::path folder = fs::temp_directory_path() / "terrafetch-bench-job";
    return folder;
}

void PrintStages(int job, const Clock::time_point start,
                 const std::vector<std::pair<Clock::time_point, std::string>>& stamps)
{
    Clock::time_point last = start;
    std::fprintf(stderr, "Stage times of default job %d:\n", job);
    for (const auto& [when, line] : stamps) {
        if (!IsStageEnd(line))
            continue;
        std::fprintf(stderr, "  %7.3f s  %.90s\n", Seconds(when - last), line.c_str());
        last = when;
    }
}

void EnterEmptyFolder(const fs::path& folder)
{
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(folder);
    fs::create_directories(folder);
    fs::current_path(folder);
}

// One default job with hole filling in an empty bench folder; the seconds
// of the program's own work (everything after the archive arrived, less the
// map server's drawing of the tile) are added to `ownWork`.
bool RunBenchJob(const ServiceHosts& hosts, bool removeIntermediates, StageClock& window, double& ownWork)
{
    EnterEmptyFolder(BenchFolder());
    JobFields job;
    job.substituteZ0 = true;
    job.removeIntermediateFiles = removeIntermediates;
    const bool done = RunJob(window, JobParametersFrom(job, hosts), neverCancelled) == 0;
    const Clock::time_point end = Clock::now();
    Clock::time_point tileAsked{};
    for (const auto& [when, line] : window.Stamps()) {
        if (line.find(".zip\" finished.") != std::string::npos)
            ownWork += Seconds(end - when);
        if (line.rfind("Executing HTTP request", 0) == 0)
            tileAsked = when;
        if (line == "HTTP request was successful.")
            ownWork -= Seconds(when - tileAsked);
    }
    return done;
}

double PeakRssMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Times one default job an iteration on freshly started services and
// returns the average own work. With `warmUp`, a job on the same quad runs
// first, untimed, so the timed one finds what the services kept.
double TimeJobsOnFreshServices(benchmark::State& state, bool warmUp)
{
    double ownWork = 0;
    int jobs = 0;
    std::unique_ptr<ReferenceServices> services;
    for (auto _ : state) {
        state.PauseTiming();
        services = FreshServices();
        if (warmUp) {
            StageClock first;
            double ignored = 0;
            RunBenchJob(HostsOf(*services), true, first, ignored);
        }
        state.ResumeTiming();
        StageClock window;
        const Clock::time_point start = Clock::now();
        if (!RunBenchJob(HostsOf(*services), true, window, ownWork))
            state.SkipWithError("the job failed");
        // Every job's stages: the first job of a process often pays for
        // memory the later ones find ready.
        PrintStages(++jobs, start, window.Stamps());
    }
    return ownWork;
}

void BM_WholeDefaultJob(benchmark::State& state)
{
    const double ownWork = TimeJobsOnFreshServices(state, false);
    state.counters["own_work_s"] = benchmark::Counter(ownWork, benchmark::Counter::kAvgIterations);
    state.counters["peak_rss_MB"] = PeakRssMegabytes();
}

// A job on the quad the services have just served: what they kept answers it.
void BM_SecondJobSameQuad(benchmark::State& state)
{
    const double ownWork = TimeJobsOnFreshServices(state, true);
    state.counters["own_work_s"] = benchmark::Counter(ownWork, benchmark::Counter::kAvgIterations);
}

// Sizes of the default job's four result files, from a job just run in the
// bench folder.
std::vector<uintmax_t> ResultFileSizes()
{
    std::vector<uintmax_t> sizes;
    for (const auto& entry : fs::directory_iterator(BenchFolder())) {
        const std::string name = entry.path().filename().string();
        const auto endsWith = [&](const std::string& tail) {
            return name.size() > tail.size() && name.compare(name.size() - tail.size(), tail.size(), tail) == 0;
        };
        if (entry.is_regular_file() && (endsWith("_el.tga") || endsWith("_tx_c.tga") || endsWith(".alp")))
            sizes.push_back(entry.file_size());
    }
    return sizes;
}

// The job's floor: its four result files' bytes written from memory into a
// folder beside the job's, without sync.
void BM_ResultFilesFloor(benchmark::State& state)
{
    const std::vector<uintmax_t> sizes = ResultFileSizes();
    if (sizes.size() != 4) {
        state.SkipWithError("run BM_WholeDefaultJob first (it leaves the job's result files)");
        return;
    }
    std::vector<std::vector<char>> contents;
    for (const uintmax_t size : sizes)
        contents.emplace_back(static_cast<size_t>(size), '\x2a');
    const fs::path folder = BenchFolder() / "floor";
    fs::create_directories(folder);
    for (auto _ : state) {
        for (size_t i = 0; i < contents.size(); ++i) {
            const std::string path = (folder / ("result" + std::to_string(i))).string();
            std::FILE* file = std::fopen(path.c_str(), "wb");
            if (!file || std::fwrite(contents[i].data(), 1, contents[i].size(), file) != contents[i].size())
                state.SkipWithError("the floor's file could not be written");
            if (file)
                std::fclose(file);
        }
        state.PauseTiming();
        for (size_t i = 0; i < contents.size(); ++i)
            fs::remove(folder / ("result" + std::to_string(i)));
        state.ResumeTiming();
    }
}

bool HaveGdal()
{
    return std::system("command -v gdal_translate >/dev/null 2>&1 && command -v gdal_fillnodata.py >/dev/null 2>&1"
                       " && command -v gdaldem >/dev/null 2>&1 && command -v gdalwarp >/dev/null 2>&1") == 0;
}

// The same conversions with GDAL's tools on the job's kept BIL and tile GIF:
// 24-bit raster, hole filling, colour relief, nearest-neighbour warp of the map.
void BM_GdalEquivalentConversions(benchmark::State& state)
{
    if (!HaveGdal()) {
        state.SkipWithError("GDAL's command-line tools are not installed");
        return;
    }
    // A job that keeps its intermediates leaves the BIL and the tile GIF.
    {
        const auto services = FreshServices();
        StageClock window;
        double ignored = 0;
        if (!RunBenchJob(HostsOf(*services), false, window, ignored)) {
            state.SkipWithError("the job that leaves GDAL's input failed");
            return;
        }
    }
    fs::path bil, gif;
    for (const auto& entry : fs::recursive_directory_iterator(BenchFolder())) {
        if (entry.path().extension() == ".bil")
            bil = entry.path();
        if (entry.path().extension() == ".gif")
            gif = entry.path();
    }
    if (bil.empty() || gif.empty()) {
        state.SkipWithError("the job left no BIL or no tile GIF");
        return;
    }
    const fs::path out = BenchFolder() / "gdal";
    fs::create_directories(out);
    std::ofstream(out / "colors.txt") << "nv 0 0 0\n0 0 128 0\n500 60 160 60\n1500 200 180 80\n3000 255 255 255\n";
    const std::string o = out.string();
    const std::string commands =
        "gdal_translate -q -ot Int32 -a_nodata -9999 " + bil.string() + " " + o + "/h.tif && "
        "gdal_fillnodata.py -q -md 50 " + o + "/h.tif " + o + "/f.tif && "
        "gdaldem color-relief -q " + o + "/f.tif " + o + "/colors.txt " + o + "/c.tif && "
        "gdalwarp -q -overwrite -r near -to SRC_METHOD=NO_GEOTRANSFORM -ts 926 1200 -te 0 -1248 1200 0 " + gif.string() + " " + o + "/m.tif";
    for (auto _ : state)
        if (std::system((commands + " >/dev/null 2>&1").c_str()) != 0)
            state.SkipWithError("a GDAL command failed");
}

} // namespace

BENCHMARK(BM_WholeDefaultJob)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_ResultFilesFloor)->Unit(benchmark::kMillisecond)->Iterations(10)->UseRealTime();
BENCHMARK(BM_SecondJobSameQuad)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_GdalEquivalentConversions)->Unit(benchmark::kSecond)->Iterations(2)->UseRealTime();

BENCHMARK_MAIN();

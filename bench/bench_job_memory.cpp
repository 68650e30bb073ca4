// Ten whole default jobs (1-degree quad, hole filling on) one after another
// in one process, as the window runs them, against the bundled services in
// the same process. Reports the peak resident size after the second and after
// the tenth job: what a job leaves behind — in the pipeline or in the
// services — shows as growth between the two.
#include "core/JobFields.h"
#include "job/JobParameters.h"
#include "job/RunJob.h"
#include "job/ServiceHosts.h"
#include "services/ReferenceServices.h"
#include "tests/support/RecordingWindow.h"

#include <atomic>
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include <filesystem>

namespace {

const std::atomic<bool> neverCancelled{false};

namespace fs = std::filesystem;

double PeakRssMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// Resident size now, from /proc/self/statm (second field, in pages).
double CurrentRssMegabytes()
{
    long pages = 0, resident = 0;
    if (std::FILE* statm = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return static_cast<double>(resident) * static_cast<double>(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

void BM_TenJobsInOneProcess(benchmark::State& state)
{
    ReferenceServiceOptions options;
    options.waitSeconds = 0;
    ReferenceServices services(options);
    if (services.Start() == 0) {
        state.SkipWithError("the services could not start");
        return;
    }
    const ServiceHosts hosts{services.HostAndPort(), services.HostAndPort(), services.HostAndPort()};
    const fs::path folder = fs::temp_directory_path() / "terrafetch-bench-job-memory";
    double afterSecond = 0, afterTenth = 0;
    for (auto _ : state) {
        for (int job = 1; job <= 10; ++job) {
            fs::remove_all(folder);
            fs::create_directories(folder);
            fs::current_path(folder);
            JobFields fields;
            fields.substituteZ0 = true;
            RecordingWindow window;
            if (RunJob(window, JobParametersFrom(fields, hosts), neverCancelled) != 0) {
                state.SkipWithError("a job failed");
                return;
            }
            if (job == 2) {
                afterSecond = PeakRssMegabytes();
                state.counters["rss_after_2_MB"] = CurrentRssMegabytes();
            }
            std::fprintf(stderr, "job %2d: peak RSS %.1f MB, now %.1f MB\n", job, PeakRssMegabytes(),
                         CurrentRssMegabytes());
        }
        afterTenth = PeakRssMegabytes();
        state.counters["rss_after_10_MB"] = CurrentRssMegabytes();
    }
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(folder);
    state.counters["peak_rss_after_2_MB"] = afterSecond;
    state.counters["peak_rss_after_10_MB"] = afterTenth;
    state.counters["growth_10_to_2"] = afterSecond > 0 ? afterTenth / afterSecond : 0;
}

} // namespace

BENCHMARK(BM_TenJobsInOneProcess)->Unit(benchmark::kSecond)->Iterations(1)->UseRealTime();

BENCHMARK_MAIN();

// terrafetch-batch: runs terraFetch jobs without a window.
#include "batch/BatchOptions.h"
#include "batch/RegionCommand.h"
#include "batch/TerminalWindow.h"
#include "core/JobFields.h"
#include "export/ExportResult.h"
#include "hosts/ResolveServiceHosts.h"
#include "job/JobParameters.h"
#include "job/JobWorker.h"
#include "live/LiveSourceOptions.h"
#include "live/LiveSourceSettings.h"
#include "live/SourceCheck.h"
#include "live/UpstreamClient.h"
#include "route/WaypointFile.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <thread>

namespace {

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int)
{
    interrupted = 1;
}

void ApplyOptions(const BatchOptions& options, JobFields& job)
{
    if (options.scanQuads > 0)
        job.ApplyScannerMode("yes");
    if (options.size)
        job.quadSize = *options.size;
    job.SetWestEdge(options.west.value_or(job.quadLeft));
    job.SetNorthEdge(options.north.value_or(job.quadTop));
    if (options.substituteZ0)
        job.substituteZ0 = true;
    if (options.alignToGrid)
        job.alignQuadToGrid = true;
    if (options.keepIntermediates)
        job.removeIntermediateFiles = false;
    if (options.namesFromCoordinates)
        job.namesFromCoordinates = 1;
    if (options.lineThickness)
        job.lineThickness = *options.lineThickness;
    if (options.zScale)
        job.zScale = *options.zScale;
    if (options.timeout)
        job.httpTimeout = *options.timeout;
    if (options.textureKind)
        job.textureKind = *options.textureKind;
    if (options.textureHeight)
        job.textureHeight = *options.textureHeight;
}

// Writes the export files of the job that has just succeeded.
int ExportJobResult(const JobResult& result, const std::vector<ExportFormat>& formats, LogSink& log)
{
    ExportRequest request;
    request.heightMap = result.heightMap;
    request.texture = result.texture;
    request.quad = result.quad;
    request.formats = formats;
    return ExportResult(request, log);
}

// Runs one job to its end; Ctrl-C asks it to cancel.
int RunOneJob(JobWorker& worker, JobParameters parameters)
{
    std::atomic<bool> finished{false};
    std::atomic<int> result{0};
    worker.Start(std::move(parameters), [&](int code) {
        result = code;
        finished = true;
    });
    while (!finished) {
        if (interrupted)
            worker.Cancel();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    worker.Wait();
    return result;
}

} // namespace

int main(int argc, char** argv)
{
    BatchOptions options;
    std::string error;
    if (!ParseBatchOptions(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
        std::fprintf(stderr, "terrafetch-batch: %s\nTry \"terrafetch-batch --help\".\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(kBatchUsage, stdout);
        return 0;
    }

    LiveSourceSettings sources;
    if (!LiveSourceSettingsFromEnvironment(sources, error)) {
        std::fprintf(stderr, "terrafetch-batch: %s\n", error.c_str());
        return 2;
    }
    for (const auto& [option, value] : options.liveSettings)
        *LiveSourceSettingOfOption(option, sources) = value;
    if (options.liveSources)
        sources.live = *options.liveSources;
    if (options.checkSources) {
        UpstreamClient client;
        return ReportSourceChecks(CheckLiveSources(sources, SourceCheckFetchThrough(client)), stdout);
    }

    JobFields job;
    ApplyOptions(options, job);
    TerminalWindow window;
    if (!options.waypointFile.empty()) {
        job.useWaypoints = 1;
        // The reader has said why on standard error; the runner adds which
        // option failed and stops before any job.
        if (const std::string why = ReadWaypoints(options.waypointFile, job.waypoints); !why.empty()) {
            window.ShowMessage(kWaypointMessageCaption, why, MessageIcon::Error);
            std::fprintf(stderr, "terrafetch-batch: --waypoints \"%s\" was not read; no job was started.\n",
                         options.waypointFile.c_str());
            return 1;
        }
    }
    ServiceHosts hosts;
    if (!ResolveServiceHosts(hosts, sources, error)) {
        std::fprintf(stderr, "terrafetch-batch: %s\n", error.c_str());
        return 1;
    }

    std::signal(SIGINT, OnInterrupt);
    if (options.IsRegionRun()) {
        std::signal(SIGTERM, OnInterrupt);
        return RunRegionCommand(options, job, hosts, sources, interrupted);
    }
    JobWorker worker(window);
    const int jobs = options.scanQuads > 0 ? options.scanQuads : 1;
    int result = 0;
    for (int i = 0; i < jobs && result == 0 && !interrupted; ++i) {
        result = RunOneJob(worker, JobParametersFrom(job, hosts));
        const JobResult made = worker.LastResult();
        if (result == 0 && made.nextQuad) {
            job.quadLeft = made.nextQuad->left;
            job.quadRight = made.nextQuad->right;
        }
        if (result == 0 && !options.exports.empty())
            result = ExportJobResult(made, options.exports, window);
    }
    return result;
}

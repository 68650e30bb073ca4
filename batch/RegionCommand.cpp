#include "batch/RegionCommand.h"

#include "core/StringPrintf.h"
#include "live/CacheFile.h"
#include "region/RegionRecord.h"
#include "region/RegionRun.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <unistd.h>

namespace {

std::string YesNo(bool value)
{
    return value ? "yes" : "no";
}

std::string RouteFingerprint(const JobFields& job)
{
    if (!job.useWaypoints)
        return "none";
    std::string points;
    for (const Waypoint& point : job.waypoints)
        points += StringPrintf("%.9f %.9f\n", point.latitude, point.longitude);
    return CacheKeyHash(points);
}

std::string SourcesFingerprint(const LiveSourceSettings& sources)
{
    std::string text = sources.live ? "live " + sources.demUrl + " " + sources.dem2Url + " " + sources.wmsUrl + " " +
                                          sources.wmsBoundariesUrl
                                    : "bundled";
    for (const char* variable : {"TERRAFETCH_EXTRACT_HOST", "TERRAFETCH_MAP_HOST", "TERRAFETCH_SERVICES_DATA"})
        if (const char* value = std::getenv(variable); value && *value)
            text += std::string(" ") + variable + "=" + value;
    return text;
}

std::string Exports(const BatchOptions& options)
{
    std::string names;
    for (ExportFormat format : options.exports)
        names += (names.empty() ? "" : ",") + std::string(ExportFormatName(format));
    return names.empty() ? "none" : names;
}

bool HasGeoTiffExport(const BatchOptions& options)
{
    for (ExportFormat format : options.exports)
        if (format == ExportFormat::GeoTiff)
            return true;
    return false;
}

// The job's own arguments, with file names made absolute: each job runs in
// its quad's folder.
std::vector<std::string> JobArgumentsForQuadFolders(const BatchOptions& options)
{
    std::vector<std::string> arguments = options.jobArguments;
    for (size_t i = 0; i + 1 < arguments.size(); ++i)
        if (arguments[i] == "--waypoints" || arguments[i] == "--cache") {
            std::error_code ignored;
            arguments[i + 1] = std::filesystem::absolute(arguments[i + 1], ignored).string();
            ++i;
        }
    return arguments;
}

bool RegionQuads(const BatchOptions& options, double size, std::vector<QuadCorner>& quads)
{
    std::string error;
    if (!options.quadsFile.empty()) {
        if (ReadQuadsFile(options.quadsFile, quads, error))
            return true;
        std::fprintf(stderr, "terrafetch-batch: %s\n", error.c_str());
        return false;
    }
    const double count = CountQuadsCoveringBox(*options.region, size);
    if (count > static_cast<double>(kMaxQuadsWithoutYes) && !options.yes) {
        std::fprintf(stderr,
                     "terrafetch-batch: the region makes %.0f quads of %g degrees, more than %zu; add --yes to run "
                     "it anyway.\n",
                     count, size, kMaxQuadsWithoutYes);
        return false;
    }
    quads = QuadsCoveringBox(*options.region, size);
    return true;
}

std::string ProgramPath()
{
    std::error_code error;
    const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
    return error ? std::string() : self.string();
}

// Only a texture other than the street map at 1200 rows is named, so that
// quads finished before there was a choice keep their fingerprint.
std::string TextureFingerprint(const JobFields& job, const LiveSourceSettings& sources)
{
    std::string text;
    if (job.textureKind != TextureKind::Map)
        text += StringPrintf("; texture=%s", TextureKindName(job.textureKind));
    if (job.textureHeight != kTextureHeights[0])
        text += StringPrintf("; texture-height=%d", job.textureHeight);
    if (UsesImagery(job.textureKind) && sources.live)
        text += "; imagery=" + sources.imageryUrl;
    return text;
}

} // namespace

std::string QuadOptionsFingerprint(const BatchOptions& options, const JobFields& job,
                                   const LiveSourceSettings& sources)
{
    return StringPrintf("size=%g; substitute-z0=%s; keep-intermediates=%s; names-from-coordinates=%s; "
                        "route=%s; line-thickness=%d; z-scale=%g; align-to-grid=%s; export=%s; sources=%s%s",
                        job.quadSize, YesNo(job.substituteZ0).c_str(), YesNo(!job.removeIntermediateFiles).c_str(),
                        YesNo(job.namesFromCoordinates != 0).c_str(), RouteFingerprint(job).c_str(),
                        job.lineThickness, job.zScale, YesNo(job.alignQuadToGrid).c_str(), Exports(options).c_str(),
                        SourcesFingerprint(sources).c_str(), TextureFingerprint(job, sources).c_str());
}

int RunRegionCommand(const BatchOptions& options, const JobFields& job, const ServiceHosts& hosts,
                     const LiveSourceSettings& sources, const volatile std::sig_atomic_t& interrupted)
{
    if (job.scannerMode) {
        std::fprintf(stderr, "terrafetch-batch: a region run takes its quads from --region or --quads; unset "
                             "tfcScanner, which asks for scanner mode.\n");
        return 2;
    }
    RegionRunOptions run;
    if (!RegionQuads(options, job.quadSize, run.quads))
        return 2;
    run.size = job.quadSize;
    run.shard = options.shard.value_or(Shard{});
    run.jobs = options.jobs.value_or(DefaultRegionJobs(job.quadSize));
    run.redo = options.redo;
    run.options = QuadOptionsFingerprint(options, job, sources);
    run.program = ProgramPath();
    run.jobArguments = JobArgumentsForQuadFolders(options);
    run.environment = {"TERRAFETCH_EXTRACT_HOST=" + hosts.extract, "TERRAFETCH_MAP_HOST=" + hosts.map,
                       "TERRAFETCH_GEOCODE_HOST=" + hosts.geocode};
    run.mosaic = HasGeoTiffExport(options);
    run.terminal = ::isatty(STDOUT_FILENO) == 1;
    if (run.program.empty()) {
        std::fprintf(stderr, "terrafetch-batch: this program's own path cannot be read from /proc/self/exe.\n");
        return 1;
    }
    const size_t share = QuadsOfShard(run.quads, run.shard).size();
    std::printf("Region: %zu quads of %g degrees", run.quads.size(), run.size);
    if (run.shard.count > 1)
        std::printf(", %zu of them in shard %d/%d", share, run.shard.index, run.shard.count);
    std::printf("; %d job%s side by side; record \"%s\".\n", run.jobs, run.jobs == 1 ? "" : "s",
                RegionRecordName(run.shard).c_str());
    std::fflush(stdout);
    return RunRegion(run, interrupted, stdout);
}

#include "job/RunJob.h"

#include "core/AllocatorTuning.h"
#include "core/JobWindow.h"
#include "core/QuadGeometry.h"
#include "core/StringPrintf.h"
#include "http/CHTTPRequest.h"
#include "job/DeleteFolderTree.h"
#include "job/ElevationOrder.h"
#include "job/FlightParameterFile.h"
#include "job/InterruptedJobFiles.h"
#include "job/JobFileNames.h"
#include "job/JobParameters.h"
#include "job/JobResult.h"
#include "job/ServiceHosts.h"
#include "job/TextureStages.h"
#include "job/UnpackArchive.h"
#include "raster/BilToTga.h"
#include "raster/ImageCache.h"
#include "raster/RelaxNoData.h"

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace {

void LockControlsForOrder(JobWindow& window)
{
    window.EnableControl(JobControl::Close, false);
    window.EnableControl(JobControl::Proceed, false);
    window.EnableControl(JobControl::WestEdge, false);
    window.EnableControl(JobControl::NorthEdge, false);
    window.EnableControl(JobControl::Cancel, true);
}

// Orders the elevation and waits for the archive; `archive` is its path.
int OrderElevation(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested,
                   std::string& archive)
{
    const std::string requestCode = MakeRequestCode();
    LockControlsForOrder(window);
    CHTTPRequest request(window, cancelRequested, ElevationProgressPhrases(), job.httpTimeout);
    request.setMaxFileSize(kMaxArchiveBytes);
    const int result = request.execute(ElevationOrderUrl(job.hosts.extract, job.quad, requestCode), "", false);
    window.EnableControl(JobControl::Close, true);
    archive = request.getFileName();
    return result;
}

int ImportElevation(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested,
                    const JobFileNames& names, const std::string& heightMap, RasterSize& raster, ImageCache& images)
{
    // The height map before its holes are filled is an intermediate too.
    if (job.substituteZ0 && job.removeIntermediateFiles)
        images.KeepInMemoryOnly(heightMap);
    int result =
        BilToTga(names.BilRaster(), names.BilHeader(), names.BilStatistics(), heightMap, window, raster, &images);
    if (result == 0 && job.substituteZ0)
        result = RelaxNoData(heightMap, 50, !job.removeIntermediateFiles, window, cancelRequested, &images);
    return result;
}

int WriteParameterFiles(JobWindow& window, const JobParameters& job, const JobFileNames& names,
                        const RasterSize& raster, const std::string& heightMap, const std::string& finalTexture,
                        std::string (&written)[2])
{
    FlightParameters values;
    values.textureWidth = TextureWidth(job.quad.top, job.quad.bottom, job.textureHeight);
    values.textureHeight = job.textureHeight;
    values.rasterColumns = raster.columns;
    values.rasterRows = raster.rows;
    values.zScale = job.zScale;
    values.heightMap = heightMap;
    values.finalTexture = finalTexture;
    const ResultFile files[] = {ResultFile::FirstParameterFile, ResultFile::SecondParameterFile};
    for (int flight = 1; flight <= 2; ++flight) {
        values.framePattern = names.FramePattern(flight);
        const std::string file = names.Result(files[flight - 1], job.namesFromCoordinates, job.quad.top,
                                              job.quad.left);
        if (WriteFlightParameterFile(file, flight, values, window) != 0) {
            window.AddToLog("Download failed. Please retry.");
            window.AttentionBlink();
            return 1;
        }
        written[flight - 1] = file;
    }
    return 0;
}

// Scanner mode: the quad a quarter degree east, the next one to run.
Quad NextQuadEast(JobWindow& window, const Quad& quad)
{
    Quad next = quad;
    next.left += 0.25;
    next.right += 0.25;
    window.AddToLog(StringPrintf("quadLeft = %0.6f, quadRight = %0.6f", next.left, next.right));
    return next;
}

// The memory a job's stages kept for each other lives as long as the job:
// when it ends, however it ends, the images they handed on go and the
// allocator returns what it holds free to the system.
class JobMemory {
public:
    JobMemory() { TuneAllocator(); }
    ~JobMemory()
    {
        images.reset();
        ReturnFreedMemory();
    }
    JobMemory(const JobMemory&) = delete;
    JobMemory& operator=(const JobMemory&) = delete;

    std::unique_ptr<ImageCache> images = std::make_unique<ImageCache>();
};

std::string Absolute(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::absolute(path, ignored).lexically_normal().string();
}

// Every file the job may make from here on, so that a kill leaves nothing
// for long: intermediates that the job would have removed, and the
// temporaries of its results.
void RecordJobFiles(InterruptedJobFiles& record, const JobParameters& job, const JobFileNames& names,
                    const std::string& archive)
{
    const auto result = [&](ResultFile file) {
        return Absolute(names.Result(file, job.namesFromCoordinates, job.quad.top, job.quad.left));
    };
    std::vector<std::string> intermediates;
    for (const std::string& path : {archive, names.ExtractionFolder(), names.TileGif(), names.TileTga(),
                                    names.TileReprojected(), names.MapTexture(), names.ElevationColoring(),
                                    names.ElevationColoring() + ".stretched.tga", names.ImageryTexture()})
        intermediates.push_back(Absolute(path));
    std::vector<std::string> results{result(ResultFile::HeightMap), result(ResultFile::WaypointTexture),
                                     result(ResultFile::FirstParameterFile), result(ResultFile::SecondParameterFile)};
    // With a route the plain texture is an intermediate too.
    (!job.waypoints.empty() ? intermediates : results).push_back(result(ResultFile::CombinedTexture));
    if (!job.removeIntermediateFiles) {
        results.insert(results.end(), intermediates.begin(), intermediates.end());
        intermediates.clear();
    }
    record.Record(intermediates, results);
}

int Fail(JobWindow& window, int result)
{
    window.ShowFailureIndication();
    return result;
}

} // namespace

int RunJob(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested, JobResult* jobResult)
{
    const JobMemory memory;

    // The parameter files name the results by their full paths; a folder
    // they cannot hold fails the job before anything is fetched or written.
    std::error_code noFolder;
    const std::string folder = std::filesystem::current_path(noFolder).string();
    if (const std::string why = WhyPathUnfitForParameterFile(folder); !why.empty()) {
        window.AddToLog(StringPrintf("Error: The job folder \"%s\" cannot be named in the flight parameter files: %s. "
                                     "Run the job in another folder.",
                                     folder.c_str(), why.c_str()));
        return Fail(window, 1);
    }
    InterruptedJobFiles::RemoveLeftovers(folder, window);
    InterruptedJobFiles record(folder);

    std::string archive;
    int result = OrderElevation(window, job, cancelRequested, archive);
    if (result != 0)
        return Fail(window, result);
    RecordJobFiles(record, job, JobFileNames(archive), archive);
    if (UnpackArchive(archive, window) != 0)
        return Fail(window, 1);
    // The download and the unpacking leave free space in the heap that the
    // images, mapped on their own, cannot use: it goes back before they come.
    ReturnFreedMemory();

    const JobFileNames names(archive);
    const std::string heightMap = names.Result(ResultFile::HeightMap, job.namesFromCoordinates, job.quad.top,
                                               job.quad.left);
    RasterSize raster;
    result = ImportElevation(window, job, cancelRequested, names, heightMap, raster, *memory.images);
    if (result != 0)
        return Fail(window, result);
    if (job.removeIntermediateFiles) {
        DeleteFolderTree(names.ExtractionFolder(), window);
        std::remove(archive.c_str());
    }

    std::string finalTexture;
    result = RunTextureStages(window, job, cancelRequested, names, heightMap, *memory.images, finalTexture);
    if (result != 0)
        return Fail(window, result);
    std::string parameterFiles[2];
    if (WriteParameterFiles(window, job, names, raster, heightMap, finalTexture, parameterFiles) != 0)
        return 1;

    window.AddToLog("Download successfully finished.");
    std::optional<Quad> nextQuad;
    if (job.scannerMode)
        nextQuad = NextQuadEast(window, job.quad);
    if (jobResult)
        *jobResult = JobResult{job.quad,        heightMap, finalTexture, parameterFiles[0], parameterFiles[1],
                               raster.rows, raster.columns, nextQuad};
    window.EnableControl(JobControl::Proceed, true);
    window.EnableControl(JobControl::WestEdge, true);
    window.EnableControl(JobControl::NorthEdge, true);
    return 0;
}

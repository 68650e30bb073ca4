#include "job/RunJob.h"

#include "core/AllocatorTuning.h"
#include "core/FlightParameterFile.h"
#include "core/JobFields.h"
#include "core/JobFileNames.h"
#include "core/JobWindow.h"
#include "core/QuadGeometry.h"
#include "core/StringPrintf.h"
#include "http/CHTTPRequest.h"
#include "job/DeleteFolderTree.h"
#include "job/ElevationOrder.h"
#include "job/InterruptedJobFiles.h"
#include "job/JobResult.h"
#include "job/ServiceHosts.h"
#include "job/TextureStages.h"
#include "job/UnpackArchive.h"
#include "raster/BilToTga.h"
#include "raster/ImageCache.h"
#include "raster/RelaxNoData.h"

#include <cstdio>
#include <filesystem>
#include <vector>

namespace {

void LockControlsForOrder(JobWindow& window, JobFields& job)
{
    window.EnableControl(JobControl::Close, false);
    window.EnableControl(JobControl::Proceed, false);
    window.EnableControl(JobControl::WestEdge, false);
    window.EnableControl(JobControl::NorthEdge, false);
    job.controlsUnlocked = false;
    window.EnableControl(JobControl::Cancel, true);
}

// Orders the elevation and waits for the archive; `archive` is its path.
int OrderElevation(JobWindow& window, JobFields& job, const Quad& quad, const std::string& host,
                   std::string& archive)
{
    const std::string requestCode = MakeRequestCode();
    LockControlsForOrder(window, job);
    CHTTPRequest request(window, job.cancelRequested, ElevationProgressPhrases(), job.httpTimeout);
    request.setMaxFileSize(kMaxArchiveBytes);
    const int result = request.execute(ElevationOrderUrl(host, quad, requestCode), "", false);
    window.EnableControl(JobControl::Close, true);
    job.controlsUnlocked = true;
    archive = request.getFileName();
    return result;
}

int ImportElevation(JobWindow& window, JobFields& job, const JobFileNames& names, const std::string& heightMap)
{
    job.rasterRows = 0;
    job.rasterColumns = 0;
    int result = BilToTga(names.BilRaster(), names.BilHeader(), names.BilStatistics(), heightMap, window, job);
    if (result == 0 && job.substituteZ0)
        result = RelaxNoData(heightMap, 50, window, job);
    return result;
}

int WriteParameterFiles(JobWindow& window, JobFields& job, const Quad& quad, const JobFileNames& names,
                        const std::string& heightMap, const std::string& finalTexture, std::string (&written)[2])
{
    FlightParameters values;
    values.textureWidth = TextureWidth(quad.top, quad.bottom);
    values.textureHeight = kTextureHeight;
    values.rasterColumns = job.rasterColumns;
    values.rasterRows = job.rasterRows;
    values.zScale = job.zScale;
    values.heightMap = heightMap;
    values.finalTexture = finalTexture;
    const ResultFile files[] = {ResultFile::FirstParameterFile, ResultFile::SecondParameterFile};
    for (int flight = 1; flight <= 2; ++flight) {
        values.framePattern = names.FramePattern(flight);
        const std::string file = names.Result(files[flight - 1], job.namesFromCoordinates != 0, job.quadTop,
                                              job.quadLeft);
        if (WriteFlightParameterFile(file, flight, values, window) != 0) {
            window.AddToLog("Download failed. Please retry.");
            window.AttentionBlink();
            return 1;
        }
        written[flight - 1] = file;
    }
    return 0;
}

void MoveQuadEast(JobWindow& window, JobFields& job)
{
    job.quadLeft = job.quadLeft + 0.25;
    job.quadRight = job.quadRight + 0.25;
    window.RefreshCoordinates();
    window.AddToLog(StringPrintf("quadLeft = %0.6f, quadRight = %0.6f", job.quadLeft.load(), job.quadRight.load()));
}

// The memory a job's stages kept for each other lives as long as the job:
// when it ends, however it ends, the kept images go and the allocator
// returns what it holds free to the system.
class JobMemory {
public:
    JobMemory() { TuneAllocator(); }
    ~JobMemory()
    {
        ImageCache::Clear();
        ReturnFreedMemory();
    }
    JobMemory(const JobMemory&) = delete;
    JobMemory& operator=(const JobMemory&) = delete;
};

std::string Absolute(const std::string& path)
{
    std::error_code ignored;
    return std::filesystem::absolute(path, ignored).lexically_normal().string();
}

// Every file the job may make from here on, so that a kill leaves nothing
// for long: intermediates that the job would have removed, and the
// temporaries of its results.
void RecordJobFiles(InterruptedJobFiles& record, const JobFields& job, const JobFileNames& names,
                    const std::string& archive)
{
    const bool fromCoordinates = job.namesFromCoordinates != 0;
    const auto result = [&](ResultFile file) {
        return Absolute(names.Result(file, fromCoordinates, job.quadTop, job.quadLeft));
    };
    std::vector<std::string> intermediates;
    for (const std::string& path : {archive, names.ExtractionFolder(), names.TileGif(), names.TileTga(),
                                    names.TileReprojected(), names.MapTexture(), names.ElevationColoring(),
                                    names.ElevationColoring() + ".stretched.tga"})
        intermediates.push_back(Absolute(path));
    std::vector<std::string> results{result(ResultFile::HeightMap), result(ResultFile::WaypointTexture),
                                     result(ResultFile::FirstParameterFile), result(ResultFile::SecondParameterFile)};
    // With a route the plain texture is an intermediate too.
    (job.useWaypoints != 0 ? intermediates : results).push_back(result(ResultFile::CombinedTexture));
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

int RunJob(JobWindow& window, JobFields& job, const ServiceHosts& hosts, JobResult* jobResult)
{
    const JobMemory memory;
    const Quad quad{job.quadLeft, job.quadRight, job.quadTop, job.quadBottom};

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
    int result = OrderElevation(window, job, quad, hosts.extract, archive);
    if (result != 0)
        return Fail(window, result);
    RecordJobFiles(record, job, JobFileNames(archive), archive);
    if (UnpackArchive(archive, window) != 0)
        return Fail(window, 1);
    // The download and the unpacking leave free space in the heap that the
    // images, mapped on their own, cannot use: it goes back before they come.
    ReturnFreedMemory();

    const JobFileNames names(archive);
    const std::string heightMap = names.Result(ResultFile::HeightMap, job.namesFromCoordinates != 0, job.quadTop,
                                               job.quadLeft);
    result = ImportElevation(window, job, names, heightMap);
    if (result != 0)
        return Fail(window, result);
    if (job.removeIntermediateFiles) {
        DeleteFolderTree(names.ExtractionFolder(), window);
        std::remove(archive.c_str());
    }

    std::string finalTexture;
    result = RunTextureStages(window, job, quad, names, heightMap, hosts.map, finalTexture);
    if (result != 0)
        return Fail(window, result);
    std::string parameterFiles[2];
    if (WriteParameterFiles(window, job, quad, names, heightMap, finalTexture, parameterFiles) != 0)
        return 1;
    if (jobResult)
        *jobResult = JobResult{quad, heightMap, finalTexture, parameterFiles[0], parameterFiles[1]};

    window.AddToLog("Download successfully finished.");
    if (job.scannerMode)
        MoveQuadEast(window, job);
    window.EnableControl(JobControl::Proceed, true);
    window.EnableControl(JobControl::WestEdge, true);
    window.EnableControl(JobControl::NorthEdge, true);
    return 0;
}

#include "region/RegionRun.h"

#include "core/StringPrintf.h"
#include "export/ExportFileNames.h"
#include "export/RegionMosaic.h"
#include "region/HeightMapVoids.h"
#include "region/QuadMarker.h"
#include "region/QuadProcess.h"
#include "region/RegionProgress.h"
#include "region/RegionRecord.h"

#include <algorithm>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <sstream>
#include <sys/file.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

struct PlannedQuad {
    QuadCorner corner;
    std::string folder;
    QuadCheck check;
};

struct Plan {
    std::vector<PlannedQuad> toRun;
    std::vector<PlannedQuad> finished;
    std::vector<PlannedQuad> otherOptions;  // finished with options that differ
};

std::vector<PlannedQuad> CheckedQuads(const std::vector<QuadCorner>& quads, int decimals)
{
    std::vector<PlannedQuad> checked;
    for (const QuadCorner& corner : quads) {
        const std::string folder = QuadFolderName(corner, decimals);
        checked.push_back({corner, folder, CheckQuad(folder)});
    }
    return checked;
}

Plan MakePlan(const std::vector<PlannedQuad>& quads, const RegionRunOptions& options)
{
    Plan plan;
    for (const PlannedQuad& quad : quads) {
        if (quad.check.state != QuadState::kFinished)
            plan.toRun.push_back(quad);
        else if (quad.check.marker.options == options.options)
            plan.finished.push_back(quad);
        else if (options.redo)
            plan.toRun.push_back(quad);
        else
            plan.otherOptions.push_back(quad);
    }
    return plan;
}

// The options of a fingerprint, "name=value; name=value", by name.
std::map<std::string, std::string> OptionsByName(const std::string& fingerprint)
{
    std::map<std::string, std::string> byName;
    std::istringstream parts(fingerprint);
    std::string part;
    while (std::getline(parts, part, ';')) {
        const size_t start = part.find_first_not_of(' ');
        const size_t equals = part.find('=');
        if (start != std::string::npos && equals != std::string::npos && equals > start)
            byName[part.substr(start, equals - start)] = part.substr(equals + 1);
    }
    return byName;
}

std::string OptionDifferences(const std::string& then, const std::string& now)
{
    const auto before = OptionsByName(then);
    const auto after = OptionsByName(now);
    std::string differences;
    for (const auto& [name, value] : after) {
        const auto found = before.find(name);
        const std::string old = found == before.end() ? "(not set)" : found->second;
        if (old != value)
            differences += (differences.empty() ? "" : ", ") + name + " " + old + " then, " + value + " now";
    }
    return differences.empty() ? "options that differ" : differences;
}

void ReportOtherOptions(const Plan& plan, const RegionRunOptions& options)
{
    const PlannedQuad& first = plan.otherOptions.front();
    std::fprintf(stderr,
                 "terrafetch-batch: %zu finished quad(s) of this region were made with other options "
                 "(%s: %s). Run with the options they were made with, or add --redo to make them again.\n",
                 plan.otherOptions.size(), first.folder.c_str(),
                 OptionDifferences(first.check.marker.options, options.options).c_str());
}

// Reads the record and, when lines are damaged, writes it again without
// them; the quads' own marks decide what is finished either way.
bool TidyRecord(const RegionRecord& record)
{
    std::vector<RecordEntry> entries;
    int damaged = 0;
    if (!record.Load(entries, damaged)) {
        std::fprintf(stderr, "terrafetch-batch: the record \"%s\" cannot be read; the quads' own files decide what is "
                          "finished.\n", record.Path().c_str());
        return true;
    }
    if (damaged == 0)
        return true;
    std::fprintf(stderr, "terrafetch-batch: the record \"%s\" had %d damaged line(s); they are dropped, and the quads' "
                      "own files decide what is finished.\n", record.Path().c_str(), damaged);
    std::string error;
    if (!record.Rewrite(entries, error)) {
        std::fprintf(stderr, "terrafetch-batch: %s\n", error.c_str());
        return false;
    }
    return true;
}

std::string LastLines(const std::string& path, size_t bytes)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        return {};
    const std::streamoff size = file.tellg();
    file.seekg(std::max<std::streamoff>(0, size - static_cast<std::streamoff>(bytes)));
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Why a job failed, in one line: the last error its log names.
std::string FailureCause(const std::string& folder, int exitStatus)
{
    if (exitStatus < 0)
        return StringPrintf("the job was ended by signal %d", -exitStatus);
    if (exitStatus == 126 || exitStatus == 127)
        return StringPrintf("the job could not be started in \"%s\" (exit %d)", folder.c_str(), exitStatus);
    std::istringstream lines(LastLines(folder + "/" + kQuadLogName, 16384));
    std::string line, lastError, lastLine, serviceReason;
    // A refused order's reason travels in a header the log shows after the error.
    const std::string reasonHeader = "X-Extract-Error: ";
    while (std::getline(lines, line)) {
        if (line.empty() || line == "Download failed. Please retry.")
            continue;
        lastLine = line;
        if (line.rfind("Error", 0) == 0 || line.rfind("terrafetch-batch:", 0) == 0) {
            lastError = line;
            serviceReason.clear();
        }
        if (const size_t at = line.find(reasonHeader); at != std::string::npos)
            serviceReason = line.substr(at + reasonHeader.size());
    }
    std::string said = !lastError.empty() ? lastError : lastLine;
    if (!serviceReason.empty())
        said += " (" + serviceReason + ")";
    return StringPrintf("exit %d: %s", exitStatus, said.empty() ? "the job said nothing" : said.substr(0, 300).c_str());
}

// Takes an exclusive lock on `path` for as long as it lives.
class FileLock {
public:
    explicit FileLock(const std::string& path) : descriptor_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644))
    {
        if (descriptor_ >= 0)
            ::flock(descriptor_, LOCK_EX);
    }
    ~FileLock()
    {
        if (descriptor_ >= 0)
            ::close(descriptor_);
    }
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    int descriptor_;
};

class RegionRunner {
public:
    RegionRunner(const RegionRunOptions& options, const volatile std::sig_atomic_t& interrupted, std::FILE* out)
        : options_(options), interrupted_(interrupted), out_(out), record_(RegionRecordName(options.shard))
    {
    }

    int Run();

private:
    struct Running {
        PlannedQuad quad;
        QuadProcess process;
        std::chrono::steady_clock::time_point start;
        bool interrupted = false;
    };

    void StartQuad(const PlannedQuad& quad);
    std::vector<const QuadProcess*> RunningProcesses() const;
    void EndQuad(const Running& running);
    void Fail(const PlannedQuad& quad, double seconds, int exitStatus, const std::string& cause);
    void Note(const RecordEntry& entry);
    bool WriteMosaic(int decimals);

    const RegionRunOptions& options_;
    const volatile std::sig_atomic_t& interrupted_;
    std::FILE* out_;
    RegionRecord record_;
    std::unique_ptr<RegionProgress> progress_;
    std::vector<Running> running_;
    bool recordFailed_ = false;
};

void RegionRunner::Note(const RecordEntry& entry)
{
    std::string error;
    if (!recordFailed_ && !record_.Append(entry, error)) {
        std::fprintf(stderr, "\nterrafetch-batch: %s; no more quads are started.\n", error.c_str());
        recordFailed_ = true;
    }
}

void RegionRunner::Fail(const PlannedQuad& quad, double seconds, int exitStatus, const std::string& cause)
{
    Note({quad.folder, "failed", exitStatus, seconds, RecordTimeNow(), 0, cause});
    progress_->QuadFailed(quad.folder, seconds, cause);
}

std::vector<const QuadProcess*> RegionRunner::RunningProcesses() const
{
    std::vector<const QuadProcess*> processes;
    for (const Running& running : running_)
        processes.push_back(&running.process);
    return processes;
}

void RegionRunner::StartQuad(const PlannedQuad& quad)
{
    std::error_code error;
    // A quad runs from an empty folder: nothing of an interrupted or failed
    // run, or of other options, is mixed into it.
    fs::remove_all(quad.folder, error);
    if (!error)
        fs::create_directories(quad.folder, error);
    if (error) {
        Fail(quad, 0, 1, "its folder cannot be made empty: " + error.message());
        return;
    }
    Note({quad.folder, "started", 0, 0, RecordTimeNow(), 0, ""});
    QuadLaunch launch{options_.program, options_.jobArguments, quad.folder, kQuadLogName, options_.environment};
    launch.arguments.insert(launch.arguments.end(), {"--west", StringPrintf("%.6f", quad.corner.west), "--north",
                                                     StringPrintf("%.6f", quad.corner.north)});
    std::string why;
    std::optional<QuadProcess> process = QuadProcess::Start(launch, why);
    if (!process) {
        Fail(quad, 0, 1, why);
        return;
    }
    running_.push_back({quad, std::move(*process), std::chrono::steady_clock::now()});
}

void RegionRunner::EndQuad(const Running& running)
{
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - running.start).count();
    const PlannedQuad& quad = running.quad;
    const int status = running.process.ExitStatus();
    if (status != 0) {
        Fail(quad, seconds, status, running.interrupted ? "interrupted" : FailureCause(quad.folder, status));
        return;
    }
    const std::string heightMap = FindHeightMap(quad.folder);
    const long long voids = heightMap.empty() ? -1 : CountHeightMapVoids(heightMap);
    std::string error;
    if (voids < 0) {
        Fail(quad, seconds, 0, "the job ended without a readable height map");
        return;
    }
    if (!MarkQuadFinished(quad.folder, options_.options, voids, error)) {
        Fail(quad, seconds, 0, error);
        return;
    }
    Note({quad.folder, "done", 0, seconds, RecordTimeNow(), voids, ""});
    progress_->QuadDone(quad.folder, seconds, voids);
}

bool RegionRunner::WriteMosaic(int decimals)
{
    // Shards finishing at once take turns, so the last one sees every quad.
    const FileLock lock(std::string(".") + kRegionMosaicName + ".lock");
    std::vector<std::string> sources;
    for (const PlannedQuad& quad : CheckedQuads(options_.quads, decimals)) {
        if (quad.check.state != QuadState::kFinished || quad.check.marker.options != options_.options)
            continue;
        const std::string heightMap = FindHeightMap(quad.folder);
        const std::string geoTiff = heightMap.empty() ? "" : ExportNamesFor(heightMap).geoTiff;
        std::error_code error;
        if (!geoTiff.empty() && fs::is_regular_file(geoTiff, error))
            sources.push_back(geoTiff);
    }
    std::string error;
    if (!WriteRegionMosaic(kRegionMosaicName, sources, error)) {
        std::fprintf(stderr, "terrafetch-batch: the mosaic \"%s\" was not written: %s.\n", kRegionMosaicName,
                     error.c_str());
        return false;
    }
    std::fprintf(out_, "Mosaic: \"%s\" of %zu of the region's %zu quads written.\n", kRegionMosaicName,
                 sources.size(), options_.quads.size());
    return true;
}

int RegionRunner::Run()
{
    const int decimals = QuadNameDecimals(options_.quads, options_.size);
    const Plan plan = MakePlan(CheckedQuads(QuadsOfShard(options_.quads, options_.shard), decimals), options_);
    if (!plan.otherOptions.empty()) {
        ReportOtherOptions(plan, options_);
        return 2;
    }
    if (!TidyRecord(record_))
        return 1;
    long long voidsBefore = 0;
    for (const PlannedQuad& quad : plan.finished)
        voidsBefore += quad.check.marker.voids;
    progress_ = std::make_unique<RegionProgress>(out_, options_.terminal, plan.toRun.size() + plan.finished.size(),
                                                 plan.finished.size());
    std::deque<PlannedQuad> pending(plan.toRun.begin(), plan.toRun.end());
    while (!pending.empty() || !running_.empty()) {
        const bool stopping = interrupted_ || recordFailed_;
        while (!stopping && !pending.empty() && static_cast<int>(running_.size()) < options_.jobs) {
            StartQuad(pending.front());
            pending.pop_front();
        }
        if (stopping)
            pending.clear();
        bool anEnd = false;
        for (auto it = running_.begin(); it != running_.end();) {
            if (interrupted_ && !it->interrupted) {
                it->process.Interrupt();
                it->interrupted = true;
            }
            if (it->process.Ended()) {
                EndQuad(*it);
                it = running_.erase(it);
                anEnd = true;
            } else {
                ++it;
            }
        }
        progress_->Tick();
        // A quad that ended makes room for the next at once.
        if (!anEnd && !running_.empty())
            WaitForAnEnd(RunningProcesses(), 250);
    }
    progress_->Summary(voidsBefore);
    const bool allFinished = progress_->Failed() == 0 && !interrupted_ && !recordFailed_;
    const bool mosaicWritten = !options_.mosaic || interrupted_ || WriteMosaic(decimals);
    return allFinished && mosaicWritten ? 0 : 1;
}

} // namespace

int RunRegion(const RegionRunOptions& options, const volatile std::sig_atomic_t& interrupted, std::FILE* out)
{
    return RegionRunner(options, interrupted, out).Run();
}

int DefaultRegionJobs(double quadSize)
{
    const long cores = ::sysconf(_SC_NPROCESSORS_ONLN);
    // A job of a 1° quad peaks near 100 MB; smaller quads take less, but
    // never count on less than 30 MB.
    const double bytesPerJob = std::max(30e6, 100e6 * quadSize * quadSize);
    double available = 0;
    std::ifstream info("/proc/meminfo");
    std::string name;
    double kilobytes = 0;
    while (info >> name >> kilobytes) {
        if (name == "MemAvailable:")
            available = kilobytes * 1024;
        info.ignore(64, '\n');
    }
    long jobs = cores > 0 ? cores : 1;
    if (available > 0)
        jobs = std::min<long>(jobs, static_cast<long>(available / bytesPerJob));
    return static_cast<int>(std::max<long>(1, jobs));
}

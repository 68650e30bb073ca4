#include "job/RunJob.h"

#include "core/JobFields.h"
#include "core/QuadGeometry.h"
#include "job/FlightParameterFile.h"
#include "job/JobFileNames.h"
#include "job/JobParameters.h"
#include "job/JobResult.h"
#include "job/JobWorker.h"
#include "job/ServiceHosts.h"
#include "raster/TGAFile.h"
#include "services/ReferenceServices.h"
#include "tests/http/LoopbackServer.h"
#include "tests/support/NoWaitServices.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <zip.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

namespace {

namespace fs = std::filesystem;

// Cancels the worker's job when a log line matches, so a cancel lands at a
// known point of the job.
class CancellingWindow : public RecordingWindow {
public:
    explicit CancellingWindow(std::function<bool(const std::string&)> when) : when_(std::move(when)) {}
    void AddToLog(const std::string& line) override
    {
        RecordingWindow::AddToLog(line);
        if (when_(line) && worker)
            worker->Cancel();
    }

    JobWorker* worker = nullptr;

private:
    std::function<bool(const std::string&)> when_;
};

std::set<std::string> FilesIn(const fs::path& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().filename() != "terraFetch.log")
            names.insert(entry.path().filename().string() + (entry.is_directory() ? "/" : ""));
    return names;
}

// Runs each job in a fresh current folder against the bundled services,
// started once with no waits.
class RunJobTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        services = &NoWaitServices();
        ASSERT_NE(services->Port(), 0) << services->Error();
    }

    void SetUp() override
    {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
            unsetenv(name);
        previous = fs::current_path();
        fs::current_path(folder.Path());
        hosts = {services->HostAndPort(), services->HostAndPort(), services->HostAndPort()};
        job.quadSize = 0.1;
        job.SetWestEdge(-99);
        job.SetNorthEdge(40);
    }
    void TearDown() override { fs::current_path(previous); }

    // The archive's base name, from the "Writing file" line of the download.
    std::string ArchiveBase(const RecordingWindow& log) const
    {
        for (const std::string& line : log.Lines())
            if (line.rfind("Writing file \"", 0) == 0 && line.find(".zip\"...") != std::string::npos)
                return SplitPath(line.substr(14, line.find('"', 14) - 14)).base;
        return {};
    }

    // Runs the job the fields describe, as the window starts one.
    int Run(JobWindow& on) { return RunJob(on, JobParametersFrom(job, hosts), cancelRequested, &made); }

    static ReferenceServices* services;
    TempDir folder;
    fs::path previous;
    ServiceHosts hosts;
    JobFields job;
    std::atomic<bool> cancelRequested{false};
    JobResult made;
    RecordingWindow window;
};

ReferenceServices* RunJobTest::services = nullptr;

TEST_F(RunJobTest, SuccessfulJobLeavesExactlyItsFourResultFiles)
{
    ASSERT_EQ(Run(window), 0);
    const std::string base = ArchiveBase(window);
    ASSERT_FALSE(base.empty());
    EXPECT_EQ(FilesIn(folder.Path()), (std::set<std::string>{base + "_el.tga", base + "_tx_c.tga", base + "_1.alp",
                                                             base + "_2.alp"}));
    EXPECT_EQ(window.Lines().back(), "Download successfully finished.");
    EXPECT_TRUE(window.HasLine("Elevation: synthetic terrain from the bundled services, not measured data; see "
                               "\"Real data\" in the README."))
        << "made-up terrain is said to be made up";
    EXPECT_EQ(window.ControlEnabled(JobControl::Proceed), true);
    EXPECT_EQ(window.ControlEnabled(JobControl::WestEdge), true);
    EXPECT_EQ(window.ControlEnabled(JobControl::Close), true);
    EXPECT_EQ(window.ControlEnabled(JobControl::Cancel), true) << "the worker disables Cancel, not the pipeline";
    EXPECT_TRUE(window.StatusHistory().empty()) << "success never changes the status picture";
    EXPECT_EQ(made.rasterColumns, 360);
    EXPECT_EQ(made.rasterRows, 360);
}

// Notes, for every "... written." line, whether the file it names is there.
class WrittenFileWatch : public RecordingWindow {
public:
    void AddToLog(const std::string& line) override
    {
        const size_t end = line.rfind("\" written.");
        const size_t start = line.find('"');
        if (end != std::string::npos && start < end) {
            const std::string path = line.substr(start + 1, end - start - 1);
            (fs::exists(path) ? onDisk : notOnDisk).insert(fs::path(path).filename().string());
        }
        RecordingWindow::AddToLog(line);
    }
    std::set<std::string> onDisk, notOnDisk;
};

// The log lines of a job with the order number taken out.
std::vector<std::string> LinesWithoutOrder(const RecordingWindow& log, const std::string& order)
{
    std::vector<std::string> lines;
    for (std::string line : log.Lines()) {
        for (size_t at = line.find(order); at != std::string::npos; at = line.find(order))
            line.replace(at, order.size(), "ORDER");
        if (line.find("Content-Length") == std::string::npos && line.find("Date:") == std::string::npos)
            lines.push_back(line);
    }
    return lines;
}

TEST_F(RunJobTest, IntermediatesThatAreRemovedAreNeverWrittenButTheirLinesStay)
{
    job.substituteZ0 = true;
    WrittenFileWatch removing;
    ASSERT_EQ(Run(removing), 0);
    const std::string base = ArchiveBase(removing);
    EXPECT_EQ(removing.notOnDisk, (std::set<std::string>{base + "_el.tga", base + "_tx_00.tga",
                                                         base + "_tx_r_00.tga", base + "_el_c.tga",
                                                         base + "_el_c.tga.stretched.tga"}))
        << "the height map before its holes are filled is an intermediate too";
    EXPECT_EQ(removing.onDisk, (std::set<std::string>{base + "_tx_r.tga", base + "_tx_c.tga"}));

    // The same job keeping its intermediates writes each of them, and logs
    // the same lines.
    for (const auto& entry : fs::directory_iterator(folder.Path()))
        fs::remove_all(entry.path());
    job.removeIntermediateFiles = false;
    WrittenFileWatch keeping;
    ASSERT_EQ(Run(keeping), 0);
    const std::string kept = ArchiveBase(keeping);
    EXPECT_TRUE(keeping.notOnDisk.empty());
    for (const char* tail : {"_tx_00.tga", "_tx_r_00.tga", "_el_c.tga", "_el_c.tga.stretched.tga", "_el.tga.rm"})
        EXPECT_TRUE(fs::exists(folder.File(kept + tail))) << tail;
    std::vector<std::string> removingLines = LinesWithoutOrder(removing, base);
    std::vector<std::string> keepingLines = LinesWithoutOrder(keeping, kept);
    EXPECT_EQ(removingLines, keepingLines);
}

TEST_F(RunJobTest, KeptIntermediatesAndHeightsEqualTheServedElevation)
{
    job.removeIntermediateFiles = false;
    ASSERT_EQ(Run(window), 0);
    const std::string b = ArchiveBase(window);
    EXPECT_EQ(FilesIn(folder.Path()),
              (std::set<std::string>{b + ".zip", b + "/", b + "_tx_00.gif", b + "_tx_00.tga", b + "_tx_r_00.tga",
                                     b + "_tx_r.tga", b + "_el_c.tga", b + "_el_c.tga.stretched.tga", b + "_el.tga",
                                     b + "_tx_c.tga", b + "_1.alp", b + "_2.alp"}));

    const std::string bil = ReadFileBytes(folder.File(b + "/" + b + ".bil"));
    ASSERT_EQ(bil.size(), 361u * 361 * 2);
    TGAFile heights;
    ASSERT_EQ(heights.Open(folder.File(b + "_el.tga")), 0);
    int mismatches = 0;
    for (int y = 0; y < 360; ++y)
        for (int x = 0; x < 360; ++x) {
            const size_t at = (static_cast<size_t>(360 - y) * 361 + x) * 2;
            int served = static_cast<int16_t>((static_cast<uint8_t>(bil[at]) << 8) | static_cast<uint8_t>(bil[at + 1]));
            if (served == -9999)
                served = 0;
            mismatches += heights.GetValue(x, y) != served;
        }
    EXPECT_EQ(mismatches, 0);
}

TEST_F(RunJobTest, TextureShowsTheColouringWhereTheMapIsWhiteAndTheMapElsewhere)
{
    job.removeIntermediateFiles = false;
    ASSERT_EQ(Run(window), 0);
    const std::string b = ArchiveBase(window);
    TGAFile map, coloring, combined;
    ASSERT_EQ(map.Open(folder.File(b + "_tx_r.tga")), 0);
    ASSERT_EQ(coloring.Open(folder.File(b + "_el_c.tga.stretched.tga")), 0);
    ASSERT_EQ(combined.Open(folder.File(b + "_tx_c.tga")), 0);
    const int width = TextureWidth(40, 39.9);
    ASSERT_EQ(combined.GetWidth(), width);
    ASSERT_EQ(combined.GetHeight(), 1200);
    int white = 0, whiteMatches = 0;
    for (int y = 0; y < 1200; y += 7)
        for (int x = 0; x < width; x += 5) {
            uint8_t m[3], c[3], out[3];
            map.GetPixel(x, y, m);
            coloring.GetPixel(x, y, c);
            combined.GetPixel(x, y, out);
            if (m[0] == 255 && m[1] == 255 && m[2] == 255) {
                ++white;
                whiteMatches += std::equal(c, c + 3, out);
            }
        }
    EXPECT_GT(white, 1000);
    EXPECT_EQ(whiteMatches, white);
}

TEST_F(RunJobTest, ParameterFilesNameTheResultsAndTheRasterSize)
{
    job.namesFromCoordinates = 1;
    ASSERT_EQ(Run(window), 0);
    const std::string b = ArchiveBase(window);
    const std::string first = folder.File("40.000000N99.000000W_1.alp");
    FlightParameters values;
    values.textureWidth = TextureWidth(40, 39.9);
    values.textureHeight = 1200;
    values.rasterColumns = 360;
    values.rasterRows = 360;
    values.zScale = 0.02;
    values.heightMap = folder.File("40.000000N99.000000W_el.tga");
    values.finalTexture = folder.File("40.000000N99.000000W_tx_c.tga");
    values.framePattern = folder.File(b + "_output_1_%04d.tga");
    EXPECT_EQ(ReadFileBytes(first), FlightParameterText(1, values));
    values.framePattern = folder.File(b + "_output_2_%04d.tga");
    EXPECT_EQ(ReadFileBytes(folder.File("40.000000N99.000000W_2.alp")), FlightParameterText(2, values));
}

TEST_F(RunJobTest, AJobRemovesWhatAKilledJobLeftAndNamesItsRouteLikeItsOtherResults)
{
    // The record of a job whose process is gone: its intermediates, a
    // half-written result, a whole result of an earlier name, and paths
    // that are not the folder's own to remove.
    const pid_t gone = fork();
    if (gone == 0)
        _exit(0);
    ASSERT_GT(gone, 0);
    waitpid(gone, nullptr, 0);
    TempDir outside;
    std::ofstream(outside.File("outside.tga")) << "x";
    for (const char* file : {"83412_el_c.tga", "83412_tx_00.gif", "83412_el.tga", "running.tga",
                             "40.000000N99.000000W_el.tga.partial"})
        std::ofstream(folder.File(file)) << "x";
    fs::create_directory(folder.Path() / "83412");
    std::ofstream(folder.File("83412/83412.bil")) << "x";
    fs::create_symlink(outside.File("outside.tga"), folder.Path() / "link.tga");
    std::ofstream(folder.File(".terrafetch-job-" + std::to_string(gone)))
        << "intermediate " << folder.File("83412_el_c.tga") << "\nintermediate " << folder.File("83412_tx_00.gif")
        << "\nintermediate " << folder.File("83412") << "\nintermediate " << folder.File("link.tga")
        << "\nintermediate " << outside.File("outside.tga") << "\nintermediate " << folder.File("../x/../outside.tga")
        << "\nresult " << folder.File("83412_el.tga") << "\nresult " << folder.File("40.000000N99.000000W_el.tga")
        << "\n";
    // A job still running in the folder keeps its files.
    const std::string running = ".terrafetch-job-" + std::to_string(getppid());
    std::ofstream(folder.File(running)) << "intermediate " << folder.File("running.tga") << "\n";

    job.namesFromCoordinates = 1;
    job.waypoints = {{39.95, -98.99, "start"}, {39.92, -98.91, "end"}};
    job.useWaypoints = 1;
    ASSERT_EQ(Run(window), 0);
    EXPECT_TRUE(window.HasLine("Removed 4 files that an interrupted job left in \"" + folder.Path().string() + "\"."));
    const std::string c = "40.000000N99.000000W";
    EXPECT_EQ(FilesIn(folder.Path()), (std::set<std::string>{c + "_el.tga", c + "_tx_cw.tga", c + "_1.alp", c + "_2.alp",
                                                              "83412_el.tga", "running.tga", running, "link.tga"}));
    EXPECT_TRUE(fs::exists(outside.File("outside.tga")));
    EXPECT_NE(ReadFileBytes(folder.File(c + "_1.alp")).find("TDateiname=" + folder.File(c + "_tx_cw.tga") + "\r\n"),
              std::string::npos);
}

TEST_F(RunJobTest, DefaultOneDegreeQuad)
{
    job.quadSize = 1.0;
    job.SetWestEdge(-99);
    job.SetNorthEdge(40);
    ASSERT_EQ(Run(window), 0);
    EXPECT_EQ(made.rasterColumns, 3600);
    EXPECT_EQ(made.rasterRows, 3600);
    const std::string b = ArchiveBase(window);
    const std::string first = ReadFileBytes(folder.File(b + "_1.alp"));
    const std::string second = ReadFileBytes(folder.File(b + "_2.alp"));
    for (const char* line : {"\r\nBeobXE=926.000000\r\n", "\r\nHDateiSkalaX=0.257222\r\n",
                             "\r\nHDateiSkalaY=0.333333\r\n", "\r\nHDateiSkalaZA=0.020000\r\n"})
        EXPECT_NE(first.find(line), std::string::npos) << line;
    EXPECT_NE(second.find("\r\nBeobXE=463.000000\r\nBeobYE=600.000000\r\n"), std::string::npos);
}

TEST_F(RunJobTest, WaypointsMakeTheRouteTextureTheFinalOneWhileTheyAreSwitchedOn)
{
    job.waypoints = {{39.95, -98.99, "start"}, {39.92, -98.91, "end"}};
    job.lineThickness = 4;
    // A list kept from before, with the route switched off: no route.
    job.useWaypoints = 0;
    ASSERT_EQ(Run(window), 0);
    std::string b = ArchiveBase(window);
    EXPECT_EQ(FilesIn(folder.Path()), (std::set<std::string>{b + "_el.tga", b + "_tx_c.tga", b + "_1.alp", b + "_2.alp"}));
    EXPECT_FALSE(window.HasLine("Adding Waypoints successful: \"" + folder.File(b + "_tx_cw.tga") + "\" written."));
    for (const std::string& file : FilesIn(folder.Path()))
        std::filesystem::remove(folder.File(file));

    job.useWaypoints = 1;
    RecordingWindow withRoute;
    ASSERT_EQ(Run(withRoute), 0);
    b = ArchiveBase(withRoute);
    EXPECT_EQ(FilesIn(folder.Path()),
              (std::set<std::string>{b + "_el.tga", b + "_tx_cw.tga", b + "_1.alp", b + "_2.alp"}));
    for (const char* file : {"_1.alp", "_2.alp"})
        EXPECT_NE(ReadFileBytes(folder.File(b + file)).find("TDateiname=" + folder.File(b + "_tx_cw.tga") + "\r\n"),
                  std::string::npos);
}

TEST_F(RunJobTest, AFolderTheParameterFilesCannotNameFailsBeforeAnythingIsFetched)
{
    const fs::path broken = folder.Path() / "two\nlines";
    fs::create_directory(broken);
    fs::current_path(broken);
    EXPECT_NE(Run(window), 0);
    EXPECT_TRUE(window.Lines().back().find("cannot be named in the flight parameter files: it holds a line break") !=
                std::string::npos)
        << window.Lines().back();
    EXPECT_TRUE(fs::is_empty(broken));
    EXPECT_FALSE(window.HasLine("Download successfully finished."));
    EXPECT_EQ(WhyPathUnfitForParameterFile("/tmp/a\rb"), "it holds a line break");
    EXPECT_EQ(WhyPathUnfitForParameterFile("/tmp/plain folder=1;x"), "");
}

TEST_F(RunJobTest, ScannerModeMovesEastOnlyAfterSuccess)
{
    job.scannerMode = true;
    ASSERT_EQ(Run(window), 0);
    ASSERT_TRUE(made.nextQuad);
    EXPECT_EQ(made.nextQuad->left, -98.75);
    EXPECT_DOUBLE_EQ(made.nextQuad->right, -98.65);
    EXPECT_EQ(made.quad.left, -99.0) << "the quad the job ran for";
    EXPECT_EQ(window.Lines().back(), "quadLeft = -98.750000, quadRight = -98.650000");

    hosts.map = "127.0.0.1:1";  // nothing listens there
    RecordingWindow failing;
    made = JobResult{};
    EXPECT_NE(Run(failing), 0);
    EXPECT_FALSE(made.nextQuad);
}

TEST_F(RunJobTest, SubstituteZ0FillsTheHolesOnlyWhenAsked)
{
    ASSERT_EQ(Run(window), 0);
    EXPECT_FALSE(window.HasLine("Substituting NODATA (z = 0) values via 2D relaxation."));
    job.substituteZ0 = true;
    RecordingWindow filling;
    ASSERT_EQ(Run(filling), 0);
    EXPECT_TRUE(filling.HasLine("Substituting NODATA (z = 0) values via 2D relaxation."));
}

TEST_F(RunJobTest, CancelEndsTheJobWhereverItIsSeen)
{
    const struct {
        const char* name;
        std::function<bool(const std::string&)> when;
        bool substitute;
        bool heightMapLeft;
    } cases[] = {
        {"status wait", [](const std::string& l) { return l.rfind("Waiting ", 0) == 0; }, false, false},
        {"archive download", [](const std::string& l) { return l.find(".zip\"...") != std::string::npos; }, false,
         false},
        {"relaxation", [](const std::string& l) { return l.rfind("Substituting NODATA", 0) == 0; }, true, true},
    };
    for (const auto& c : cases) {
        TempDir jobFolder;
        fs::current_path(jobFolder.Path());
        job.substituteZ0 = c.substitute;
        CancellingWindow cancelling(c.when);
        JobWorker worker(cancelling);
        cancelling.worker = &worker;
        std::atomic<int> result{-1};
        ASSERT_TRUE(worker.Start(JobParametersFrom(job, hosts), [&result](int code) { result = code; }));
        worker.Wait();
        EXPECT_EQ(result, 3) << c.name;
        EXPECT_TRUE(cancelling.HasLine("Download canceled by user.")) << c.name;
        EXPECT_EQ(cancelling.ControlEnabled(JobControl::Cancel), false) << c.name;
        EXPECT_EQ(cancelling.ControlEnabled(JobControl::Proceed), true) << c.name;
        EXPECT_EQ(cancelling.StatusHistory().back(), StatusIcon::Failure) << c.name;
        std::set<std::string> files = FilesIn(jobFolder.Path());
        const bool heightMap = std::any_of(files.begin(), files.end(),
                                           [](const std::string& f) { return f.find("_el.tga") != std::string::npos; });
        EXPECT_EQ(heightMap, c.heightMapLeft) << c.name;
        EXPECT_TRUE(std::none_of(files.begin(), files.end(),
                                 [](const std::string& f) { return f.find(".zip") != std::string::npos
                                                                   || f.find(".gif") != std::string::npos; }))
            << c.name << ": a cancelled download leaves no partial file";
    }
}

TEST_F(RunJobTest, CancelWhileTheRouteIsDrawnEndsTheJobAsACancel)
{
    job.waypoints = {{39.95, -98.99, "start"}, {39.92, -98.91, "end"}};
    job.useWaypoints = 1;
    CancellingWindow cancelling([](const std::string& l) { return l.rfind("Combining successful", 0) == 0; });
    JobWorker worker(cancelling);
    cancelling.worker = &worker;
    std::atomic<int> result{-1};
    ASSERT_TRUE(worker.Start(JobParametersFrom(job, hosts), [&result](int code) { result = code; }));
    worker.Wait();
    EXPECT_EQ(result, 3);
    EXPECT_TRUE(cancelling.HasLine("Adding Waypoints canceled by user."));
    EXPECT_FALSE(cancelling.HasLine("Download successfully finished."));
    EXPECT_EQ(cancelling.ControlEnabled(JobControl::Proceed), true);
    EXPECT_EQ(cancelling.StatusHistory().back(), StatusIcon::Failure);
    for (const std::string& file : FilesIn(folder.Path()))
        EXPECT_EQ(file.find("_tx_cw.tga"), std::string::npos) << file;
}

// A route of many zig-zags across the quad: long enough to draw for a while.
WaypointList LongRoute()
{
    WaypointList route;
    for (int i = 0; i < 20000; ++i)
        route.push_back({39.905 + 0.09 * ((i * 7919) % 1000) / 1000.0, -98.995 + 0.09 * (i % 997) / 997.0, ""});
    return route;
}

// Records when each log line came, from the first.
class TimedWindow : public RecordingWindow {
public:
    void AddToLog(const std::string& line) override
    {
        RecordingWindow::AddToLog(line);
        std::lock_guard lock(mutex_);
        times_.push_back(std::chrono::steady_clock::now());
    }
    std::vector<std::chrono::steady_clock::time_point> Times() const
    {
        std::lock_guard lock(mutex_);
        return times_;
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::chrono::steady_clock::time_point> times_;
};

TEST_F(RunJobTest, CancelAtTenMomentsSpreadOverAJobWithALongRouteNeverEndsInSuccess)
{
    job.waypoints = LongRoute();
    job.useWaypoints = 1;
    job.lineThickness = 16;
    TimedWindow reference;
    ASSERT_EQ(Run(reference), 0);
    const auto times = reference.Times();
    ASSERT_GT(times.size(), 10u);
    const auto length = times.back() - times.front();

    // Each moment is found again as the last log line before it, plus what
    // was left of the wait, at most half the way to the next line, so the
    // cancel lands in the same stage however fast the machine runs.
    for (int moment = 0; moment < 10; ++moment) {
        const auto at = times.front() + length * moment / 10;
        size_t line = 0;
        while (line + 1 < times.size() && times[line + 1] <= at)
            ++line;
        const auto rest = std::min(at - times[line], (times[line + 1] - times[line]) / 2);
        SCOPED_TRACE("moment " + std::to_string(moment) + ", after line " + std::to_string(line) + ": " +
                     reference.Lines()[line]);
        TempDir jobFolder;
        fs::current_path(jobFolder.Path());
        std::atomic<size_t> seen{0};
        CancellingWindow cancelling([&](const std::string&) { return seen++ == line && rest.count() == 0; });
        JobWorker worker(cancelling);
        cancelling.worker = &worker;
        std::atomic<int> result{-1};
        ASSERT_TRUE(worker.Start(JobParametersFrom(job, hosts), [&result](int code) { result = code; }));
        if (rest.count() > 0) {
            while (seen <= line && result == -1)
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
            std::this_thread::sleep_for(rest);
            worker.Cancel();
        }
        worker.Wait();
        EXPECT_EQ(result, 3);
        EXPECT_FALSE(cancelling.HasLine("Download successfully finished."));
        EXPECT_EQ(cancelling.StatusHistory().back(), StatusIcon::Failure);
        EXPECT_EQ(cancelling.ControlEnabled(JobControl::Proceed), true);
    }
}

TEST_F(RunJobTest, SecondStartWhileAJobRunsIsRefused)
{
    CancellingWindow slow([](const std::string&) { return false; });
    JobWorker worker(slow);
    ASSERT_TRUE(worker.Start(JobParametersFrom(job, hosts)));
    EXPECT_FALSE(worker.Start(JobParametersFrom(job, hosts)));
    worker.Wait();
    EXPECT_FALSE(worker.IsRunning());
}

TEST_F(RunJobTest, MapServerErrorLeavesTheHeightMapButNoRasterFiles)
{
    LoopbackServer failing([](HttpTestConnection& connection) {
        connection.Reply(500, "Content-Type: text/plain\r\n", "broken");
    });
    hosts.map = "127.0.0.1:" + std::to_string(failing.Port());
    EXPECT_EQ(Run(window), 5);
    EXPECT_TRUE(window.HasLine("Error processing HTTP request."));
    const std::string b = ArchiveBase(window);
    EXPECT_EQ(FilesIn(folder.Path()), std::set<std::string>{b + "_el.tga"});
    EXPECT_EQ(window.StatusHistory().back(), StatusIcon::Failure);
}

// An extract service that hands out one fixed archive at once.
LoopbackServer ServeArchive(const std::string& bytes)
{
    return LoopbackServer([bytes](HttpTestConnection& connection) {
        if (connection.Request().target.find("RequestStatus") != std::string::npos)
            connection.Reply(302, "Location: /archive/4711.zip\r\n", "");
        else
            connection.Reply(200, "Content-Type: application/zip\r\n", bytes);
    });
}

std::string ZipBytes(const std::vector<std::pair<std::string, std::string>>& members)
{
    TempDir dir;
    int error = 0;
    zip_t* archive = zip_open(dir.File("a.zip").c_str(), ZIP_CREATE, &error);
    for (const auto& [name, content] : members)
        zip_file_add(archive, name.c_str(), zip_source_buffer(archive, content.data(), content.size(), 0), 0);
    zip_close(archive);
    return ReadFileBytes(dir.File("a.zip"));
}

TEST_F(RunJobTest, DamagedArchiveOrRastersAtTopLevelFailTheJob)
{
    LoopbackServer damaged = ServeArchive("PK\x03\x04 this is no archive");
    hosts.extract = "127.0.0.1:" + std::to_string(damaged.Port());
    EXPECT_EQ(Run(window), 1);
    EXPECT_EQ(window.StatusHistory().back(), StatusIcon::Failure);

    LoopbackServer topLevel = ServeArchive(ZipBytes({{"4711.bil", std::string(8, '\0')},
                                                     {"4711.hdr", "NROWS 2\nNCOLS 2\nNBITS 16\n"},
                                                     {"4711.stx", "1 0 0 0 0\n"}}));
    hosts.extract = "127.0.0.1:" + std::to_string(topLevel.Port());
    RecordingWindow second;
    EXPECT_EQ(Run(second), 1);
    EXPECT_EQ(second.Lines().back(), "Error in BilToTga(): Could not open \"" + folder.File("4711/4711.hdr") + "\".");
}

TEST_F(RunJobTest, UnwritableSecondParameterFileEndsTheJobWithAttention)
{
    job.namesFromCoordinates = 1;
    fs::create_directory(folder.Path() / "40.000000N99.000000W_2.alp");
    EXPECT_EQ(Run(window), 1);
    const std::vector<std::string> lines = window.Lines();
    const std::string second = folder.File("40.000000N99.000000W_2.alp");
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3], "Result file written: \"" + folder.File("40.000000N99.000000W_1.alp") + "\".");
    EXPECT_EQ(lines[lines.size() - 2], "Could not write ALP file \"" + second + "\".");
    EXPECT_EQ(lines.back(), "Download failed. Please retry.");
    EXPECT_EQ(window.StatusHistory(), (std::vector<StatusIcon>{StatusIcon::Failure, StatusIcon::Ok}));
    EXPECT_EQ(window.ControlEnabled(JobControl::Proceed), false) << "stays disabled after the attention blink";
}

} // namespace

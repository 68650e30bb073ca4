#include "tests/support/NoWaitServices.h"
#include "tests/support/TempDir.h"

#include <gdal.h>
#include <pty.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <thread>

namespace {

namespace fs = std::filesystem;

// The 2 × 2 region of 0.05° quads at the north-west corner of N39W099.
constexpr const char* kRegion = "--region -99,39.9,-98.9,40 --size 0.05 --names-from-coordinates";
const std::vector<std::string> kRegionQuads{"N40.00W099.00", "N40.00W098.95", "N39.95W099.00", "N39.95W098.95"};

// The batch program with every service at this test's bundled services.
std::string Program()
{
    const std::string host = NoWaitServices().HostAndPort();
    return "env -u tfcScanner TERRAFETCH_EXTRACT_HOST=" + host + " TERRAFETCH_MAP_HOST=" + host +
           " TERRAFETCH_GEOCODE_HOST=" + host + " \"" TERRAFETCH_BATCH_PROGRAM "\"";
}

struct BatchRun {
    int status = -1;
    std::string out;
    std::string errors;
};

BatchRun RunIn(const TempDir& folder, const std::string& arguments)
{
    const std::string command = "cd \"" + folder.Path().string() + "\" && " + Program() + " " + arguments +
                                " > out.txt 2> errors.txt";
    const int status = std::system(command.c_str());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFileBytes(folder.File("out.txt")),
            ReadFileBytes(folder.File("errors.txt"))};
}

std::string HeightMapOf(const fs::path& folder)
{
    for (const auto& entry : fs::directory_iterator(folder))
        if (entry.path().string().ends_with("_el.tga"))
            return entry.path().string();
    return {};
}

std::set<std::string> QuadFolders(const TempDir& folder)
{
    std::set<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder.Path()))
        if (entry.is_directory())
            names.insert(entry.path().filename().string());
    return names;
}

// When a file was last written, to the nanosecond.
long long WrittenAt(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0)
        return -1;
    return status.st_mtim.tv_sec * 1000000000LL + status.st_mtim.tv_nsec;
}

bool WaitFor(const std::string& path, std::chrono::seconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!fs::exists(path)) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Whether a process still works in a folder under `folder`.
bool AProcessWorksUnder(const fs::path& folder)
{
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator("/proc", ignored)) {
        const fs::path cwd = fs::read_symlink(entry.path() / "cwd", ignored);
        if (!ignored && cwd.string().starts_with(folder.string() + "/"))
            return true;
    }
    return false;
}

size_t Count(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(BatchRegion, ARegionsQuadsEqualSingleJobsAndASecondRunOnlyReportsThem)
{
    ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    TempDir region;
    const BatchRun run = RunIn(region, std::string(kRegion) + " --jobs 2 --export geotiff");
    ASSERT_EQ(run.status, 0) << run.out << run.errors;
    EXPECT_EQ(run.errors, "");
    EXPECT_EQ(QuadFolders(region), std::set<std::string>(kRegionQuads.begin(), kRegionQuads.end()));
    EXPECT_EQ(Count(run.out, ": done in "), 4u) << run.out;  // not a terminal: a line per quad
    EXPECT_NE(run.out.find("  done         4\n"), std::string::npos) << run.out;
    EXPECT_EQ(Count(ReadFileBytes(region.File("region-record.tsv")), "\tdone\t0\t"), 4u);

    // Each quad's height map is the one a job of that quad alone makes.
    const char* corners[] = {"--west -99 --north 40", "--west -98.95 --north 40", "--west -99 --north 39.95",
                             "--west -98.95 --north 39.95"};
    for (size_t i = 0; i < kRegionQuads.size(); ++i) {
        TempDir single;
        ASSERT_EQ(RunIn(single, std::string(corners[i]) + " --size 0.05 --names-from-coordinates").status, 0);
        const std::string quadMap = HeightMapOf(region.Path() / kRegionQuads[i]);
        ASSERT_FALSE(quadMap.empty()) << kRegionQuads[i];
        EXPECT_EQ(fs::path(quadMap).filename(), fs::path(HeightMapOf(single.Path())).filename());
        EXPECT_TRUE(ReadFileBytes(quadMap) == ReadFileBytes(HeightMapOf(single.Path()))) << kRegionQuads[i];
    }

    // The mosaic opens as one raster covering the box.
    GDALAllRegister();
    GDALDatasetH mosaic = GDALOpen(region.File("region.vrt").c_str(), GA_ReadOnly);
    ASSERT_NE(mosaic, nullptr) << run.out;
    double transform[6] = {};
    ASSERT_EQ(GDALGetGeoTransform(mosaic, transform), CE_None);
    const double west = transform[0], north = transform[3];
    const double east = west + transform[1] * GDALGetRasterXSize(mosaic);
    const double south = north + transform[5] * GDALGetRasterYSize(mosaic);
    GDALClose(mosaic);
    EXPECT_LE(west, -99 + 1e-6);
    EXPECT_GE(north, 40 - 1.0 / 3600);
    EXPECT_GE(east, -98.9 - 1.0 / 3600);
    EXPECT_LE(south, 39.9 + 1e-6);

    const long long written = WrittenAt(HeightMapOf(region.Path() / kRegionQuads[0]));
    const BatchRun again = RunIn(region, std::string(kRegion) + " --jobs 2 --export geotiff");
    EXPECT_EQ(again.status, 0) << again.out << again.errors;
    EXPECT_NE(again.out.find("  skipped      4 (finished before)"), std::string::npos) << again.out;
    EXPECT_EQ(Count(again.out, ": done in "), 0u);
    EXPECT_EQ(WrittenAt(HeightMapOf(region.Path() / kRegionQuads[0])), written);
}

TEST(BatchRegion, ARunKilledAtAnyMomentResumesToTheUninterruptedFiles)
{
    ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    TempDir whole, killed;
    ASSERT_EQ(RunIn(whole, std::string(kRegion) + " --jobs 1").status, 0);

    const std::string start = "(cd \"" + killed.Path().string() + "\" && exec " + Program() + " " + kRegion +
                              " --jobs 1 > out.txt 2>&1) & echo $! > \"" + killed.File("pid") + "\"";
    ASSERT_EQ(std::system(start.c_str()), 0);
    const std::string firstMark = killed.File(kRegionQuads[0] + "/quad-finished.txt");
    ASSERT_TRUE(WaitFor(firstMark, std::chrono::seconds(60)));
    const pid_t pid = std::stoi(ReadFileBytes(killed.File("pid")));
    ASSERT_EQ(::kill(pid, SIGKILL), 0);
    // The quad's job that was running goes with it.
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (AProcessWorksUnder(killed.Path()) && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_FALSE(AProcessWorksUnder(killed.Path()));
    const long long firstWritten = WrittenAt(HeightMapOf(killed.Path() / kRegionQuads[0]));

    const BatchRun resumed = RunIn(killed, std::string(kRegion) + " --jobs 1");
    ASSERT_EQ(resumed.status, 0) << resumed.out << resumed.errors;
    EXPECT_GE(Count(resumed.out, ": done in "), 1u) << resumed.out;
    EXPECT_EQ(WrittenAt(HeightMapOf(killed.Path() / kRegionQuads[0])), firstWritten);
    for (const std::string& quad : kRegionQuads) {
        const std::string mine = HeightMapOf(killed.Path() / quad);
        ASSERT_FALSE(mine.empty()) << quad;
        EXPECT_TRUE(ReadFileBytes(mine) == ReadFileBytes(HeightMapOf(whole.Path() / quad))) << quad;
        // Only the job's results, its log and the mark: nothing of the kill.
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(killed.Path() / quad))
            names.insert(entry.path().filename().string());
        names.erase("terraFetch.log");
        EXPECT_EQ(names.size(), 6u) << quad;
    }
}

TEST(BatchRegion, TwoShardsInOneFolderMakeTheRegionExactlyOnce)
{
    ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    TempDir region;
    std::string both;
    for (int k = 0; k < 2; ++k)
        both += "(cd \"" + region.Path().string() + "\" && " + Program() + " " + kRegion + " --jobs 1 --shard " +
                std::to_string(k) + "/2 > out" + std::to_string(k) + ".txt 2>&1; echo $? > status" +
                std::to_string(k) + ") & ";
    ASSERT_EQ(std::system((both + "wait").c_str()), 0);
    std::set<std::string> made;
    for (int k = 0; k < 2; ++k) {
        EXPECT_EQ(ReadFileBytes(region.File("status" + std::to_string(k))), "0\n")
            << ReadFileBytes(region.File("out" + std::to_string(k) + ".txt"));
        const std::string record =
            ReadFileBytes(region.File("region-record-shard-" + std::to_string(k) + "-of-2.tsv"));
        EXPECT_EQ(Count(record, "\tdone\t"), 2u) << record;
        for (size_t i = static_cast<size_t>(k); i < kRegionQuads.size(); i += 2) {
            EXPECT_NE(record.find(kRegionQuads[i] + "\tdone"), std::string::npos) << record;
            made.insert(kRegionQuads[i]);
        }
    }
    EXPECT_EQ(made.size(), 4u);
    EXPECT_EQ(QuadFolders(region), made);
}

TEST(BatchRegion, AFailingQuadIsRecordedWithItsCauseWhileTheOthersFinish)
{
    ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    TempDir region;
    WriteFileBytes(region.File("quads.txt"), "# one the service refuses: it reaches past 180 degrees\n"
                                             "179.99 40\n-99 40\n");
    const BatchRun run = RunIn(region, "--quads quads.txt --size 0.05");
    EXPECT_EQ(run.status, 1) << run.out;
    EXPECT_NE(run.out.find("failed: N40.00E179.99  exit"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("Longitudes must lie between -180 and 180"), std::string::npos) << run.out;
    EXPECT_TRUE(fs::exists(region.File("N40.00W099.00/quad-finished.txt")));
    EXPECT_FALSE(fs::exists(region.File("N40.00E179.99/quad-finished.txt")));
    const std::string record = ReadFileBytes(region.File("region-record.tsv"));
    EXPECT_NE(record.find("N40.00E179.99\tfailed\t"), std::string::npos) << record;
    EXPECT_NE(record.find("N40.00W099.00\tdone\t0\t"), std::string::npos) << record;
}

TEST(BatchRegion, FinishedQuadsAreCheckedNotTrustedAndOtherOptionsAreRefused)
{
    ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    TempDir region;
    const std::string twoQuads = "--region -99,39.95,-98.9,40 --size 0.05 --names-from-coordinates --jobs 1";
    ASSERT_EQ(RunIn(region, twoQuads).status, 0);

    // A damaged record and a quad whose height map was cut short.
    WriteFileBytes(region.File("region-record.tsv"), "N40.00W099.00\tdo\x01ne\nrubbish\n");
    const std::string cut = HeightMapOf(region.Path() / "N40.00W098.95");
    WriteFileBytes(cut, ReadFileBytes(cut).substr(0, 1000));
    const long long untouched = WrittenAt(HeightMapOf(region.Path() / "N40.00W099.00"));
    BatchRun run = RunIn(region, twoQuads);
    EXPECT_EQ(run.status, 0) << run.out << run.errors;
    EXPECT_NE(run.errors.find("had 2 damaged line(s)"), std::string::npos) << run.errors;
    EXPECT_NE(run.out.find("N40.00W098.95: done in"), std::string::npos) << run.out;
    EXPECT_NE(run.out.find("  skipped      1"), std::string::npos) << run.out;
    EXPECT_EQ(WrittenAt(HeightMapOf(region.Path() / "N40.00W099.00")), untouched);
    EXPECT_GT(ReadFileBytes(cut).size(), 1000u);

    // Another z scale would change every finished quad's parameter files.
    run = RunIn(region, twoQuads + " --z-scale 0.05");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.errors.find("z-scale 0.02 then, 0.05 now"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("--redo"), std::string::npos);
    EXPECT_EQ(WrittenAt(HeightMapOf(region.Path() / "N40.00W099.00")), untouched);
    run = RunIn(region, twoQuads + " --z-scale 0.05 --redo");
    EXPECT_EQ(run.status, 0) << run.out << run.errors;
    EXPECT_NE(run.out.find("  done         2"), std::string::npos) << run.out;
    EXPECT_EQ(RunIn(region, twoQuads + " --z-scale 0.05").status, 0);
}

TEST(BatchRegion, OnATerminalProgressIsOneLineRedrawnInPlace)
{
    ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    TempDir region;
    const std::string command = "cd \"" + region.Path().string() + "\" && exec " + Program() +
                                " --region -99,39.95,-98.95,40 --size 0.05";
    int terminal = -1;
    const pid_t pid = ::forkpty(&terminal, nullptr, nullptr, nullptr);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    std::string shown;
    char buffer[4096];
    for (ssize_t n; (n = ::read(terminal, buffer, sizeof buffer)) > 0;)
        shown.append(buffer, static_cast<size_t>(n));
    int status = 0;
    ::waitpid(pid, &status, 0);
    ::close(terminal);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << shown;
    EXPECT_NE(shown.find("\r\033[KRegion: 0 of 1 done, 0 failed"), std::string::npos) << shown;
    EXPECT_EQ(shown.find(": done in"), std::string::npos) << shown;
    EXPECT_NE(shown.find("Region summary"), std::string::npos) << shown;
}

TEST(BatchRegion, BadRegionArgumentsExitWithStatusTwoBeforeAnyJob)
{
    TempDir region;
    BatchRun run = RunIn(region, "--region -125,25,-65,50 --size 0.025");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.errors.find("2400000 quads"), std::string::npos) << run.errors;
    EXPECT_NE(run.errors.find("--yes"), std::string::npos);
    WriteFileBytes(region.File("quads.txt"), "-99 40\n-98.5 forty\n");
    run = RunIn(region, "--quads quads.txt");
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.errors.find("line 2"), std::string::npos) << run.errors;
    EXPECT_EQ(RunIn(region, "--region -99,39,-98,40 --shard 2/2").status, 2);
    EXPECT_EQ(RunIn(region, "--region -99,39,-98,40 --scan 3").status, 2);
    EXPECT_EQ(RunIn(region, "--jobs 2").status, 2);
    EXPECT_EQ(QuadFolders(region), std::set<std::string>{});
}

} // namespace

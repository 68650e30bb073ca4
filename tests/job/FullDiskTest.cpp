// Jobs in a small file system that fills up, or that turns read-only while
// the job runs: they must never report success, and no file under a final
// name may be left half-written.
#include "core/JobFields.h"
#include "job/JobParameters.h"
#include "job/RunJob.h"
#include "job/ServiceHosts.h"
#include "raster/TGAFile.h"
#include "tests/support/NoWaitServices.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <sys/mount.h>
#include <zip.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <functional>

namespace {

namespace fs = std::filesystem;

// A tmpfs of a given size mounted on a fresh folder for the object's
// lifetime; Mounted() is false where mounting is not permitted.
class SmallFileSystem {
public:
    explicit SmallFileSystem(const std::string& size) : options_("size=" + size)
    {
        mounted_ = ::mount("tmpfs", folder_.Path().c_str(), "tmpfs", 0, options_.c_str()) == 0;
        error_ = mounted_ ? "" : std::strerror(errno);
    }
    ~SmallFileSystem()
    {
        if (mounted_)
            ::umount2(folder_.Path().c_str(), MNT_DETACH);
    }
    bool Mounted() const { return mounted_; }
    const std::string& Error() const { return error_; }
    const fs::path& Path() const { return folder_.Path(); }
    bool MakeReadOnly()
    {
        return ::mount("tmpfs", folder_.Path().c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, options_.c_str()) == 0;
    }

private:
    TempDir folder_;
    std::string options_;
    bool mounted_ = false;
    std::string error_;
};

// Calls `act` once, at the first log line that `when` accepts.
class HookedWindow : public RecordingWindow {
public:
    HookedWindow(std::function<bool(const std::string&)> when, std::function<void()> act)
        : when_(std::move(when)), act_(std::move(act))
    {
    }
    void AddToLog(const std::string& line) override
    {
        RecordingWindow::AddToLog(line);
        if (!done_ && when_(line)) {
            done_ = true;
            act_();
        }
    }

private:
    std::function<bool(const std::string&)> when_;
    std::function<void()> act_;
    bool done_ = false;
};

// Every file left under a final name is whole: images open completely,
// archives open, and no download's side file remains.
void ExpectOnlyWholeFiles(const fs::path& folder, const std::string& label)
{
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (!entry.is_regular_file())
            continue;
        const std::string path = entry.path().string();
        const std::string extension = entry.path().extension().string();
        EXPECT_NE(extension, ".part") << label << ": " << path;
        if (extension == ".tga") {
            TGAFile image;
            EXPECT_EQ(image.Open(path), 0) << label << ": " << path;
        } else if (extension == ".zip") {
            int error = 0;
            zip_t* archive = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &error);
            EXPECT_NE(archive, nullptr) << label << ": " << path;
            if (archive)
                zip_discard(archive);
        } else if (extension == ".alp") {
            EXPECT_GT(entry.file_size(), 0u) << label << ": " << path;
        }
    }
}

class FullDisk : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"http_proxy", "HTTP_PROXY", "all_proxy", "ALL_PROXY"})
            unsetenv(name);
        ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
        const std::string host = NoWaitServices().HostAndPort();
        hosts = {host, host, host};
        previous = fs::current_path();
    }
    void TearDown() override { fs::current_path(previous); }

    int RunIn(SmallFileSystem& disk, RecordingWindow& window, bool keepIntermediates)
    {
        JobFields job;
        job.quadSize = 0.1;
        job.SetWestEdge(-99);
        job.SetNorthEdge(40);
        job.removeIntermediateFiles = !keepIntermediates;
        job.substituteZ0 = true;
        fs::current_path(disk.Path());
        const std::atomic<bool> neverCancelled{false};
        const int result = RunJob(window, JobParametersFrom(job, hosts), neverCancelled);
        fs::current_path(previous);
        return result;
    }

    ServiceHosts hosts;
    fs::path previous;
};

TEST_F(FullDisk, JobThatRunsOutOfSpaceNeverReportsSuccess)
{
    // From too small for the archive to just too small for the last files.
    int failures = 0;
    for (const char* size : {"64k", "512k", "1m", "4m", "8m", "12m", "16m", "20m", "64m"}) {
        for (const bool keep : {false, true}) {
            SmallFileSystem disk(size);
            if (!disk.Mounted())
                GTEST_SKIP() << "a tmpfs cannot be mounted here: " << disk.Error();
            RecordingWindow window;
            const std::string label = std::string(size) + (keep ? " keeping intermediates" : "");
            const int result = RunIn(disk, window, keep);
            EXPECT_EQ(result == 0, window.HasLine("Download successfully finished.")) << label;
            if (result != 0) {
                ++failures;
                EXPECT_FALSE(window.Lines().empty()) << label;
            }
            ExpectOnlyWholeFiles(disk.Path(), label);
        }
    }
    EXPECT_GE(failures, 8) << "the sizes should make most stages run out of space";
}

TEST_F(FullDisk, FolderThatTurnsReadOnlyEndsTheJobAtThatPoint)
{
    // Moments between stages, each just after a file has been finished.
    for (const char* moment : {"Writing file", "BIL import successful", "Relaxation", "GIF conversion successful",
                               "Stretching/shrinking successful", "Combining successful", "Result file written"}) {
        SmallFileSystem disk("256m");
        if (!disk.Mounted())
            GTEST_SKIP() << "a tmpfs cannot be mounted here: " << disk.Error();
        bool readOnly = false;
        HookedWindow window([&](const std::string& line) { return line.rfind(moment, 0) == 0; },
                            [&] { readOnly = disk.MakeReadOnly(); });
        EXPECT_NE(RunIn(disk, window, false), 0) << moment;
        EXPECT_TRUE(readOnly) << moment;
        EXPECT_FALSE(window.HasLine("Download successfully finished.")) << moment;
        ExpectOnlyWholeFiles(disk.Path(), moment);
    }
}

} // namespace

#include "tests/support/TempDir.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <string>

namespace {

// Runs terrafetch-batch in `folder` with a waypoint file and no reachable
// services; its exit status. A refused file must stop it before any job.
int RunWithWaypoints(const TempDir& folder, const std::string& waypoints)
{
    const std::string command = "cd \"" + folder.Path().string() +
                                "\" && TERRAFETCH_EXTRACT_HOST=127.0.0.1:9 TERRAFETCH_MAP_HOST=127.0.0.1:9 "
                                "timeout 20 \"" +
                                TERRAFETCH_BATCH_PROGRAM "\" --west -99 --north 40 --size 0.1 --waypoints \"" +
                                waypoints + "\" > log.txt 2> errors.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(BatchWaypoints, FilesThatAreNoRouteStopTheRunnerWithTheReadersMessage)
{
    TempDir folder;
    std::ofstream(folder.File("words.txt")) << "north west\n";
    std::ofstream(folder.File("kml.xml")) << "<kml><Placemark/></kml>\n";
    ASSERT_EQ(mkfifo(folder.File("route.fifo").c_str(), 0600), 0);
    const struct {
        std::string path, message;
    } cases[] = {
        {"/dev/zero", "terraFetch: Error: \"/dev/zero\" is not a regular file; a waypoint file must be one."},
        {folder.File("route.fifo"), "is not a regular file; a waypoint file must be one."},
        {folder.File("words.txt"), "does not begin with a latitude and a longitude"},
        {folder.File("kml.xml"), "is an XML document, but not GPX: its root element is <kml>."},
    };
    for (const auto& c : cases) {
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(RunWithWaypoints(folder, c.path), 1) << c.path;
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15)) << c.path;
        const std::string errors = ReadFileBytes(folder.File("errors.txt"));
        EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
        EXPECT_NE(errors.find("terrafetch-batch: --waypoints \"" + c.path + "\" was not read; no job was started.\n"),
                  std::string::npos)
            << errors;
        EXPECT_EQ(ReadFileBytes(folder.File("log.txt")).find("Download successfully finished."), std::string::npos);
    }
}

} // namespace

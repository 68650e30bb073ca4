#include "ConversionTestSupport.h"

#include "raster/AddWaypoints.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

namespace conversiontest {
namespace {

class AddWaypointsTest : public testing::Test {
protected:
    ScratchFolder folder;
    RecordingWindow log;
    const Rgb gray{90, 90, 90}, red{255, 0, 0};

    // 100 × 100 pixels over the quad 99°W to 98°W, 39°N to 40°N.
    TGAFile Draw(const WaypointList& route, int thickness)
    {
        WriteImage(folder.Path("in.tga"), 100, 100, [&](int, int) { return gray; });
        EXPECT_EQ(AddWaypoints(folder.Path("in.tga"), folder.Path("out.tga"), -99, 40, -98, 39, route, thickness, log),
                  0);
        TGAFile out;
        EXPECT_EQ(out.Open(folder.Path("out.tga")), 0);
        return out;
    }

    int RedPixelsInColumn(const TGAFile& image, int x)
    {
        int count = 0;
        for (int y = 0; y < image.GetHeight(); ++y)
            count += PixelOf(image, x, y) == red;
        return count;
    }
};

TEST_F(AddWaypointsTest, DrawsTheRouteNorthUp)
{
    // West to east along 39.75°N, then south to 39.25°N.
    const TGAFile out = Draw({{39.75, -98.75, ""}, {39.75, -98.25, ""}, {39.25, -98.25, ""}}, 1);
    EXPECT_EQ(PixelOf(out, 50, 75), red);  // y counts up from the south edge
    EXPECT_EQ(PixelOf(out, 50, 25), gray);
    EXPECT_EQ(PixelOf(out, 75, 50), red);
    EXPECT_EQ(PixelOf(out, 76, 50), gray);
    EXPECT_EQ(PixelOf(out, 5, 5), gray);
    EXPECT_EQ(RedPixelsInColumn(out, 50), 1);
    EXPECT_EQ(log.Lines().back(), "Adding Waypoints successful: \"" + folder.Path("out.tga") + "\" written.");
}

TEST_F(AddWaypointsTest, OneWaypointDrawsNothing)
{
    const TGAFile out = Draw({{39.5, -98.5, ""}}, 16);
    for (int y = 0; y < 100; ++y)
        for (int x = 0; x < 100; ++x)
            ASSERT_EQ(PixelOf(out, x, y), gray);
}

TEST_F(AddWaypointsTest, ThickLinesAndClipping)
{
    // A 16-pixel band along 39.5°N that starts and ends far outside the quad.
    const TGAFile out = Draw({{39.5, -100.0, ""}, {39.5, -97.0, ""}}, 16);
    for (int x : {0, 50, 99}) {
        const int count = RedPixelsInColumn(out, x);
        EXPECT_GE(count, 15) << x;
        EXPECT_LE(count, 17) << x;
    }
    EXPECT_EQ(PixelOf(out, 50, 50), red);
    EXPECT_EQ(PixelOf(out, 50, 30), gray);
}

TEST_F(AddWaypointsTest, FailuresLogTheirLine)
{
    EXPECT_EQ(AddWaypoints(folder.Path("none.tga"), folder.Path("out.tga"), -99, 40, -98, 39, {}, 1, log), 1);
    EXPECT_EQ(log.Lines().back(), "Error in AddWaypoints(): Could not open file \"" + folder.Path("none.tga") + "\".");
    WriteImage(folder.Path("in.tga"), 4, 4, [&](int, int) { return gray; });
    EXPECT_EQ(AddWaypoints(folder.Path("in.tga"), folder.Path("no/out.tga"), -99, 40, -98, 39, {}, 1, log), 3);
    EXPECT_EQ(log.Lines().back(), "Error in AddWaypoints(): Could not write file \"" + folder.Path("no/out.tga") + "\".");
    // A degenerate quad maps nothing; the copy is still written.
    EXPECT_EQ(AddWaypoints(folder.Path("in.tga"), folder.Path("out.tga"), -99, 40, -99, 40,
                           {{40, -99, ""}, {39, -98, ""}}, 1, log),
              0);
}

// A zigzag of `count` points over the quad 99°W to 98°W, 39°N to 40°N.
WaypointList Zigzag(size_t count)
{
    WaypointList route(count);
    for (size_t i = 0; i < count; ++i)
        route[i] = {39.05 + 0.9 * static_cast<double>(i % 97) / 97.0, -98.95 + 0.9 * static_cast<double>(i % 89) / 89.0,
                    ""};
    return route;
}

long PeakResidentKiB()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stol(line.substr(6));
    return 0;
}

TEST_F(AddWaypointsTest, LongThickRoutesDrawInBoundedTimeAndMemory)
{
    WriteImage(folder.Path("in.tga"), 1200, 1200, [&](int, int) { return gray; });
    const long before = PeakResidentKiB();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(AddWaypoints(folder.Path("in.tga"), folder.Path("out.tga"), -99, 40, -98, 39, Zigzag(300'000), 16,
                           log),
              0);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
    // The list is about 12 MB; the drawing may add little beyond it and the
    // images. AddressSanitizer's shadow memory and quarantine of freed blocks
    // take a multiple of that.
#if defined(__SANITIZE_ADDRESS__)
    constexpr long kAllowedKiB = 300L * 1024;
#else
    constexpr long kAllowedKiB = 100L * 1024;
#endif
    EXPECT_LT(PeakResidentKiB() - before, kAllowedKiB);
    TGAFile out;
    ASSERT_EQ(out.Open(folder.Path("out.tga")), 0);
    EXPECT_EQ(PixelOf(out, 600, 600), red);
    EXPECT_EQ(PixelOf(out, 5, 5), gray);
}

TEST_F(AddWaypointsTest, CancelStopsTheDrawingAndWritesNothing)
{
    WriteImage(folder.Path("in.tga"), 300, 300, [&](int, int) { return gray; });
    std::atomic<bool> cancel{true};
    EXPECT_EQ(AddWaypoints(folder.Path("in.tga"), folder.Path("out.tga"), -99, 40, -98, 39, Zigzag(100'000), 16, log,
                           &cancel),
              3);
    EXPECT_EQ(log.Lines().back(), "Adding Waypoints canceled by user.");
    EXPECT_FALSE(std::filesystem::exists(folder.Path("out.tga")));

    // Set while drawing: the stage ends soon after, not when the route is done.
    cancel = false;
    std::thread canceller([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        cancel = true;
    });
    const auto start = std::chrono::steady_clock::now();
    const int result = AddWaypoints(folder.Path("in.tga"), folder.Path("out.tga"), -99, 40, -98, 39,
                                    Zigzag(1'000'000), 16, log, &cancel);
    const auto took = std::chrono::steady_clock::now() - start;
    canceller.join();
    EXPECT_EQ(result, 3);
    EXPECT_LT(took, std::chrono::seconds(10));
    EXPECT_FALSE(std::filesystem::exists(folder.Path("out.tga")));
}

TEST_F(AddWaypointsTest, RoutesOutsideTheQuadAreClippedAndCounted)
{
    // Both points lie west and east of the quad; the line between them crosses it.
    const TGAFile out = Draw({{39.5, -100.0, ""}, {39.5, -97.0, ""}, {39.6, -98.5, ""}}, 1);
    EXPECT_EQ(PixelOf(out, 0, 50), red);
    EXPECT_TRUE(log.HasLine("Adding Waypoints: 1 of 3 waypoints lie inside the quad; the route is clipped at its "
                            "edges."));

    // Points off the earth are no route: the stage fails and writes nothing.
    WriteImage(folder.Path("in.tga"), 10, 10, [&](int, int) { return gray; });
    for (const Waypoint& off : {Waypoint{91, 0, ""}, Waypoint{0, -180.5, ""}, Waypoint{NAN, 0, ""}}) {
        std::filesystem::remove(folder.Path("bad.tga"));
        EXPECT_EQ(AddWaypoints(folder.Path("in.tga"), folder.Path("bad.tga"), -99, 40, -98, 39,
                               {{39.5, -98.5, ""}, off}, 1, log),
                  3);
        EXPECT_EQ(log.Lines().back(), "Error in AddWaypoints(): Waypoint 2 lies outside latitudes -90 to 90 and "
                                      "longitudes -180 to 180.");
        EXPECT_FALSE(std::filesystem::exists(folder.Path("bad.tga")));
    }
}

} // namespace
} // namespace conversiontest

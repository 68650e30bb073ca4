#include "ConversionTestSupport.h"

#include "core/JobFields.h"
#include "raster/AddWaypoints.h"
#include "raster/WaypointFile.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <fstream>

namespace conversiontest {
namespace {

TEST(WaypointFile, LinesBecomeWaypoints)
{
    struct Case {
        std::string line;
        bool data;
        double latitude, longitude;
        std::string comment;
    } cases[] = {
        {"40.5 -98.25 Home   base", true, 40.5, -98.25, "Home   base"},
        {"40.5\t-98.25", true, 40.5, -98.25, ""},
        {"40.5 -98.25 ", true, 40.5, -98.25, ""},
        {" \t 39 -99\t\t tab comment ", true, 39, -99, "tab comment "},
        {"north west", true, 0, 0, ""},
        {"  # note", true, 0, 0, ""},
        {"12.5abc 7x", true, 12.5, 7, ""},
        {"# 40 -98 a comment line", false, 0, 0, ""},
        {"", false, 0, 0, ""},
        {"   \t ", false, 0, 0, ""},
        {"40.5", false, 0, 0, ""},
    };
    for (const Case& c : cases) {
        Waypoint w;
        ASSERT_EQ(ParseWaypointLine(c.line, w), c.data) << c.line;
        if (!c.data)
            continue;
        EXPECT_EQ(w.latitude, c.latitude) << c.line;
        EXPECT_EQ(w.longitude, c.longitude) << c.line;
        EXPECT_EQ(w.comment, c.comment) << c.line;
    }
}

TEST(WaypointFile, ReadsFilesAndReportsProblemsInMessageBoxes)
{
    ScratchFolder folder;
    std::ofstream(folder.Path("route.txt"), std::ios::binary)
        << "# my route\r\n40.5 -98.25 Home   base\r\n\r\n39.25 -98.5\r\n" << std::string(1500, ' ') << "1 2";
    std::ofstream(folder.Path("empty.txt")) << "# only comments\n\n   \n";

    JobFields job;
    RecordingWindow window;
    EXPECT_FALSE(ReadWaypointFile(folder.Path("route.txt"), job, window));
    const WaypointList list = job.Waypoints();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].comment, "Home   base");
    EXPECT_EQ(list[1].latitude, 39.25);
    EXPECT_EQ(list[2].longitude, 2.0);  // a long line read in pieces; its last piece holds "1 2"
    EXPECT_TRUE(window.Messages().empty());

    EXPECT_TRUE(ReadWaypointFile(folder.Path("empty.txt"), job, window));
    EXPECT_TRUE(job.Waypoints().empty());
    EXPECT_TRUE(CheckWaypointFile(folder.Path("none.txt"), window));
    EXPECT_FALSE(CheckWaypointFile(folder.Path("route.txt"), window));
    EXPECT_EQ(window.Messages(), (std::vector<std::string>{
                                     "terraFetch: Error: No waypoints in the file\n\"" + folder.Path("empty.txt") +
                                         "\".\n\nExpected layout of a line:\n\nlatitude longitude [comment]",
                                     "terraFetch: Error: File \"" + folder.Path("none.txt") + "\" could not be opened.",
                                 }));
    EXPECT_EQ(window.MessageIcons(), (std::vector<MessageIcon>{MessageIcon::Error, MessageIcon::Error}));
}

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

} // namespace
} // namespace conversiontest

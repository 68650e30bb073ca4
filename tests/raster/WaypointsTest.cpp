#include "ConversionTestSupport.h"

#include "raster/AddWaypoints.h"
#include "raster/WaypointFile.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <thread>

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

    WaypointList route;
    RecordingWindow window;
    EXPECT_FALSE(ReadWaypoints(folder.Path("route.txt"), route, window));
    const WaypointList list = route;
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].comment, "Home   base");
    EXPECT_EQ(list[1].latitude, 39.25);
    EXPECT_EQ(list[2].longitude, 2.0);  // a long line read in pieces; its last piece holds "1 2"
    EXPECT_TRUE(window.Messages().empty());

    EXPECT_TRUE(ReadWaypoints(folder.Path("empty.txt"), route, window));
    EXPECT_TRUE(route.empty());
    EXPECT_TRUE(CheckWaypointFile(folder.Path("none.txt"), window));
    EXPECT_FALSE(CheckWaypointFile(folder.Path("route.txt"), window));
    EXPECT_EQ(window.Messages(), (std::vector<std::string>{
                                     "terraFetch: Error: No waypoints in the file\n\"" + folder.Path("empty.txt") +
                                         "\".\n\nExpected layout of a line:\n\nlatitude longitude [comment]",
                                     "terraFetch: Error: File \"" + folder.Path("none.txt") + "\" could not be opened.",
                                 }));
    EXPECT_EQ(window.MessageIcons(), (std::vector<MessageIcon>{MessageIcon::Error, MessageIcon::Error}));
}

class WaypointFileRefusal : public testing::Test {
protected:
    ScratchFolder folder;
    RecordingWindow window;
    WaypointList route;

    std::string Write(const std::string& name, const std::string& content)
    {
        std::ofstream(folder.Path(name), std::ios::binary) << content;
        return folder.Path(name);
    }

    // Reads `path` expecting a failure with exactly `message`; the list is left empty.
    void ExpectRefused(const std::string& path, const std::string& message, const WaypointLimits& limits = {})
    {
        WaypointList list{{1, 2, ""}};
        RecordingWindow own;
        EXPECT_TRUE(ReadWaypoints(path, list, own, limits)) << path;
        EXPECT_TRUE(list.empty()) << path;
        EXPECT_EQ(own.Messages(), std::vector<std::string>{"terraFetch: " + message}) << path;
    }
};

TEST_F(WaypointFileRefusal, LinesThatAreNoRouteNameTheirLine)
{
    const std::string words = Write("words.txt", "# a comment\n40 -99\n\nnorth west\n");
    ExpectRefused(words, "Error: Line 4 of the file\n\"" + words +
                             "\"\ndoes not begin with a latitude and a longitude: the file is neither GPX nor a "
                             "text route.\n\nExpected layout of a line:\n\nlatitude longitude [comment]");
    for (const char* line : {"40.5x -99", "40 -99,5 comment", "  # note"})
        ExpectRefused(Write("bad.txt", std::string(line) + "\n"),
                      "Error: Line 1 of the file\n\"" + folder.Path("bad.txt") +
                          "\"\ndoes not begin with a latitude and a longitude: the file is neither GPX nor a text "
                          "route.\n\nExpected layout of a line:\n\nlatitude longitude [comment]");

    // Off the earth, counting lines that were read in pieces as one.
    for (const char* line : {"90.5 0", "0 -180.01", "nan 0", "0 inf", "1e400 0"}) {
        const std::string path = Write("far.txt", "40 -99 " + std::string(2000, 'c') + "\n" + line + "\n");
        ExpectRefused(path, "Error: Line 2 of the file\n\"" + path +
                                "\"\nholds a point outside latitudes -90 to 90 and longitudes -180 to 180.");
    }
    // The edges of the earth are points like any other; the rest of a long
    // comment is no reason to refuse the file.
    WaypointList list;
    std::string longComment;
    for (int i = 0; i < 300; ++i)
        longComment += " word";
    EXPECT_FALSE(ReadWaypoints(Write("edges.txt", "90 -180" + longComment + "\n-90 180 pole\n"), list, window));
    EXPECT_EQ(list.size(), 2u);
    EXPECT_TRUE(window.Messages().empty());
}

TEST_F(WaypointFileRefusal, OnlyRegularFilesWithinTheLimitsAreRead)
{
    ExpectRefused("/dev/zero", "Error: \"/dev/zero\" is not a regular file; a waypoint file must be one.");
    ExpectRefused(folder.Path(""),
                  "Error: \"" + folder.Path("") + "\" is not a regular file; a waypoint file must be one.");
    // A FIFO without a writer would block a plain open for ever.
    const std::string fifo = folder.Path("route.fifo");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ExpectRefused(fifo, "Error: \"" + fifo + "\" is not a regular file; a waypoint file must be one.");

    WaypointLimits limits;
    limits.maxPoints = 3;
    limits.maxFileBytes = 1000;
    const std::string four = Write("four.txt", "1 1\n2 2\n3 3\n4 4\n");
    ExpectRefused(four, "Error: The file\n\"" + four + "\"\nholds more than 3 waypoints, the most a route may have.",
                  limits);
    const std::string large = Write("large.txt", "1 1\n" + std::string(1000, '#'));
    ExpectRefused(large,
                  "Error: The file\n\"" + large + "\"\nis larger than 1000 bytes, the most a waypoint file may be.",
                  limits);
    WaypointList list;
    EXPECT_FALSE(ReadWaypoints(Write("three.txt", "1 1\n2 2\n3 3\n"), list, window, limits));
    EXPECT_EQ(list.size(), 3u);
    // The real cap, just passed: 100,001 short lines.
    std::string lines;
    for (int i = 0; i <= 100'000; ++i)
        lines += "1 2\n";
    const std::string many = Write("many.txt", lines);
    ExpectRefused(many, "Error: The file\n\"" + many + "\"\nholds more than 100000 waypoints, the most a route may "
                        "have.");
}

TEST_F(WaypointFileRefusal, GpxFaultsSayWhatIsWrong)
{
    const std::string head = "<?xml version=\"1.0\"?>\n<gpx xmlns=\"http://www.topografix.com/GPX/1/1\">\n";
    const std::string empty = Write("empty.gpx", head + "<rte><name>none</name></rte>\n</gpx>\n");
    ExpectRefused(empty, "Error: No points in the GPX file\n\"" + empty +
                             "\".\n\nA route needs <rtept>, <trkpt> or <wpt> elements with lat and lon attributes.");
    std::string nested = head + "<wpt lat=\"1\" lon=\"2\"/>";
    for (int i = 0; i < 100'000; ++i)
        nested += "<a>";
    const std::string deepPath = Write("deep.gpx", nested);
    ExpectRefused(deepPath,
                  "Error: The GPX file\n\"" + deepPath + "\"\nnests elements more than 64 levels deep (line 3).");
    // Inside a point's name too, where the text is gathered.
    std::string deepName = head + "<wpt lat=\"1\" lon=\"2\"><name>";
    for (int i = 0; i < 100'000; ++i)
        deepName += "<b>";
    const std::string deepNamePath = Write("deepname.gpx", deepName);
    ExpectRefused(deepNamePath,
                  "Error: The GPX file\n\"" + deepNamePath + "\"\nnests elements more than 64 levels deep (line 3).");
    const std::string doctype = Write("dtd.gpx", "<?xml version=\"1.0\"?>\n<!DOCTYPE gpx>\n<gpx/>");
    ExpectRefused(doctype, "Error: The GPX file\n\"" + doctype + "\"\ndeclares a document type (line 2), which is "
                           "refused.");
    WaypointLimits limits;
    limits.maxPoints = 2;
    const std::string three =
        Write("three.gpx",
              head + "<wpt lat=\"1\" lon=\"1\"/><wpt lat=\"2\" lon=\"2\"/><wpt lat=\"3\" lon=\"3\"/></gpx>");
    ExpectRefused(three, "Error: The file\n\"" + three + "\"\nholds more than 2 waypoints, the most a route may have.",
                  limits);
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

#include "tests/raster/ConversionTestSupport.h"

#include "route/WaypointFile.h"
#include "tests/route/ReadShowing.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sys/stat.h>

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
    EXPECT_FALSE(ReadShowing(folder.Path("route.txt"), route, window));
    const WaypointList list = route;
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[0].comment, "Home   base");
    EXPECT_EQ(list[1].latitude, 39.25);
    EXPECT_EQ(list[2].longitude, 2.0);  // a long line read in pieces; its last piece holds "1 2"
    EXPECT_TRUE(window.Messages().empty());

    EXPECT_TRUE(ReadShowing(folder.Path("empty.txt"), route, window));
    EXPECT_TRUE(route.empty());
    EXPECT_TRUE(CheckShowing(folder.Path("none.txt"), window));
    EXPECT_FALSE(CheckShowing(folder.Path("route.txt"), window));
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
        EXPECT_TRUE(ReadShowing(path, list, own, limits)) << path;
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
    EXPECT_FALSE(ReadShowing(Write("edges.txt", "90 -180" + longComment + "\n-90 180 pole\n"), list, window));
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
    EXPECT_FALSE(ReadShowing(Write("three.txt", "1 1\n2 2\n3 3\n"), list, window, limits));
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

} // namespace
} // namespace conversiontest

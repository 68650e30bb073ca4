#include "tests/raster/ConversionTestSupport.h"

#include "raster/AddWaypoints.h"
#include "route/GpxWaypoints.h"
#include "route/WaypointFile.h"
#include "tests/route/ReadShowing.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace conversiontest {
namespace {

std::string Gpx(const std::string& body, const std::string& version = "1/1")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<gpx version=\"1.1\" creator=\"test\" "
           "xmlns=\"http://www.topografix.com/GPX/" +
           version + "\" xmlns:ext=\"urn:example:ext\">\n" + body + "</gpx>\n";
}

std::vector<std::tuple<double, double, std::string>> Points(const WaypointList& list)
{
    std::vector<std::tuple<double, double, std::string>> points;
    for (const Waypoint& w : list)
        points.emplace_back(w.latitude, w.longitude, w.comment);
    return points;
}

using PointList = std::vector<std::tuple<double, double, std::string>>;

TEST(GpxWaypoints, RouteThenTrackThenWaypoints)
{
    const std::string route = "<rte><name>Trip</name><rtept lat=\"39.75\" lon=\"-98.75\"><name>Start</name></rtept>"
                              "<rtept lat=\"39.25\" lon=\"-98.25\"><desc>Only a\n description</desc></rtept></rte>";
    const std::string track = "<trk><trkseg><trkpt lat=\"39.1\" lon=\"-98.1\"/><trkpt lat=\"39.2\" lon=\"-98.2\"/>"
                              "</trkseg><trkseg/><trkseg><trkpt lat=\"39.3\" lon=\"-98.3\"><ext:name>no</ext:name>"
                              "<extensions><ext:trkpt lat=\"1\" lon=\"1\"/></extensions></trkpt></trkseg></trk>"
                              "<trk><trkseg><trkpt lat=\"5\" lon=\"5\"/></trkseg></trk>";
    const std::string waypoints = "<wpt lat=\"40\" lon=\"-99\"><desc>d</desc><name> Home </name></wpt>"
                                  "<wpt lat=\"39\" lon=\"-98\"/>";
    struct Case {
        std::string document;
        PointList expected;
    } cases[] = {
        // The route wins wherever it stands; the first route with points.
        {Gpx(waypoints + track + "<rte/>" + route + "<rte><rtept lat=\"1\" lon=\"2\"/></rte>"),
         {{39.75, -98.75, "Start"}, {39.25, -98.25, "Only a  description"}}},
        // Segments joined in order; the second track and extension elements are left out.
        {Gpx(waypoints + "<trk/>" + track), {{39.1, -98.1, ""}, {39.2, -98.2, ""}, {39.3, -98.3, ""}}},
        {Gpx(waypoints, "1/0"), {{40, -99, "Home"}, {39, -98, ""}}},
        // Without a namespace, and in a UTF-8 byte order mark.
        {"\xEF\xBB\xBF<gpx><wpt lat=' 1.5' lon='-2e1'/></gpx>", {{1.5, -20, ""}}},
        // The earth's edges are points like any other.
        {Gpx("<wpt lat=\"-90\" lon=\"180\"/><wpt lat=\"90\" lon=\"-180\"/>"), {{-90, 180, ""}, {90, -180, ""}}},
    };
    for (const Case& c : cases) {
        EXPECT_TRUE(LooksLikeGpx(c.document)) << c.document;
        WaypointList list;
        EXPECT_TRUE(ParseGpxWaypoints(c.document, list)) << c.document;
        EXPECT_EQ(Points(list), c.expected) << c.document;
    }
}

TEST(GpxWaypoints, BadDocumentsYieldNothing)
{
    const std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE gpx [<!ENTITY a \"aaaaaaaaaa\">"
                               "<!ENTITY b \"&a;&a;&a;&a;&a;&a;&a;&a;&a;&a;\"><!ENTITY c \"&b;&b;&b;&b;&b;&b;&b;&b;\">"
                               "<!ENTITY d \"&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;&c;\">]>";
    const std::string documents[] = {
        Gpx(""),
        Gpx("<rte/><trk><trkseg/></trk>"),
        Gpx("<wpt lat=\"40\" lon=\"-99\"/><wpt lat=\"39\"/>"),
        Gpx("<wpt lon=\"-99\"/>"),
        Gpx("<wpt lat=\"north\" lon=\"-99\"/>"),
        Gpx("<wpt lat=\"1e999\" lon=\"-99\"/>"),
        Gpx("<wpt lat=\"nan\" lon=\"-99\"/>"),
        // Off the earth: huge coordinates fail the file rather than draw somewhere.
        Gpx("<wpt lat=\"1e300\" lon=\"-1e300\"/><wpt lat=\"39.5\" lon=\"-98.5\"/>"),
        Gpx("<wpt lat=\"90.5\" lon=\"0\"/>"),
        Gpx("<wpt lat=\"0\" lon=\"-180.001\"/>"),
        // Malformed after good points: nothing of it is kept.
        Gpx("<wpt lat=\"40\" lon=\"-99\"/><wpt lat=\"39\" lon=\"-98\">"),
        Gpx("<wpt lat=\"40\" lon=\"-99\"/>").substr(0, 120),
        Gpx("<wpt lat=\"40\" lon=\"-99\"><name>&undeclared;</name></wpt>"),
        Gpx("<wpt lat=\"40\" lon=\"-99\"/>") + "<gpx/>",
        laughs + "<gpx><wpt lat=\"40\" lon=\"-99\"><name>&d;&d;&d;&d;&d;&d;&d;&d;</name></wpt></gpx>",
        "<?xml version=\"1.0\"?><!DOCTYPE gpx SYSTEM \"file:///etc/passwd\"><gpx><wpt lat=\"1\" lon=\"1\"/></gpx>",
    };
    for (const std::string& document : documents) {
        WaypointList list;
        EXPECT_FALSE(ParseGpxWaypoints(document, list)) << document;
        EXPECT_TRUE(list.empty()) << document;
    }
    EXPECT_TRUE(LooksLikeGpx(laughs + "<gpx>"));
}

TEST(GpxWaypoints, OnlyGpxDocumentsAreRecognised)
{
    EXPECT_TRUE(LooksLikeGpx("<!-- a comment --><?pi x?>\n  <gpx:gpx xmlns:gpx=\"urn:g\">"));
    EXPECT_FALSE(LooksLikeGpx("<?xml version=\"1.0\"?><kml><Placemark/></kml>"));
    EXPECT_FALSE(LooksLikeGpx("40.5 -98.25 <gpx>"));
    EXPECT_FALSE(LooksLikeGpx("# <gpx>\n40 -99\n"));
    EXPECT_FALSE(LooksLikeGpx(""));
}

class GpxFileTest : public testing::Test {
protected:
    ScratchFolder folder;
    RecordingWindow window;
    WaypointList route;

    std::string Write(const std::string& name, const std::string& content)
    {
        std::ofstream(folder.Path(name), std::ios::binary) << content;
        return folder.Path(name);
    }

    std::string NoWaypointsMessage(const std::string& path)
    {
        return "terraFetch: Error: No waypoints in the file\n\"" + path +
               "\".\n\nExpected layout of a line:\n\nlatitude longitude [comment]";
    }
};

TEST_F(GpxFileTest, AGpxRouteDrawsWhatItsTextFileDraws)
{
    const std::string gpx = Write("route.gpx", Gpx("<rte><rtept lat=\"39.75\" lon=\"-98.75\"><name>A</name></rtept>"
                                                   "<rtept lat=\"39.75\" lon=\"-98.25\"/><rtept lat=\"39.1\" "
                                                   "lon=\"-98.6\"/><rtept lat=\"40.2\" lon=\"-98.3\"/></rte>"));
    const std::string text = Write("route.txt", "39.75 -98.75 A\n39.75 -98.25\n39.1 -98.6\n40.2 -98.3\n");
    ASSERT_FALSE(ReadShowing(gpx, route, window));
    const WaypointList fromGpx = route;
    ASSERT_FALSE(CheckShowing(gpx, window));
    ASSERT_FALSE(ReadShowing(text, route, window));
    EXPECT_EQ(Points(fromGpx), Points(route));
    EXPECT_TRUE(window.Messages().empty());

    WriteImage(folder.Path("in.tga"), 120, 100, [](int x, int y) { return Rgb{x, y, 7}; });
    std::vector<std::vector<char>> drawn;
    for (const WaypointList& list : {fromGpx, route}) {
        ASSERT_EQ(AddWaypoints(folder.Path("in.tga"), folder.Path("out.tga"), -99, 40, -98, 39, list, 4, window), 0);
        std::ifstream in(folder.Path("out.tga"), std::ios::binary);
        drawn.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_EQ(drawn[0], drawn[1]);
    TGAFile out;
    ASSERT_EQ(out.Open(folder.Path("out.tga")), 0);
    EXPECT_EQ(PixelOf(out, 60, 75), (Rgb{255, 0, 0}));
}

TEST_F(GpxFileTest, PointsOffTheEarthFailTheFileWithTheirElement)
{
    const std::string gpx = Write("far.gpx", Gpx("<wpt lat=\"39.5\" lon=\"-98.5\"/>\n<wpt lat=\"1e300\" "
                                                 "lon=\"-1e300\"/>"));
    EXPECT_TRUE(ReadShowing(gpx, route, window));
    EXPECT_TRUE(route.empty());
    ASSERT_EQ(window.Messages().size(), 1u);
    EXPECT_EQ(window.Messages()[0], "terraFetch: Error: The GPX file\n\"" + gpx +
                                        "\"\nholds a <wpt> at line 4, column 31 without a latitude of -90 to 90 "
                                        "and a longitude of -180 to 180.");
}

TEST_F(GpxFileTest, AFailedGpxFileEmptiesTheListAndSaysSo)
{
    ASSERT_FALSE(ReadShowing(Write("good.txt", "40 -99\n"), route, window));
    const std::string broken = Write("broken.gpx", Gpx("<wpt lat=\"40\" lon=\"-99\"/><wpt"));
    EXPECT_TRUE(ReadShowing(broken, route, window));
    EXPECT_TRUE(route.empty());

    // A 1 GiB file (sparse, so cheap to make) fails at once on its size.
    const std::string huge = Write("huge.gpx", Gpx("<wpt lat=\"40\" lon=\"-99\"/>"));
    std::filesystem::resize_file(huge, 1ull << 30);
    EXPECT_TRUE(CheckShowing(huge, window));
    EXPECT_EQ(window.Messages(),
              (std::vector<std::string>{"terraFetch: Error: The GPX file\n\"" + broken +
                                            "\"\nis not well-formed XML: line 3, column 30: Expected '>' or '/', but "
                                            "got '<'.",
                                        "terraFetch: Error: The file\n\"" + huge +
                                            "\"\nis larger than 64 MiB, the most a waypoint file may be."}));

    // Just under the cap is read: padding in a comment.
    const std::string head = Gpx("<wpt lat=\"40\" lon=\"-99\"/>");
    const std::string big =
        Write("big.gpx", head + "<!--" + std::string(kMaxGpxFileSize - head.size() - 7, ' ') + "-->");
    EXPECT_EQ(std::filesystem::file_size(big), kMaxGpxFileSize);
    EXPECT_FALSE(CheckShowing(big, window));
}

TEST_F(GpxFileTest, XmlThatIsNotGpxIsRefused)
{
    const std::string kml = Write("k.kml", "<kml>\n40.5 -98.25 x\n</kml>\n");
    ASSERT_TRUE(ReadShowing(kml, route, window));
    EXPECT_TRUE(route.empty());
    EXPECT_EQ(window.Messages(), (std::vector<std::string>{"terraFetch: Error: The file\n\"" + kml +
                                                           "\"\nis an XML document, but not GPX: its root element "
                                                           "is <kml>."}));
}

} // namespace
} // namespace conversiontest

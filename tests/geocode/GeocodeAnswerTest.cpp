#include "geocode/GeocodeAnswer.h"
#include "geocode/GeocodeUrl.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(NormaliseGeocodeAnswer, ShortensBlanksAndJoinsEqualsSigns)
{
    struct Case {
        std::string input;
        std::string expected;
    };
    const Case cases[] = {
        {"a  b", "a b"},
        {"a    b", "a b"},                        // 4: one pass of 3, then of 2
        {"a" + std::string(17, ' ') + "b", "a b"},
        {"a" + std::string(18, ' ') + "b", "a b"},
        {"a" + std::string(8, ' ') + "b", "a b"},
        {"a\tb\t\tc", "a b c"},                   // tabs become blanks first
        {"a\nb", "a b"},
        {"a\r\nb", "a\r b"},                      // carriage returns stay
        {"key = value", "key=value"},
        {"key\t=\n value", "key=value"},
        {"key   =   value", "key=value"},
        {"no change", "no change"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NormaliseGeocodeAnswer(c.input), c.expected) << '"' << c.input << '"';
}

TEST(ReadGeocodeAnswer, FindsTheMapCentreInAnyCaseAndSpacing)
{
    struct Case {
        std::string page;
        double latitude;
        double longitude;
        bool single;
    };
    const Case cases[] = {
        {"<a href=\"/map?mapcenterlat=38.5,&amp;mapcenterlon=-121.5,&amp;zoom=12\">", 38.5, -121.5, true},
        {"MapCenterLat = 38.5 , MAPCENTERLON =\t-121.5 ,", 38.5, -121.5, true},
        {"mapcenterlat=0,mapcenterlon=-97.25,", 0.0, -97.25, true},   // latitude 0 still a match
        {"mapcenterlat=0,mapcenterlon=0,", 0.0, 0.0, false},          // exactly 0, 0 is none
        {"mapcenterlat=38.5 mapcenterlon=-121.5", 0.0, 0.0, false},   // no commas: no numbers
        {"mapcenterlat=38.5abc,", 38.5, 0.0, true},                   // leading number taken
        {"nothing here", 0.0, 0.0, false},
    };
    for (const Case& c : cases) {
        const GeocodeAnswer answer = ReadGeocodeAnswer(c.page);
        EXPECT_DOUBLE_EQ(answer.latitude, c.latitude) << c.page;
        EXPECT_DOUBLE_EQ(answer.longitude, c.longitude) << c.page;
        EXPECT_EQ(answer.IsSingleMatch(), c.single) << c.page;
    }
}

TEST(ReadGeocodeAnswer, CollectsCandidateCells)
{
    const std::string page =
        "<table>\n<TR><TD ALIGN=\"CENTER\">100 Main St <BR />Springfield, IL</TD></TR>\n"
        "<tr><td align=\"center\">Elm  Ave <br />Springfield,\tMO</td></tr>\n"
        "<tr><td align=\"center\">no line break here</td></tr>\n"
        "<tr><td align=\"center\">Caf\xC3\xA9<br />Paris, TX</td></tr>\n"
        "</table>";
    const GeocodeAnswer answer = ReadGeocodeAnswer(page);
    EXPECT_FALSE(answer.IsSingleMatch());
    // The street's last character (the blank before the break) is dropped;
    // shown texts keep their case and come from the normalised page.
    const std::vector<std::string> expected = {
        "100 Main St, Springfield, IL",
        "Elm Ave, Springfield, MO",
        "Caf, Paris, TX",  // a multi-byte last character goes whole
    };
    EXPECT_EQ(answer.candidates, expected);
}

TEST(ReadGeocodeAnswer, StopsAtACellWithoutClosingTag)
{
    const GeocodeAnswer answer =
        ReadGeocodeAnswer("<td align=\"center\">A <br />B</td><td align=\"center\">C <br />D");
    EXPECT_EQ(answer.candidates, std::vector<std::string>{"A, B"});
}

TEST(ReadGeocodeAnswer, MapCentreWinsOverCandidates)
{
    const GeocodeAnswer answer =
        ReadGeocodeAnswer("mapcenterlat=1,mapcenterlon=2,<td align=\"center\">A <br />B</td>");
    EXPECT_TRUE(answer.IsSingleMatch());
    EXPECT_TRUE(answer.candidates.empty());
}

struct QuadCase {
    double quadSize;
    bool align;
    std::string logLine;
    double left, right, top, bottom;
};

TEST(ParseGeocodeAnswer, PlacesTheQuadAroundASingleMatch)
{
    const QuadCase cases[] = {
        {1.0, false, "  quad: -122.000000, -121.000000, 39.000000, 38.000000", -122, -121, 39, 38},
        {0.25, true, "  quad: -121.750000, -121.500000, 38.500000, 38.250000", -121.75, -121.5, 38.5, 38.25},
        {1.0, true, "  quad: -122.000000, -121.000000, 39.000000, 38.000000", -122, -121, 39, 38},
    };
    for (const QuadCase& c : cases) {
        RecordingWindow window;
        const std::optional<Quad> quad = ParseGeocodeAnswer(
            window, "x mapcenterlat=38.5,&amp;mapcenterlon=-121.5,&amp;zoom=12", c.quadSize, c.align);
        EXPECT_EQ(window.Lines(), std::vector<std::string>{c.logLine});
        ASSERT_TRUE(quad);
        EXPECT_DOUBLE_EQ(quad->left, c.left);
        EXPECT_DOUBLE_EQ(quad->right, c.right);
        EXPECT_DOUBLE_EQ(quad->top, c.top);
        EXPECT_DOUBLE_EQ(quad->bottom, c.bottom);
        EXPECT_EQ(window.ControlEnabled(JobControl::Proceed), true);
        EXPECT_EQ(window.ControlEnabled(JobControl::WestEdge), true);
        EXPECT_EQ(window.ControlEnabled(JobControl::NorthEdge), true);
        EXPECT_TRUE(window.StatusHistory().empty());
    }
}

TEST(ParseGeocodeAnswer, ListsCandidatesOrNoneAndBlinks)
{
    struct Case {
        std::string page;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        {"<td align=\"center\">A St <br />X, KS</td><td align=\"center\">B St <br />Y, MO</td>",
         {"        Multiple addresses found:", "        \u00BBA St, X, KS\u00AB", "        \u00BBB St, Y, MO\u00AB"}},
        {"<td align=\"center\">A St <br />X, KS</td>",
         {"        Multiple addresses found:", "        \u00BBA St, X, KS\u00AB"}},
        {"<p>The address was not found.</p>", {"        No address found."}},
    };
    for (const Case& c : cases) {
        RecordingWindow window;
        EXPECT_FALSE(ParseGeocodeAnswer(window, c.page, 1.0, false));
        EXPECT_EQ(window.Lines(), c.lines);
        EXPECT_EQ(window.StatusHistory(), (std::vector<StatusIcon>{StatusIcon::Failure, StatusIcon::Ok}));
    }
}

TEST(GeocodeUrl, EscapesTheAddressSoTheServiceGetsItAsTyped)
{
    struct Case {
        std::string address;
        std::string query;
    };
    const Case cases[] = {
        {"Salina, KS", "Salina%2C%20KS"},
        {"A&B=C #5 + 1/2", "A%26B%3DC%20%235%20%2B%201%2F2"},
        {"M\xC3\xBCnster", "M%C3%BCnster"},
        {"a-b_c.d~e", "a-b_c.d~e"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(GeocodeUrl("127.0.0.1:81", c.address), "http://127.0.0.1:81/demo.cgi?address=" + c.query);
}

} // namespace

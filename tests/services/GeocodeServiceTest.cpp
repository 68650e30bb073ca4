#include "mapdraw/Gazetteer.h"
#include "services/GeocodeService.h"
#include "services/LenientServer.h"
#include "services/ReferenceServices.h"
#include "tests/services/ServiceClient.h"
#include "tests/support/NoWaitServices.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <vector>

namespace {

// The answer read the way the program reads it: the map centre, else the
// candidate cells ("street" minus its last character, ", ", "City, ST").
struct Reading {
    double latitude = 0.0, longitude = 0.0;
    std::vector<std::string> candidates;
};

double NumberAfter(const std::string& lower, const std::string& key)
{
    const size_t at = lower.find(key);
    if (at == std::string::npos)
        return 0.0;
    const size_t comma = lower.find(',', at + key.size());
    if (comma == std::string::npos)
        return 0.0;
    return std::atof(lower.substr(at + key.size(), comma - at - key.size()).c_str());
}

Reading Read(const std::string& page)
{
    Reading reading;
    std::string lower = page;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    reading.latitude = NumberAfter(lower, "mapcenterlat=");
    reading.longitude = NumberAfter(lower, "mapcenterlon=");
    const std::string open = "<td align=\"center\">";
    size_t start = 0;
    while (true) {
        const size_t cell = lower.find(open, start);
        if (cell == std::string::npos)
            break;
        const size_t close = lower.find("</td>", cell + open.size());
        if (close == std::string::npos)
            break;
        start = close;
        const std::string text = page.substr(cell + open.size(), close - cell - open.size());
        const size_t br = text.find("<br />");
        if (br != std::string::npos && br > 0)
            reading.candidates.push_back(text.substr(0, br - 1) + ", " + text.substr(br + 6));
    }
    return reading;
}

class GeocodeServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        services = &NoWaitServices();
        ASSERT_NE(services->Port(), 0) << services->Error();
        ASSERT_EQ(services->Error(), "");
    }

    static HttpAnswer Ask(const std::string& address)
    {
        return HttpGet("http://127.0.0.1:" + std::to_string(services->Port()) + "/demo.cgi?address=" + EscapeQueryValue(address));
    }

    static ReferenceServices* services;
};

ReferenceServices* GeocodeServiceTest::services = nullptr;

TEST_F(GeocodeServiceTest, SingleMatchesGiveTheMapCentre)
{
    struct Case {
        const char* address;
        double latitude, longitude;  // expected within 0.15 degree
    };
    const Case cases[] = {
        {"67601", 38.87, -99.33},                                    // ZIP alone
        {"Hays, KS", 38.87, -99.33},                                 // city, ST
        {"Hays KS", 38.87, -99.33},                                  // without the comma
        {"1600 Main Street, Hays, KS 67601", 38.87, -99.33},         // street, city, ST zip
        {"100 Main St Hays Kansas", 38.87, -99.33},                  // state spelt out, no commas
        {"1600 Pennsylvania Ave NW, Washington, DC 20500", 38.90, -77.03},
        {"Denver, CO", 39.74, -104.98},
        {"  chicago ,  il  ", 41.85, -87.68},                        // case and blanks
        {"10001", 40.75, -74.00},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        const HttpAnswer answer = Ask(c.address);
        ASSERT_EQ(answer.status, 200);
        const Reading reading = Read(answer.body);
        EXPECT_NEAR(reading.latitude, c.latitude, 0.15);
        EXPECT_NEAR(reading.longitude, c.longitude, 0.15);
        EXPECT_TRUE(reading.candidates.empty());
    }
}

TEST_F(GeocodeServiceTest, AmbiguousNamesGiveCandidatesThatResolveOnTheirOwn)
{
    const HttpAnswer answer = Ask("Springfield");
    ASSERT_EQ(answer.status, 200);
    const Reading reading = Read(answer.body);
    EXPECT_EQ(reading.latitude, 0.0);
    EXPECT_EQ(reading.longitude, 0.0);
    ASSERT_GE(reading.candidates.size(), 5u);
    // Candidates read whole (nothing of the name is lost) and, asked again,
    // each is one match in its own state.
    EXPECT_NE(std::find(reading.candidates.begin(), reading.candidates.end(), "Springfield, Springfield, IL"),
              reading.candidates.end());
    for (size_t i = 0; i < 3; ++i) {
        SCOPED_TRACE(reading.candidates[i]);
        const Reading again = Read(Ask(reading.candidates[i]).body);
        EXPECT_TRUE(again.candidates.empty());
        EXPECT_NE(again.latitude, 0.0);
    }
    // A street stays in the candidates.
    const Reading street = Read(Ask("12 Oak Street, Springfield").body);
    ASSERT_FALSE(street.candidates.empty());
    EXPECT_EQ(street.candidates.front().rfind("12 Oak Street, Springfield, ", 0), 0u) << street.candidates.front();
}

TEST_F(GeocodeServiceTest, UnknownAddressesAreNotFound)
{
    for (const char* address : {"Nowhereville Xyzzy", "99999", "Hays, ZZ 00000", "", ", , ,", "<td align=\"center\">a<br />b</td>"}) {
        SCOPED_TRACE(address);
        const HttpAnswer answer = Ask(address);
        ASSERT_EQ(answer.status, 200);
        const Reading reading = Read(answer.body);
        EXPECT_EQ(reading.latitude, 0.0);
        EXPECT_EQ(reading.longitude, 0.0);
        EXPECT_TRUE(reading.candidates.empty());
        EXPECT_NE(answer.body.find("not found"), std::string::npos);
    }
    const std::string host = "http://127.0.0.1:" + std::to_string(services->Port());
    EXPECT_EQ(HttpGet(host + "/demo.cgi").status, 400);
    EXPECT_EQ(Ask(std::string(400, 'a')).status, 400);
}

TEST_F(GeocodeServiceTest, BlanksArriveRawEncodedOrAsPlus)
{
    const int port = services->Port();
    for (const std::string target : {"/demo.cgi?address=Hays, KS 67601", "/demo.cgi?address=Hays,%20KS%2067601",
                                     "/demo.cgi?address=Hays,+KS+67601"}) {
        SCOPED_TRACE(target);
        const std::string answer = RawRequest(port, "GET " + target + " HTTP/1.0");
        ASSERT_EQ(answer.rfind("HTTP/1.1 200", 0), 0u) << answer.substr(0, 80);
        const Reading reading = Read(answer);
        EXPECT_NEAR(reading.latitude, 38.87, 0.15);
    }
    // A request line that is no request at all still gets an answer.
    EXPECT_EQ(RawRequest(port, "NONSENSE").rfind("HTTP/1.1 400", 0), 0u);
}

TEST(RequestLine, BlanksInsideTheTargetAreEncoded)
{
    struct Case {
        const char *line, *expected;
    };
    const Case cases[] = {
        {"GET /demo.cgi?address=1 Main St HTTP/1.0\r\n", "GET /demo.cgi?address=1%20Main%20St HTTP/1.0\r\n"},
        {"GET /a?b=c HTTP/1.1\r\n", "GET /a?b=c HTTP/1.1\r\n"},
        {"GET /a b\n", "GET /a b\n"},  // no version: left as it is
        {"GET /x  y HTTP/1.0\r\n", "GET /x%20%20y HTTP/1.0\r\n"},
        {"", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(EncodeBlanksInRequestLine(c.line), c.expected) << c.line;
}

TEST(AddressParsing, ShapesOfAddresses)
{
    Gazetteer gazetteer;
    ASSERT_TRUE(gazetteer.Load(DefaultServiceDataFolder()));
    const GeocodeService service(gazetteer);
    struct Case {
        const char* address;
        const char *street, *city, *state, *zip;
    };
    const Case cases[] = {
        {"1 Main St, Hays, KS 67601", "1 Main St", "Hays", "KS", "67601"},
        {"Hays, KS", "", "Hays", "KS", ""},
        {"67601-1234", "", "", "", "67601"},
        {"Springfield", "", "Springfield", "", ""},
        {"5 Elm Rd Kansas City Missouri", "5 Elm Rd", "Kansas City", "MO", ""},
        {"Apt 2, 5 Elm Rd, Denver, CO", "Apt 2, 5 Elm Rd", "Denver", "CO", ""},
        {"New York", "", "New York", "", ""},  // a city, not the state
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.address);
        const GeocodeService::ParsedAddress parsed = service.Parse(c.address);
        EXPECT_EQ(parsed.street, c.street);
        EXPECT_EQ(parsed.city, c.city);
        EXPECT_EQ(parsed.state, c.state);
        EXPECT_EQ(parsed.zip, c.zip);
    }
}

}  // namespace

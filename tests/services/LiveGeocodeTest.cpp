#include "live/CensusGeocoder.h"
#include "services/ReferenceServices.h"
#include "tests/services/LiveSourceStandIns.h"
#include "tests/services/ServiceClient.h"
#include "tests/services/StandaloneServer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <mutex>

namespace {

constexpr const char* kGeocoderPath = "/geocoder/locations/onelineaddress";

std::string MatchJson(const std::string& address, double x, double y)
{
    char coordinates[96];
    std::snprintf(coordinates, sizeof coordinates, "{\"x\": %.6f, \"y\": %.6f}", x, y);
    return "{\"tigerLine\": {\"side\": \"L\", \"tigerLineId\": \"76355984\"}, \"coordinates\": " +
           std::string(coordinates) + ", \"addressComponents\": {\"zip\": \"20233\"}, \"matchedAddress\": \"" +
           address + "\"}";
}

std::string AnswerJson(const std::string& input, const std::string& matches)
{
    return "{\"result\": {\"input\": {\"address\": {\"address\": \"" + input +
           "\"}, \"benchmark\": {\"id\": \"4\", \"benchmarkName\": \"Public_AR_Current\"}}, \"addressMatches\": [" +
           matches + "]}}";
}

// The geocoder stand-in: answers by the address asked for and fails the
// test on a request that is not a proper one-line address search.
class GeocoderStandIn {
public:
    GeocoderStandIn()
        : server_([this](HttpTestConnection& connection) { Answer(connection); })
    {
    }

    std::string Url() const { return server_.Url(kGeocoderPath); }
    int Requests() const { return server_.RequestCount(); }
    std::string LastAddress() const
    {
        std::lock_guard lock(mutex_);
        return lastAddress_;
    }

private:
    void Answer(HttpTestConnection& connection)
    {
        const std::string target = connection.Request().target;
        const auto query = QueryOf(target);
        EXPECT_EQ(target.rfind(kGeocoderPath, 0), 0u) << target;
        EXPECT_EQ(ValueOf(query, "benchmark"), "Public_AR_Current");
        EXPECT_EQ(ValueOf(query, "format"), "json");
        const std::string address = ValueOf(query, "address");
        {
            std::lock_guard lock(mutex_);
            lastAddress_ = address;
        }
        const std::string json = "Content-Type: application/json\r\n";
        if (address == "4600 Silver Hill Rd, Washington, DC 20233") {
            connection.Reply(200, json,
                             AnswerJson(address, MatchJson("4600 SILVER HILL RD, WASHINGTON, DC, 20233",
                                                           -76.92744, 38.845985)));
        } else if (address == "100 Main St, Springfield") {
            connection.Reply(200, json,
                             AnswerJson(address, MatchJson("100 MAIN ST, SPRINGFIELD, IL, 62701", -89.65, 39.80) +
                                                     "," +
                                                     MatchJson("100 MAIN ST, SPRINGFIELD, MA, 01103", -72.59, 42.10)));
        } else if (address == "1 Broken Answer Way, Hays, KS") {
            connection.Reply(200, json, "{\"result\": {\"addressMatches\": [{\"matchedAddress\": 5");
        } else if (address == "2 Error Page Rd, Hays, KS") {
            connection.Reply(500, "Content-Type: text/html\r\n", "<html>Internal error</html>");
        } else {
            connection.Reply(200, json, AnswerJson(address, ""));
        }
    }

    mutable std::mutex mutex_;
    std::string lastAddress_;
    LoopbackServer server_;
};

class LiveGeocodeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ReferenceServiceOptions options;
        options.waitSeconds = 0;
        options.threads = 4;
        options.live.live = true;
        options.live.geocoderUrl = geocoder.Url();
        options.live.cacheFolder = cache.Path().string();
        // Nothing else of the live sources is asked for here.
        options.live.wmsUrl = options.live.wmsBoundariesUrl = options.live.demUrl = "http://127.0.0.1:1";
        services = std::make_unique<ReferenceServices>(options);
        ASSERT_NE(services->Start(), 0) << services->Error();
    }

    HttpAnswer Ask(const std::string& address) const
    {
        return HttpGet("http://127.0.0.1:" + std::to_string(services->Port()) +
                       "/demo.cgi?address=" + EscapeQueryValue(address));
    }

    TempDir cache;
    GeocoderStandIn geocoder;
    std::unique_ptr<ReferenceServices> services;
};

TEST_F(LiveGeocodeTest, AStreetAddressIsAnsweredFromTheGeocoder)
{
    const HttpAnswer answer = Ask("4600 Silver Hill Rd, Washington, DC 20233");
    ASSERT_EQ(answer.status, 200) << answer.body;
    EXPECT_EQ(geocoder.Requests(), 1);
    EXPECT_EQ(geocoder.LastAddress(), "4600 Silver Hill Rd, Washington, DC 20233");
    EXPECT_NE(answer.body.find("mapcenterlat=38.845985,"), std::string::npos) << answer.body;
    EXPECT_NE(answer.body.find("mapcenterlon=-76.927440,"), std::string::npos) << answer.body;
    EXPECT_NE(answer.body.find("4600 SILVER HILL RD, WASHINGTON, DC, 20233"), std::string::npos);
}

TEST_F(LiveGeocodeTest, ZipCodesAndCitiesComeFromTheGazetteerWithoutARequest)
{
    for (const char* address : {"67601", "Hays, KS"}) {
        SCOPED_TRACE(address);
        const HttpAnswer answer = Ask(address);
        ASSERT_EQ(answer.status, 200);
        EXPECT_NE(answer.body.find("mapcenterlat=38.8"), std::string::npos) << answer.body;
        EXPECT_NE(answer.body.find("mapcenterlon=-99.3"), std::string::npos) << answer.body;
    }
    EXPECT_EQ(geocoder.Requests(), 0);
}

TEST_F(LiveGeocodeTest, SeveralMatchesBecomeCandidatesAndNoneIsNotFound)
{
    const HttpAnswer several = Ask("100 Main St, Springfield");
    ASSERT_EQ(several.status, 200);
    EXPECT_NE(several.body.find("<td align=\"center\">100 MAIN ST <br />SPRINGFIELD, IL, 62701</td>"),
              std::string::npos)
        << several.body;
    EXPECT_NE(several.body.find("<td align=\"center\">100 MAIN ST <br />SPRINGFIELD, MA, 01103</td>"),
              std::string::npos);
    EXPECT_EQ(several.body.find("mapcenterlat="), std::string::npos);

    const HttpAnswer none = Ask("99 Nowhere Lane, Hays, KS");
    ASSERT_EQ(none.status, 200);
    EXPECT_NE(none.body.find("was not found"), std::string::npos) << none.body;
    EXPECT_EQ(none.body.find("mapcenterlat="), std::string::npos);
}

TEST_F(LiveGeocodeTest, ABrokenOrUnreachableGeocoderIsAnErrorNamingIt)
{
    const HttpAnswer malformed = Ask("1 Broken Answer Way, Hays, KS");
    EXPECT_EQ(malformed.status, 502);
    EXPECT_NE(malformed.body.find("Census geocoder"), std::string::npos) << malformed.body;
    EXPECT_NE(malformed.body.find("not the expected JSON"), std::string::npos) << malformed.body;
    // The client logs the headers of a failed request: the cause is there too.
    EXPECT_NE(malformed.Header("Warning").find("Census geocoder"), std::string::npos) << malformed.headers;

    const HttpAnswer failed = Ask("2 Error Page Rd, Hays, KS");
    EXPECT_EQ(failed.status, 502);
    EXPECT_NE(failed.body.find("status 500"), std::string::npos) << failed.body;
}

TEST(LiveStandaloneServerTest, AnswersAStreetFromTheGeocoderAndAZipCodeFromTheGazetteer)
{
    GeocoderStandIn geocoder;
    TempDir cache;
    const std::string nowhere = "http://127.0.0.1:1";
    StandaloneServer server({"--live", "--cache", cache.Path().string(), "--geocoder-url", geocoder.Url(),
                             "--wms-url", nowhere, "--wms-boundaries-url", nowhere, "--dem-url", nowhere});
    ASSERT_NE(server.Port(), 0) << server.FirstLine();
    const std::string ask = "http://127.0.0.1:" + std::to_string(server.Port()) + "/demo.cgi?address=";

    const HttpAnswer street = HttpGet(ask + EscapeQueryValue("4600 Silver Hill Rd, Washington, DC 20233"));
    ASSERT_EQ(street.status, 200) << street.body;
    EXPECT_NE(street.body.find("mapcenterlat=38.845985,"), std::string::npos) << street.body;
    const HttpAnswer zip = HttpGet(ask + "67601");
    ASSERT_EQ(zip.status, 200) << zip.body;
    EXPECT_NE(zip.body.find("mapcenterlon=-99.3"), std::string::npos) << zip.body;
    EXPECT_EQ(geocoder.Requests(), 1);
    EXPECT_EQ(server.Stop(), 0);
}

TEST(CensusGeocoderTest, UnreachableGeocoderFailsWithTheCause)
{
    const CensusGeocoder geocoder(
        [](const std::string&, size_t) {
            UpstreamAnswer answer;
            answer.error = "Could not connect to the server";
            return answer;
        },
        "https://geocoder.invalid/onelineaddress");
    const GeocoderResult result = geocoder.Geocode("1 Main St, Hays, KS");
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.error,
              "The Census geocoder at https://geocoder.invalid/onelineaddress could not be reached: "
              "Could not connect to the server.");
}

TEST(CensusGeocoderTest, AnswersOfAnotherShapeAreRefused)
{
    const char* const refused[] = {
        "",
        "[]",
        "{\"result\": {}}",
        "{\"result\": {\"addressMatches\": {}}}",
        "{\"result\": {\"addressMatches\": [{\"matchedAddress\": \"A\", \"coordinates\": {\"x\": \"-99\", \"y\": 39}}]}}",
        "{\"result\": {\"addressMatches\": [{\"matchedAddress\": \"A\", \"coordinates\": {\"x\": -999, \"y\": 39}}]}}",
        "{\"result\": {\"addressMatches\": [{\"coordinates\": {\"x\": -99, \"y\": 39}}]}}",
        "<html>Service unavailable</html>",
    };
    for (const char* json : refused) {
        SCOPED_TRACE(json);
        const GeocoderResult result = ReadCensusGeocoderAnswer(json);
        EXPECT_FALSE(result.ok);
        EXPECT_NE(result.error.find("not the expected JSON"), std::string::npos) << result.error;
    }
    const GeocoderResult reported =
        ReadCensusGeocoderAnswer("{\"errors\": [\"Address cannot be empty\"], \"status\": \"400\"}");
    EXPECT_FALSE(reported.ok);
    EXPECT_EQ(reported.reported, "Address cannot be empty");
}

}  // namespace

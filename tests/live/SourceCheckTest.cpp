#include "live/SourceCheck.h"
#include "live/UpstreamClient.h"

#include "tests/http/LoopbackServer.h"
#include "tests/support/PngBytes.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>

namespace {

using namespace std::chrono_literals;

std::string WhitePng(int side)
{
    const std::string pixels(static_cast<size_t>(side) * side * 3, '\xff');
    return PngBytes(side, side, PNG_FORMAT_RGB, pixels.data());
}

constexpr const char* kCapabilities =
    "<?xml version=\"1.0\"?><WMS_Capabilities version=\"1.3.0\" xmlns=\"http://www.opengis.net/wms\">"
    "<Capability><Layer><Title>All</Title><Layer><Name>24</Name><Title>Primary Roads</Title></Layer>"
    "</Layer></Capability></WMS_Capabilities>";

constexpr const char* kGeocoderAnswer =
    "{\"result\": {\"addressMatches\": [{\"matchedAddress\": \"4600 SILVER HILL RD, WASHINGTON, DC, 20233\", "
    "\"coordinates\": {\"x\": -76.92, \"y\": 38.84}}]}}";

// All four public sources on one loopback server; `down` names a path
// prefix that answers 404 instead, or "broken-wms" for capabilities that
// are no XML.
class SourcesStandIn {
public:
    explicit SourcesStandIn(std::string down = {})
        : down_(std::move(down)), server_([this](HttpTestConnection& connection) { Serve(connection); })
    {
    }

    LiveSourceSettings Settings() const
    {
        LiveSourceSettings settings;
        settings.live = true;
        settings.demUrl = server_.Url("/skadi");
        settings.dem2Url = server_.Url("/3dep");
        settings.wmsUrl = server_.Url("/physical/WmsServer");
        settings.wmsBoundariesUrl = server_.Url("/boundaries/WmsServer");
        settings.geocoderUrl = server_.Url("/geocoder/locations/onelineaddress");
        settings.imageryUrl = server_.Url("/imagery/WmsServer");
        return settings;
    }

private:
    void Serve(HttpTestConnection& connection)
    {
        const std::string& target = connection.Request().target;
        if (!down_.empty() && target.rfind(down_, 0) == 0) {
            connection.Reply(404, "", "<Error>NoSuchKey</Error>");
        } else if (target == "/3dep/n40w099/USGS_1_n40w099.tif") {
            connection.Reply(200, "", std::string("II*\0", 4) + std::string(100000, '\0'));
        } else if (target == "/skadi/N39/N39W099.hgt.gz") {
            connection.Reply(200, "", std::string("\x1f\x8b\x08\x00", 4) + std::string(100000, 'x'));
        } else if (target.find("REQUEST=GetCapabilities") != std::string::npos) {
            connection.Reply(200, "Content-Type: text/xml\r\n",
                             down_ == "broken-wms" ? std::string("<html>maintenance") : std::string(kCapabilities));
        } else if (target.find("REQUEST=GetMap") != std::string::npos &&
                   target.find("LAYERS=24&") != std::string::npos) {
            connection.Reply(200, "Content-Type: image/png\r\n", WhitePng(64));
        } else if (target.rfind("/geocoder/", 0) == 0) {
            connection.Reply(200, "Content-Type: application/json\r\n", kGeocoderAnswer);
        } else {
            connection.Reply(404, "", "no");
        }
    }

    std::string down_;
    LoopbackServer server_;
};

UpstreamClient::Limits QuickLimits()
{
    UpstreamClient::Limits limits;
    limits.connectTimeoutSeconds = 5;
    limits.firstBackoff = 1ms;
    return limits;
}

TEST(SourceCheck, ReportsEverySourceThatWorks)
{
    SourcesStandIn sources;
    UpstreamClient client(QuickLimits());
    const std::vector<SourceCheck> checks = CheckLiveSources(sources.Settings(), SourceCheckFetchThrough(client));
    ASSERT_EQ(checks.size(), 6u);
    for (const SourceCheck& check : checks) {
        EXPECT_TRUE(check.ok) << SourceCheckLine(check);
        EXPECT_EQ(SourceCheckLine(check).rfind("OK      " + check.source + ": ", 0), 0u) << SourceCheckLine(check);
    }
    std::FILE* sink = std::tmpfile();
    EXPECT_EQ(ReportSourceChecks(checks, sink), 0);
    std::fclose(sink);
}

TEST(SourceCheck, NamesTheSettingOfEachSourceThatFails)
{
    struct Case {
        std::string down;
        std::string source;
        std::string setting;
        std::string says;
    };
    for (const Case& c : {Case{"/skadi", "Elevation tiles", "TERRAFETCH_DEM_URL", "answered 404"},
                          Case{"/3dep", "Second elevation source", "TERRAFETCH_DEM2_URL", "answered 404"},
                          Case{"/physical", "Street map WMS", "TERRAFETCH_WMS_URL", "answered 404"},
                          Case{"/boundaries", "Boundaries WMS", "TERRAFETCH_WMS_BOUNDARIES_URL", "answered 404"},
                          Case{"broken-wms", "Street map WMS", "TERRAFETCH_WMS_URL", "no WMS capabilities"},
                          Case{"/geocoder", "Address geocoder", "TERRAFETCH_GEOCODER_URL", "404"},
                          Case{"/imagery", "Aerial imagery WMS", "TERRAFETCH_IMAGERY_URL", "answered 404"}}) {
        SourcesStandIn sources(c.down);
        UpstreamClient client(QuickLimits());
        const std::vector<SourceCheck> checks = CheckLiveSources(sources.Settings(), SourceCheckFetchThrough(client));
        int failed = 0;
        for (const SourceCheck& check : checks) {
            if (check.ok)
                continue;
            ++failed;
            if (check.source != c.source)
                continue;
            const std::string line = SourceCheckLine(check);
            EXPECT_EQ(line.rfind("FAILED  " + c.source, 0), 0u) << line;
            EXPECT_NE(line.find(c.says), std::string::npos) << line;
            EXPECT_NE(line.find("check " + c.setting), std::string::npos) << line;
        }
        EXPECT_EQ(failed, c.down == "broken-wms" ? 3 : 1) << c.down;
        std::FILE* sink = std::tmpfile();
        EXPECT_EQ(ReportSourceChecks(checks, sink), 1) << c.down;
        std::fclose(sink);
    }
}

TEST(SourceCheck, ASecondElevationSourceSwitchedOffIsNoFailure)
{
    SourcesStandIn sources;
    LiveSourceSettings settings = sources.Settings();
    settings.dem2Url = "none";
    UpstreamClient client(QuickLimits());
    const std::vector<SourceCheck> checks = CheckLiveSources(settings, SourceCheckFetchThrough(client));
    ASSERT_EQ(checks.size(), 6u);
    EXPECT_TRUE(checks[1].skipped);
    EXPECT_EQ(SourceCheckLine(checks[1]), "OFF     Second elevation source: switched off (\"none\")");
    std::FILE* sink = std::tmpfile();
    EXPECT_EQ(ReportSourceChecks(checks, sink), 0);
    std::fclose(sink);
}

TEST(SourceCheck, AnUnreachableSourceFailsWithoutHanging)
{
    int port;
    {
        LoopbackServer closed([](HttpTestConnection&) {});
        port = closed.Port();
    }
    LiveSourceSettings settings;
    const std::string nowhere = "http://127.0.0.1:" + std::to_string(port);
    settings.demUrl = nowhere + "/skadi";
    settings.dem2Url = nowhere + "/3dep";
    settings.wmsUrl = settings.wmsBoundariesUrl = nowhere + "/wms";
    settings.geocoderUrl = nowhere + "/geocoder";
    UpstreamClient client(QuickLimits());
    for (const SourceCheck& check : CheckLiveSources(settings, SourceCheckFetchThrough(client)))
        EXPECT_FALSE(check.ok) << SourceCheckLine(check);
}

}  // namespace

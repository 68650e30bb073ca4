#include "job/MapTile.h"
#include "services/ReferenceServices.h"
#include "tests/http/LoopbackServer.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>

namespace {

// A TIGERweb stand-in that refuses every GetMap the way the service does:
// status 200 and an XML ServiceException.
LoopbackServer RefusingWms()
{
    return LoopbackServer([](HttpTestConnection& connection) {
        connection.Reply(200, "Content-Type: text/xml\r\n",
                         "<?xml version=\"1.0\"?><ServiceExceptionReport version=\"1.3.0\"><ServiceException>"
                         "Service TIGERweb/tigerWMS_Current/MapServer not found</ServiceException>"
                         "</ServiceExceptionReport>");
    });
}

TEST(LiveMapTileTest, AServiceExceptionFailsTheTileAndTheLogSaysWhy)
{
    LoopbackServer wms = RefusingWms();
    TempDir folder;
    ReferenceServiceOptions options;
    options.waitSeconds = 0;
    options.live.live = true;
    options.live.cacheFolder = folder.File("cache");
    options.live.wmsUrl = options.live.wmsBoundariesUrl = wms.Url("/WmsServer");
    ReferenceServices services(options);
    ASSERT_NE(services.Start(), 0) << services.Error();

    RecordingWindow window;
    std::atomic<bool> cancel{false};
    const std::string gif = folder.File("tile.gif");
    EXPECT_NE(RequestMapTile(gif, -99.0, -98.0, 40.0, 39.0, 1200, services.HostAndPort(), window, cancel, 30), 0);
    EXPECT_FALSE(std::filesystem::exists(gif));
    const std::vector<std::string> lines = window.Lines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
        return line.find("ServiceException: Service TIGERweb/tigerWMS_Current/MapServer not found") !=
               std::string::npos;
    })) << ::testing::PrintToString(lines);
    EXPECT_EQ(lines.back(), "Error processing HTTP request.");
}

}  // namespace

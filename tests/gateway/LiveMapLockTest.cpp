#include "gateway/LiveMapService.h"
#include "live/UpstreamClient.h"
#include "tests/live/CacheLockHelperProcess.h"
#include "tests/services/LiveSourceStandIns.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// A map drawn once from the two stand-ins, then taken out of the cache with
// its pieces, so that drawing it again would ask for every piece anew.
struct KeptMapCase {
    TempDir cache;
    WmsStandIn physical{kRoadRed, true, Answer::kPng};
    WmsStandIn boundaries{kBoundaryBlue, false, Answer::kPng};
    UpstreamClient client{UpstreamClient::Limits{2, 5, 1, 10ms, 4}};
    MapView view{.longitude = -98.5, .latitude = 39.5, .width = 0.1, .height = 0.1, .imageWidth = 200,
                 .imageHeight = 200};
    std::string path, gif;
    std::atomic<bool> waiting{false}, cancel{false};

    KeptMapCase()
    {
        const ServiceReply first = Service(FetchThrough(client)).Map(view, "majroads,states");
        EXPECT_EQ(first.status, 200) << first.body;
        gif = first.body;
        const std::set<std::string> maps = FilesUnder(cache.Path() / "maps");
        EXPECT_EQ(maps.size(), 1u);
        if (!maps.empty())
            path = (cache.Path() / "maps" / *maps.begin()).string();
        fs::remove(path);
        fs::remove_all(cache.Path() / "wms" / "pieces");
    }

    LiveMapService Service(UpstreamFetch fetch) const
    {
        return LiveMapService(std::move(fetch), physical.Url(), boundaries.Url(), cache.Path().string());
    }

    // Fetches through the client; the lock's wait says when it first asks whether to stop.
    UpstreamFetch WatchedFetch()
    {
        return UpstreamFetch([this](const std::string& url, size_t most) { return client.Get(url, most); },
                             [this] {
                                 waiting = true;
                                 return cancel.load();
                             });
    }

    size_t GetMaps() const { return physical.GetMapTitles().size() + boundaries.GetMapTitles().size(); }
};

TEST(LiveMapLockTest, AMapAnotherProcessIsDrawingIsServedFromWhatItKeptOrFailsWhenCancelled)
{
    KeptMapCase map;
    ASSERT_FALSE(map.path.empty());
    const size_t getMaps = map.GetMaps();
    const int capabilities = map.physical.CapabilitiesRequests() + map.boundaries.CapabilitiesRequests();
    CacheLockHelperProcess other({"hold", map.path});
    ASSERT_EQ(other.ReadLine(), "held");
    map.cancel = true;
    const ServiceReply cancelled = map.Service(map.WatchedFetch()).Map(map.view, "majroads,states");
    EXPECT_EQ(cancelled.status, 502);
    EXPECT_NE(cancelled.body.find("not drawn"), std::string::npos) << cancelled.body;

    map.cancel = false;
    map.waiting = false;
    const LiveMapService service = map.Service(map.WatchedFetch());
    ServiceReply reply;
    std::thread drawing([&] { reply = service.Map(map.view, "majroads,states"); });
    const auto until = std::chrono::steady_clock::now() + 20s;
    while (!map.waiting && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(5ms);
    ASSERT_TRUE(map.waiting);
    WriteFileBytes(map.path, map.gif);  // what the other process stores before it lets go
    other.LetGo();
    drawing.join();
    EXPECT_EQ(reply.status, 200) << reply.body;
    EXPECT_EQ(reply.body, map.gif);
    EXPECT_EQ(map.GetMaps(), getMaps) << "no piece is asked for again";
    EXPECT_EQ(map.physical.CapabilitiesRequests() + map.boundaries.CapabilitiesRequests(), capabilities);
    EXPECT_EQ(other.Wait(), 0);
}

}  // namespace

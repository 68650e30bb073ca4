#include "tests/services/ServiceClient.h"
#include "tests/services/StandaloneServer.h"
#include "tests/support/TempDir.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

TEST(StandaloneServer, ServesConcurrentClientsAndStopsCleanly)
{
    StandaloneServer server;
    ASSERT_GT(server.Port(), 0) << server.FirstLine();
    EXPECT_EQ(server.FirstLine().rfind("terrafetch-services listening on http://127.0.0.1:", 0), 0u);
    const std::string host = "http://127.0.0.1:" + std::to_string(server.Port());

    // Fifty map requests at once, all answered with a GIF.
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 50; ++i) {
        clients.emplace_back([&, i] {
            const HttpAnswer answer = HttpGet(
                host + "/cgi-bin/mapper/map.gif?lon=" + std::to_string(-100 + i % 10) +
                ".5&lat=39.5&wid=0.5&ht=0.52&iwd=200&iht=208&on=CITIES,GRID,counties,places,states,water,ushwy");
            if (answer.status == 200 && answer.body.rfind("GIF8", 0) == 0)
                ++good;
        });
    }
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(good.load(), 50);

    // The other two services answer on the same port.
    EXPECT_EQ(HttpGet(host + "/demo.cgi?address=67601").status, 200);
    EXPECT_EQ(HttpGet(host + "/diststatus/servlet/gov.usgs.edc.RequestStatus?lft=-99&rgt=-98.9&top=40&bot=39.9")
                  .status,
              302);
    EXPECT_EQ(server.Stop(), 0);
}

// A whole program per cycle costs far more than a server in the test
// process, hence fewer cycles than the in-process lifecycle tests run.
TEST(StandaloneServer, StopsAtOnceRightAfterItListens)
{
    for (int cycle = 0; cycle < 10; ++cycle) {
        StandaloneServer server;
        ASSERT_GT(server.Port(), 0) << "cycle " << cycle << ": " << server.FirstLine();
        ASSERT_EQ(server.Stop(), 0) << "cycle " << cycle;
    }
}

TEST(StandaloneServer, SigtermStopsItWithinASecondWithAPipeInItsDataFolderAndOrdersUnderWay)
{
    TempDir data;
    ASSERT_EQ(::mkfifo(data.File("N39W099.hgt").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(data.File("pipe.tif").c_str(), 0600), 0);
    StandaloneServer server({"--data", data.Path().string()});
    ASSERT_GT(server.Port(), 0) << server.FirstLine();
    const std::string order = "http://127.0.0.1:" + std::to_string(server.Port()) +
                              "/diststatus/servlet/gov.usgs.edc.RequestStatus?lft=-99&rgt=-98.9&top=40&bot=39.9";
    std::vector<std::thread> clients;
    for (int i = 0; i < 3; ++i)
        clients.emplace_back([&] { HttpGet(order); });
    for (std::thread& client : clients)
        client.join();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(server.Stop(), 0);
    // A second on a quiet machine; the margin is for a busy one.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

}  // namespace

namespace {

TEST(StandaloneServer, APortAnotherServerHoldsIsRefused)
{
    StandaloneServer first;
    ASSERT_GT(first.Port(), 0) << first.FirstLine();
    const std::string port = std::to_string(first.Port());
    // The second one's stdout stays empty: it fails before it listens.
    StandaloneServer second({"--port", port});
    EXPECT_EQ(second.Port(), 0) << second.FirstLine();
    EXPECT_EQ(second.Stop(), 1) << "the port cannot be bound";

    // The first still answers every request on its port.
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(HttpGet("http://127.0.0.1:" + port + "/demo.cgi?address=67601").status, 200);
    EXPECT_EQ(first.Stop(), 0);
}

}  // namespace

#include "services/ReferenceServices.h"
#include "tests/services/ServiceClient.h"
#include "tests/support/Deadline.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

// Few threads and no map data to load, so that a cycle costs little more
// than the server's own start and stop.
ReferenceServiceOptions QuickOptions(const TempDir& noMapData)
{
    ReferenceServiceOptions options;
    options.waitSeconds = 0;
    options.threads = 2;
    options.mapDataFolder = noMapData.Path().string();
    return options;
}

// A connected client socket that has sent `bytes` and then waits.
int ConnectedClient(int port, const std::string& bytes)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (sock >= 0 && ::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::send(sock, bytes.data(), bytes.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(bytes.size()))
        return sock;
    if (sock >= 0)
        ::close(sock);
    return -1;
}

}  // namespace

TEST(ServerLifecycle, StopEndsHoweverSoonItFollowsStart)
{
    const TempDir noMapData;
    std::atomic<int> cycle{0};
    const Deadline deadline(60s, [&] { return "start/stop cycle " + std::to_string(cycle.load()) + " of 1000"; });
    for (; cycle < 1000; ++cycle) {
        ReferenceServices services(QuickOptions(noMapData));
        const int port = services.Start();
        ASSERT_NE(port, 0) << services.Error();
        // Now and then a request right after the start: the server answers
        // from the moment Start() returns.
        if (cycle % 100 == 0) {
            EXPECT_NE(RawRequest(port, "GET /nothing-here HTTP/1.0").find(" 404 "), std::string::npos);
        }
        // Half stop explicitly, half by destruction.
        if (cycle % 2 == 0)
            services.Stop();
    }
}

TEST(ServerLifecycle, StopDropsClientsThatKeepTheServerWaiting)
{
    const TempDir noMapData;
    ReferenceServices services(QuickOptions(noMapData));
    const int port = services.Start();
    ASSERT_NE(port, 0) << services.Error();
    // More waiting clients than threads: one has sent nothing, one half a
    // request line, one headers without their blank line; the rest queue.
    std::vector<int> clients;
    for (const char* sent : {"", "GET /demo.cgi?add", "GET / HTTP/1.0\r\nHost: x\r\n", "", ""})
        clients.push_back(ConnectedClient(port, sent));
    std::this_thread::sleep_for(50ms);  // lets the server take them up

    // Each of them would keep a thread for the server's 5 s read time-out.
    const auto before = std::chrono::steady_clock::now();
    {
        const Deadline deadline(20s, [] { return std::string("Stop() with waiting clients"); });
        services.Stop();
    }
    EXPECT_LT(std::chrono::steady_clock::now() - before, 3s);
    for (const int client : clients) {
        ASSERT_GE(client, 0);
        char byte;
        EXPECT_LE(::recv(client, &byte, 1, 0), 0) << "the connection stays open after Stop()";
        ::close(client);
    }
    EXPECT_EQ(services.Start(), 0) << "a stopped instance does not start again";
}

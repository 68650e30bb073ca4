#include "tests/http/LoopbackServer.h"
#include "tests/support/Deadline.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

int Connect(int port)
{
    const int sock = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (sock >= 0 && ::connect(sock, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return sock;
    if (sock >= 0)
        ::close(sock);
    return -1;
}

// Sends a request and reads the answer until the server closes.
std::string Exchange(int port, const std::string& request)
{
    const int sock = Connect(port);
    std::string answer;
    if (sock < 0)
        return answer;
    ::send(sock, request.data(), request.size(), MSG_NOSIGNAL);
    char buffer[1024];
    ssize_t got;
    while ((got = ::recv(sock, buffer, sizeof buffer, 0)) > 0)
        answer.append(buffer, static_cast<size_t>(got));
    ::close(sock);
    return answer;
}

}  // namespace

TEST(LoopbackServerLifecycle, StopEndsHoweverSoonItFollowsStart)
{
    std::atomic<int> cycle{0};
    const Deadline deadline(60s, [&] { return "start/stop cycle " + std::to_string(cycle.load()) + " of 1000"; });
    for (; cycle < 1000; ++cycle) {
        LoopbackServer server([](HttpTestConnection& connection) { connection.Reply(200, "", "ok"); });
        if (cycle % 100 == 0) {
            EXPECT_NE(Exchange(server.Port(), "GET / HTTP/1.0\r\n\r\n").find("\r\n\r\nok"), std::string::npos);
        }
    }
}

TEST(LoopbackServerLifecycle, StopEndsStallsAndSilentClients)
{
    std::atomic<int> stalling{0};
    std::optional<LoopbackServer> server;
    server.emplace([&](HttpTestConnection& connection) {
        ++stalling;
        connection.Stall(1h);
    });
    std::vector<int> clients{Connect(server->Port())};  // sends nothing
    for (int i = 0; i < 3; ++i) {
        clients.push_back(Connect(server->Port()));
        ::send(clients.back(), "GET / HTTP/1.0\r\n\r\n", 18, MSG_NOSIGNAL);
    }
    const auto before = std::chrono::steady_clock::now();
    while (stalling < 3 && std::chrono::steady_clock::now() - before < 10s)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(stalling, 3);
    {
        const Deadline deadline(20s, [] { return std::string("destroying a server with stalled handlers"); });
        server.reset();
    }
    for (const int client : clients) {
        ASSERT_GE(client, 0);
        char byte;
        EXPECT_LE(::recv(client, &byte, 1, 0), 0);
        ::close(client);
    }
}

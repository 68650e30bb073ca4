#include "tests/services/ServiceClient.h"

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

// Runs terrafetch-services on a free port and reads the port from the line
// it prints first; stops it with SIGTERM, and kills it when it has not ended
// within ten seconds of that.
class StandaloneServer {
public:
    StandaloneServer()
    {
        int pipeEnds[2];
        if (::pipe(pipeEnds) != 0)
            return;
        pid_ = ::fork();
        if (pid_ == 0) {
            ::dup2(pipeEnds[1], STDOUT_FILENO);
            ::close(pipeEnds[0]);
            ::close(pipeEnds[1]);
            ::execl(TERRAFETCH_SERVICES_PROGRAM, TERRAFETCH_SERVICES_PROGRAM, "--port", "0", "--wait", "0",
                    static_cast<char*>(nullptr));
            ::_exit(127);
        }
        ::close(pipeEnds[1]);
        output_ = ::fdopen(pipeEnds[0], "r");
        char line[512];
        if (output_ && std::fgets(line, sizeof line, output_)) {
            firstLine_ = line;
            const size_t colon = firstLine_.find("127.0.0.1:");
            if (colon != std::string::npos)
                port_ = std::atoi(firstLine_.c_str() + colon + 10);
        }
    }
    ~StandaloneServer()
    {
        Stop();
        if (output_)
            std::fclose(output_);
    }

    // The exit status after SIGTERM, or -1 (also when it had to be killed).
    int Stop()
    {
        if (pid_ <= 0)
            return -1;
        ::kill(pid_, SIGTERM);
        int status = 0;
        const auto killAt = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (::waitpid(pid_, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > killAt) {
                ::kill(pid_, SIGKILL);
                ::waitpid(pid_, &status, 0);
                pid_ = -1;
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    int Port() const { return port_; }
    const std::string& FirstLine() const { return firstLine_; }

private:
    pid_t pid_ = -1;
    FILE* output_ = nullptr;
    int port_ = 0;
    std::string firstLine_;
};

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

}  // namespace

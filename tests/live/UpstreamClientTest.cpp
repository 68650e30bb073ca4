#include "live/UpstreamClient.h"

#include "tests/http/LoopbackServer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

UpstreamClient::Limits QuickLimits()
{
    UpstreamClient::Limits limits;
    limits.connectTimeoutSeconds = 5;
    limits.stallTimeoutSeconds = 5;
    limits.firstBackoff = 10ms;
    return limits;
}

// Counts the attempts a retried transfer makes through its sink.
class CountingSink : public UpstreamClient::BodySink {
public:
    void Begin() override
    {
        ++begun;
        body.clear();
    }
    bool Append(const char* data, size_t size) override
    {
        body.append(data, size);
        return body.find("bad") == std::string::npos;
    }
    std::string Reason() const override { return "the body says bad"; }

    int begun = 0;
    std::string body;
};

TEST(UpstreamClient, KeepsTheBodyAndNamesItselfToTheServer)
{
    LoopbackServer server([](HttpTestConnection& connection) {
        connection.Reply(200, "Content-Type: image/png\r\n", "picture");
    });
    UpstreamClient client(QuickLimits());
    UpstreamAnswer answer = client.Get(server.Url("/tile"), 1000);
    ASSERT_TRUE(answer.ok) << answer.error;
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.contentType, "image/png");
    EXPECT_EQ(answer.body, "picture");
    ASSERT_EQ(server.RequestCount(), 1);
    EXPECT_NE(server.Requests()[0].Header("User-Agent").find("terraFetch/"), std::string::npos);
}

TEST(UpstreamClient, RetriesPassingFailuresButNotAnswersThatStand)
{
    std::atomic<int> calls{0};
    LoopbackServer flaky([&](HttpTestConnection& connection) {
        if (++calls < 3)
            connection.Reply(503, "", "busy");
        else
            connection.Reply(200, "", "done");
    });
    UpstreamClient client(QuickLimits());
    CountingSink sink;
    UpstreamAnswer answer = client.Get(flaky.Url("/x"), 1000, sink);
    ASSERT_TRUE(answer.ok) << answer.error;
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(sink.body, "done");
    EXPECT_EQ(sink.begun, 3) << "each attempt starts the sink afresh";

    LoopbackServer missing([](HttpTestConnection& connection) { connection.Reply(404, "", "no tile"); });
    answer = client.Get(missing.Url("/x"), 1000);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.status, 404);
    EXPECT_EQ(missing.RequestCount(), 1);

    calls = -100;  // the flaky server now fails more often than the client tries
    answer = client.Get(flaky.Url("/x"), 1000);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.status, 503) << "the last answer is reported once the attempts are spent";
}

TEST(UpstreamClient, RefusedBodiesFailAtOnceWithTheReason)
{
    LoopbackServer server([](HttpTestConnection& connection) {
        connection.Reply(200, "", std::string(5000, 'x') + "bad");
    });
    UpstreamClient client(QuickLimits());
    UpstreamAnswer answer = client.Get(server.Url("/big"), 4096);
    EXPECT_FALSE(answer.ok);
    EXPECT_NE(answer.error.find("larger than 4096 bytes"), std::string::npos) << answer.error;
    EXPECT_NE(answer.error.find("127.0.0.1"), std::string::npos) << "the error names the source";

    CountingSink sink;
    answer = client.Get(server.Url("/big"), 1 << 20, sink);
    EXPECT_FALSE(answer.ok);
    EXPECT_NE(answer.error.find("the body says bad"), std::string::npos) << answer.error;
    EXPECT_EQ(server.RequestCount(), 2) << "refused bodies are not fetched again";
}

TEST(UpstreamClient, AnUnreachableSourceFailsAfterItsAttempts)
{
    int port;
    {
        LoopbackServer closed([](HttpTestConnection&) {});
        port = closed.Port();
    }
    UpstreamClient client(QuickLimits());
    UpstreamAnswer answer = client.Get("http://127.0.0.1:" + std::to_string(port) + "/x", 100);
    EXPECT_FALSE(answer.ok);
    EXPECT_FALSE(answer.error.empty());
}

TEST(UpstreamClient, CancelEndsStalledTransfersAndBackOffPromptly)
{
    LoopbackServer stalling([](HttpTestConnection& connection) {
        connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
        connection.Stall(60s);
    });
    UpstreamClient::Limits limits = QuickLimits();
    limits.stallTimeoutSeconds = 60;
    limits.firstBackoff = 60s;
    UpstreamClient client(limits);
    auto started = std::chrono::steady_clock::now();
    std::thread canceller([&] {
        std::this_thread::sleep_for(200ms);
        client.Cancel();
    });
    UpstreamAnswer answer = client.Get(stalling.Url("/slow"), 100);
    canceller.join();
    EXPECT_FALSE(answer.ok);
    EXPECT_NE(answer.error.find("cancelled"), std::string::npos) << answer.error;
    EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
    EXPECT_TRUE(client.Cancelled());
    EXPECT_FALSE(client.Get(stalling.Url("/again"), 100).ok) << "a cancelled client starts nothing";
}

TEST(UpstreamClient, KeepsToItsLimitOfParallelRequests)
{
    std::atomic<int> running{0}, most{0};
    LoopbackServer server([&](HttpTestConnection& connection) {
        int now = ++running;
        int seen = most;
        while (now > seen && !most.compare_exchange_weak(seen, now)) {
        }
        connection.Stall(100ms);
        --running;
        connection.Reply(200, "", "ok");
    });
    UpstreamClient::Limits limits = QuickLimits();
    limits.maxParallel = 2;
    UpstreamClient client(limits);
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i)
        threads.emplace_back([&] { EXPECT_TRUE(client.Get(server.Url("/p"), 100).ok); });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(server.RequestCount(), 6);
    EXPECT_LE(most.load(), 2);
}

}  // namespace

namespace {

TEST(UpstreamClient, HonoursRetryAfterWithinItsBoundAndGivesUpPastIt)
{
    std::atomic<int> calls{0};
    LoopbackServer busy([&](HttpTestConnection& connection) {
        if (++calls == 1)
            connection.Reply(503, "Retry-After: 1\r\n", "busy");
        else
            connection.Reply(200, "", "done");
    });
    UpstreamClient::Limits limits = QuickLimits();
    limits.firstBackoff = 1ms;
    UpstreamClient client(limits);
    const auto started = std::chrono::steady_clock::now();
    UpstreamAnswer answer = client.Get(busy.Url("/x"), 100);
    ASSERT_TRUE(answer.ok) << answer.error;
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.attempts, 2);
    EXPECT_GE(std::chrono::steady_clock::now() - started, 900ms) << "the server's wait, not the back-off";

    LoopbackServer overloaded([](HttpTestConnection& connection) {
        connection.Reply(429, "Retry-After: 120\r\n", "later");
    });
    limits.maxRetryWait = 2s;
    UpstreamClient bounded(limits);
    answer = bounded.Get(overloaded.Url("/x"), 100);
    ASSERT_TRUE(answer.ok);
    EXPECT_EQ(answer.status, 429);
    EXPECT_EQ(overloaded.RequestCount(), 1) << "a wait past the bound is not worth a second try";
}

TEST(UpstreamClient, RetryAfterReadsSecondsAndHttpDates)
{
    const long long now = 1445412480;  // Wed, 21 Oct 2015 07:28:00 GMT
    EXPECT_EQ(RetryAfterSeconds("120", now), 120);
    EXPECT_EQ(RetryAfterSeconds(" 0 ", now), 0);
    EXPECT_EQ(RetryAfterSeconds("Wed, 21 Oct 2015 07:30:00 GMT", now), 120);
    EXPECT_EQ(RetryAfterSeconds("Wed, 21 Oct 2015 07:00:00 GMT", now), 0) << "a date gone by means now";
    EXPECT_GE(RetryAfterSeconds("99999999999999999999", now), 86400) << "huge numbers stay huge";
    EXPECT_EQ(RetryAfterSeconds("soon", now), -1);
    EXPECT_EQ(RetryAfterSeconds("", now), -1);
    EXPECT_EQ(RetryAfterSeconds("-5", now), -1);
}

TEST(UpstreamClient, FailuresNoRetryMendsAreTriedOnce)
{
    LoopbackServer elsewhere([](HttpTestConnection& connection) {
        connection.Reply(302, "Location: file:///etc/passwd\r\n", "");
    });
    LoopbackServer refusing([](HttpTestConnection& connection) { connection.Reply(403, "", "no"); });
    UpstreamClient client(QuickLimits());
    UpstreamAnswer answer = client.Get(elsewhere.Url("/x"), 100);
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.attempts, 1) << answer.error;
    EXPECT_EQ(elsewhere.RequestCount(), 1);
    answer = client.Get(refusing.Url("/x"), 100);
    EXPECT_EQ(answer.status, 403);
    EXPECT_EQ(refusing.RequestCount(), 1);
}

TEST(UpstreamClient, ASlowFirstByteIsARenderAndOnlyTheTotalLimitEndsIt)
{
    LoopbackServer rendering([](HttpTestConnection& connection) {
        connection.Stall(2500ms);  // renders before it sends a byte
        connection.Reply(200, "", "picture");
    });
    UpstreamClient::Limits limits = QuickLimits();
    limits.stallTimeoutSeconds = 1;
    limits.totalTimeoutSeconds = 30;
    UpstreamClient patient(limits);
    UpstreamAnswer answer = patient.Get(rendering.Url("/map"), 100);
    ASSERT_TRUE(answer.ok) << answer.error;
    EXPECT_EQ(answer.body, "picture");
    EXPECT_EQ(rendering.RequestCount(), 1) << "rendered once";

    limits.totalTimeoutSeconds = 1;
    limits.attempts = 2;
    UpstreamClient hurried(limits);
    answer = hurried.Get(rendering.Url("/map"), 100);
    EXPECT_FALSE(answer.ok);
    EXPECT_NE(answer.error.find("no answer within 1 s"), std::string::npos) << answer.error;
    EXPECT_EQ(answer.attempts, 2) << "a time-out may pass";
}

TEST(UpstreamClient, AnAnswerThatStallsOnceBegunIsRetried)
{
    std::atomic<int> calls{0};
    LoopbackServer dripping([&](HttpTestConnection& connection) {
        if (++calls == 1) {
            connection.Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc");
            connection.Stall(5s);
        } else {
            connection.Reply(200, "", "0123456789");
        }
    });
    UpstreamClient::Limits limits = QuickLimits();
    limits.stallTimeoutSeconds = 1;
    UpstreamClient client(limits);
    UpstreamAnswer answer = client.Get(dripping.Url("/tile"), 100);
    ASSERT_TRUE(answer.ok) << answer.error;
    EXPECT_EQ(answer.body, "0123456789");
    EXPECT_EQ(answer.attempts, 2);
}

}  // namespace

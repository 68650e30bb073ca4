#include "geocode/GeocodeThread.h"
#include "tests/http/LoopbackServer.h"
#include "tests/support/NoWaitServices.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <curl/curl.h>

#include <memory>
#include <mutex>
#include <string>

namespace {

class GeocodeThreadTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        curl_global_init(CURL_GLOBAL_ALL);
        ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    }

    static std::string Host() { return NoWaitServices().HostAndPort(); }

    // After every run the controls are unlocked again and Cancel is off.
    static void ExpectIdleControls(const RecordingWindow& window)
    {
        for (const JobControl control :
             {JobControl::Close, JobControl::Proceed, JobControl::WestEdge, JobControl::NorthEdge})
            EXPECT_EQ(window.ControlEnabled(control), true);
        EXPECT_EQ(window.ControlEnabled(JobControl::Cancel), false);
    }

    static GeocodeRequest Ask(const std::string& address, double quadSize = 1.0, bool alignToGrid = false)
    {
        return GeocodeRequest{Host(), address, quadSize, alignToGrid, 120};
    }

    std::atomic<bool> cancelRequested{false};

};


bool HasLineStartingWith(const RecordingWindow& window, const std::string& prefix)
{
    for (const std::string& line : window.Lines())
        if (line.rfind(prefix, 0) == 0)
            return true;
    return false;
}

TEST_F(GeocodeThreadTest, SingleMatchPlacesTheQuad)
{
    RecordingWindow window;
    const GeocodeOutcome outcome = GeocodeThread(window, Ask("Salina, KS"), cancelRequested);
    EXPECT_EQ(outcome.result, 0);
    ExpectIdleControls(window);
    // Salina, Kansas lies near 38.84 N, 97.63 W; the 1-degree quad is centred on it.
    ASSERT_TRUE(outcome.quad);
    EXPECT_NEAR(outcome.quad->left, -98.13, 0.01);
    EXPECT_NEAR(outcome.quad->right, -97.13, 0.01);
    EXPECT_NEAR(outcome.quad->top, 39.34, 0.01);
    EXPECT_NEAR(outcome.quad->bottom, 38.34, 0.01);
    EXPECT_TRUE(HasLineStartingWith(window, "  quad: -98.13"));
}

TEST_F(GeocodeThreadTest, AlignedMatchSnapsToTheGrid)
{
    RecordingWindow window;
    EXPECT_EQ(GeocodeThread(window, Ask("Salina, KS", 0.25, true), cancelRequested).result, 0);
    EXPECT_TRUE(window.HasLine("  quad: -97.750000, -97.500000, 39.000000, 38.750000"));
}

TEST_F(GeocodeThreadTest, SeveralPlacesBecomeCandidates)
{
    RecordingWindow window;
    const GeocodeOutcome outcome = GeocodeThread(window, Ask("Springfield"), cancelRequested);
    EXPECT_EQ(outcome.result, 0);
    ExpectIdleControls(window);
    EXPECT_TRUE(window.HasLine("        Multiple addresses found:"));
    EXPECT_TRUE(HasLineStartingWith(window, "        \u00BBSpringfield, Springfield, "));
    EXPECT_FALSE(outcome.quad);
    EXPECT_EQ(window.StatusHistory(), (std::vector<StatusIcon>{StatusIcon::Failure, StatusIcon::Ok}));
}

TEST_F(GeocodeThreadTest, UnknownAddressFindsNothing)
{
    RecordingWindow window;
    EXPECT_EQ(GeocodeThread(window, Ask("Qwxyz Nowhere, ZZ"), cancelRequested).result, 0);
    EXPECT_TRUE(window.HasLine("        No address found."));
    ExpectIdleControls(window);
}

TEST_F(GeocodeThreadTest, ServerErrorShowsTheFailureAndKeepsTheQuad)
{
    std::mutex mutex;
    std::string target;
    LoopbackServer server([&](HttpTestConnection& connection) {
        {
            std::lock_guard lock(mutex);
            target = connection.Request().target;
        }
        connection.Reply(500, "", "broken");
    });
    RecordingWindow window;
    GeocodeRequest request = Ask("1 A&B St, X");
    request.host = "127.0.0.1:" + std::to_string(server.Port());
    const GeocodeOutcome outcome = GeocodeThread(window, request, cancelRequested);
    EXPECT_NE(outcome.result, 0);
    ExpectIdleControls(window);
    EXPECT_EQ(window.StatusHistory(), std::vector<StatusIcon>{StatusIcon::Failure});
    EXPECT_FALSE(outcome.quad);
    std::lock_guard lock(mutex);
    EXPECT_EQ(target, "/demo.cgi?address=1%20A%26B%20St%2C%20X");
}

TEST_F(GeocodeThreadTest, WorkerRunsOneAtATimeAndReportsItsEnd)
{
    RecordingWindow window;
    GeocodeWorker worker(window);
    std::atomic<int> finished{-1};
    std::optional<Quad> quad;
    ASSERT_TRUE(worker.Start(Ask("67401"), [&](const GeocodeOutcome& outcome) {
        quad = outcome.quad;
        finished = outcome.result;
    }));
    worker.Wait();
    EXPECT_EQ(finished, 0);
    EXPECT_TRUE(quad) << "the outcome carries the quad";
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_TRUE(HasLineStartingWith(window, "  quad: "));
    // A finished worker starts again.
    ASSERT_TRUE(worker.Start(Ask("Springfield")));
    worker.Wait();
    EXPECT_TRUE(window.HasLine("        Multiple addresses found:"));
}

} // namespace

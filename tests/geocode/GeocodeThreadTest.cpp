#include "core/JobFields.h"
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
    static void ExpectIdleControls(const RecordingWindow& window, const JobFields& job)
    {
        for (const JobControl control :
             {JobControl::Close, JobControl::Proceed, JobControl::WestEdge, JobControl::NorthEdge})
            EXPECT_EQ(window.ControlEnabled(control), true);
        EXPECT_EQ(window.ControlEnabled(JobControl::Cancel), false);
        EXPECT_TRUE(job.controlsUnlocked);
    }

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
    JobFields job;
    EXPECT_EQ(GeocodeThread(window, job, Host(), "Salina, KS"), 0);
    ExpectIdleControls(window, job);
    // Salina, Kansas lies near 38.84 N, 97.63 W; the 1-degree quad is centred on it.
    EXPECT_NEAR(job.quadLeft, -98.13, 0.01);
    EXPECT_NEAR(job.quadRight, -97.13, 0.01);
    EXPECT_NEAR(job.quadTop, 39.34, 0.01);
    EXPECT_NEAR(job.quadBottom, 38.34, 0.01);
    EXPECT_TRUE(HasLineStartingWith(window, "  quad: -98.13"));
    EXPECT_EQ(window.CoordinateRefreshes(), 1);
}

TEST_F(GeocodeThreadTest, AlignedMatchSnapsToTheGrid)
{
    RecordingWindow window;
    JobFields job;
    job.quadSize = 0.25;
    job.alignQuadToGrid = true;
    EXPECT_EQ(GeocodeThread(window, job, Host(), "Salina, KS"), 0);
    EXPECT_TRUE(window.HasLine("  quad: -97.750000, -97.500000, 39.000000, 38.750000"));
}

TEST_F(GeocodeThreadTest, SeveralPlacesBecomeCandidates)
{
    RecordingWindow window;
    JobFields job;
    EXPECT_EQ(GeocodeThread(window, job, Host(), "Springfield"), 0);
    ExpectIdleControls(window, job);
    EXPECT_TRUE(window.HasLine("        Multiple addresses found:"));
    EXPECT_TRUE(HasLineStartingWith(window, "        \u00BBSpringfield, Springfield, "));
    EXPECT_DOUBLE_EQ(job.quadLeft, -99.0);
    EXPECT_EQ(window.StatusHistory(), (std::vector<StatusIcon>{StatusIcon::Failure, StatusIcon::Ok}));
}

TEST_F(GeocodeThreadTest, UnknownAddressFindsNothing)
{
    RecordingWindow window;
    JobFields job;
    EXPECT_EQ(GeocodeThread(window, job, Host(), "Qwxyz Nowhere, ZZ"), 0);
    EXPECT_TRUE(window.HasLine("        No address found."));
    ExpectIdleControls(window, job);
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
    JobFields job;
    EXPECT_NE(GeocodeThread(window, job, "127.0.0.1:" + std::to_string(server.Port()), "1 A&B St, X"), 0);
    ExpectIdleControls(window, job);
    EXPECT_EQ(window.StatusHistory(), std::vector<StatusIcon>{StatusIcon::Failure});
    EXPECT_DOUBLE_EQ(job.quadLeft, -99.0);
    EXPECT_DOUBLE_EQ(job.quadTop, 40.0);
    std::lock_guard lock(mutex);
    EXPECT_EQ(target, "/demo.cgi?address=1%20A%26B%20St%2C%20X");
}

TEST_F(GeocodeThreadTest, WorkerRunsOneAtATimeAndReportsItsEnd)
{
    RecordingWindow window;
    JobFields job;
    GeocodeWorker worker(window, job);
    std::atomic<int> finished{-1};
    ASSERT_TRUE(worker.Start(Host(), "67401", [&](int result) { finished = result; }));
    worker.Wait();
    EXPECT_EQ(finished, 0);
    EXPECT_FALSE(worker.IsRunning());
    EXPECT_TRUE(HasLineStartingWith(window, "  quad: "));
    // A finished worker starts again.
    ASSERT_TRUE(worker.Start(Host(), "Springfield"));
    worker.Wait();
    EXPECT_TRUE(window.HasLine("        Multiple addresses found:"));
}

} // namespace

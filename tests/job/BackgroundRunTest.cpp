#include "job/BackgroundRun.h"
#include "tests/support/Deadline.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace std::chrono_literals;

TEST(BackgroundRun, RefusesASecondStartWhileWorkRuns)
{
    std::atomic<bool> running{false};
    std::mutex mutex;
    std::condition_variable changed;
    bool release = false;
    std::vector<int> results;
    {
        BackgroundRun run(running);
        ASSERT_TRUE(run.Start(
            [&] {
                std::unique_lock lock(mutex);
                changed.wait(lock, [&] { return release; });
                return 7;
            },
            [&](int result) { results.push_back(result); }));
        EXPECT_TRUE(run.IsRunning());
        EXPECT_FALSE(run.Start([] { return 1; }, {}));
        {
            std::lock_guard lock(mutex);
            release = true;
        }
        changed.notify_all();
        run.Wait();
        EXPECT_FALSE(run.IsRunning());
        ASSERT_TRUE(run.Start([] { return 8; }, [&](int result) { results.push_back(result); }));
    }  // the destructor waits for the second run
    EXPECT_EQ(results, (std::vector<int>{7, 8}));
}

TEST(BackgroundRun, OnFinishedMayStartTheNextRun)
{
    std::atomic<bool> running{false};
    std::atomic<int> runs{0};
    std::atomic<bool> lastDone{false};
    const Deadline deadline(20s, [&] { return "chained runs, " + std::to_string(runs.load()) + " done"; });
    BackgroundRun run(running);
    std::function<void(int)> next = [&](int) {
        if (++runs < 100)
            EXPECT_TRUE(run.Start([] { return 0; }, next));
        else
            lastDone = true;
    };
    ASSERT_TRUE(run.Start([] { return 0; }, next));
    while (!lastDone)
        std::this_thread::sleep_for(1ms);
    run.Wait();
    EXPECT_EQ(runs, 100);
}

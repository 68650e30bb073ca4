#pragma once

#include <atomic>
#include <functional>
#include <thread>

// Runs one piece of work at a time on a thread of its own.
//
// Lifecycle: Start() claims the `running` flag (refusing while it is set),
// calls `prepare` on the calling thread, then runs `work` on a new thread,
// clears the flag and calls `onFinished` with the work's result (on that
// thread). The destructor waits for a running thread, so the owner lets the
// work end before destroying it on a thread that must not block.
class BackgroundRun {
public:
    explicit BackgroundRun(std::atomic<bool>& running);
    ~BackgroundRun();
    BackgroundRun(const BackgroundRun&) = delete;
    BackgroundRun& operator=(const BackgroundRun&) = delete;

    // False, and nothing started, while work runs.
    bool Start(std::function<int()> work, std::function<void(int)> onFinished,
               const std::function<void()>& prepare = {});
    bool IsRunning() const { return running_; }
    // Waits for the thread to end.
    void Wait();

private:
    std::atomic<bool>& running_;
    std::thread thread_;
};

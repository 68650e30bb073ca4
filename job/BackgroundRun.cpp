#include "job/BackgroundRun.h"

BackgroundRun::BackgroundRun(std::atomic<bool>& running)
    : running_(running)
{
}

BackgroundRun::~BackgroundRun()
{
    Wait();
}

bool BackgroundRun::Start(std::function<int()> work, std::function<void(int)> onFinished,
                          const std::function<void()>& prepare)
{
    if (running_.exchange(true))
        return false;
    Wait();  // the previous run has finished its work already
    if (prepare)
        prepare();
    thread_ = std::thread([this, work = std::move(work), onFinished = std::move(onFinished)] {
        const int result = work();
        running_ = false;
        if (onFinished)
            onFinished(result);
    });
    return true;
}

void BackgroundRun::Wait()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

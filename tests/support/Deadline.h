#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// Ends the test program with a message when the scope it guards has not been
// left within `limit`: a hang then fails in seconds and says where it stuck,
// instead of waiting for the test's time limit with nothing to show.
class Deadline {
public:
    Deadline(std::chrono::seconds limit, std::function<std::string()> where)
        : watcher_([this, limit, where = std::move(where)] {
            std::unique_lock lock(mutex_);
            if (!left_.wait_for(lock, limit, [this] { return done_; })) {
                std::fprintf(stderr, "Still not done after %lld s: %s\n", static_cast<long long>(limit.count()),
                             where().c_str());
                std::fflush(stderr);
                std::abort();
            }
        })
    {
    }
    ~Deadline()
    {
        {
            std::lock_guard lock(mutex_);
            done_ = true;
        }
        left_.notify_all();
        watcher_.join();
    }
    Deadline(const Deadline&) = delete;
    Deadline& operator=(const Deadline&) = delete;

private:
    std::mutex mutex_;
    std::condition_variable left_;
    bool done_ = false;
    std::thread watcher_;  // last: starts once the state above exists
};

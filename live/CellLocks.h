#pragma once

#include "live/HgtTile.h"

#include <map>
#include <memory>
#include <mutex>
#include <utility>

// One mutex per 1° cell, made on first use and kept: two fetches of one
// cell wait for each other instead of downloading it twice.
class CellLocks {
public:
    std::mutex& Of(const HgtCell& cell)
    {
        std::lock_guard lock(mutex_);
        auto& slot = locks_[{cell.latitude, cell.longitude}];
        if (!slot)
            slot = std::make_unique<std::mutex>();
        return *slot;
    }

private:
    std::mutex mutex_;
    std::map<std::pair<int, int>, std::unique_ptr<std::mutex>> locks_;
};

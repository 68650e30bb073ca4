#include "live/PieceFlights.h"

PieceFlights::Hold::Hold(PieceFlights& flights, std::string key) : flights_(flights), key_(std::move(key))
{
    {
        std::lock_guard guard(flights_.mutex_);
        std::weak_ptr<std::mutex>& entry = flights_.locks_[key_];
        lock_ = entry.lock();
        if (!lock_) {
            lock_ = std::make_shared<std::mutex>();
            entry = lock_;
        }
    }
    lock_->lock();
}

PieceFlights::Hold::~Hold()
{
    lock_->unlock();
    std::lock_guard guard(flights_.mutex_);
    const auto it = flights_.locks_.find(key_);
    // The last holder or waiter drops the entry, so the map stays small.
    if (it != flights_.locks_.end() && lock_.use_count() == 1)
        flights_.locks_.erase(it);
}

PieceFlights& PieceFlights::Shared()
{
    static PieceFlights flights;
    return flights;
}

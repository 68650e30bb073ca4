#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

// The street map of an elevation order, drawn while the order's tiles come
// in, so that the client's map request (which has its own time-out) finds it
// finished. The order's status pages follow it and release the download only
// when it is done; a failure fails the order.
class BackgroundMap {
public:
    static constexpr const char* kCredit = "Street map: U.S. Census Bureau, TIGERweb (public domain).";

    // `progress` says how far the drawing has come, in a line or two of a
    // status page ("<BR>"-separated); it may be empty.
    explicit BackgroundMap(std::function<std::string()> progress = {}) : progress_(std::move(progress)) {}

    bool Done() const;
    bool Failed() const;
    std::string Failure() const;  // why it failed, naming the source and what to check

    std::string ProgressText() const;

    void Finish(const std::string& failure);

private:
    std::function<std::string()> progress_;
    mutable std::mutex mutex_;
    bool done_ = false;
    std::string failure_;
};

// Starts drawing the map a job will ask for with an order of that quad.
using BackgroundMapStarter =
    std::function<std::shared_ptr<BackgroundMap>(double west, double east, double south, double north)>;

// The query the job sends for a quad's map: centred on it, east-west wide,
// 4 % taller than north-south, 1200 pixels wide and as tall in proportion,
// with the job's fixed layer list. The client builds the same request itself
// (a folder the services may not depend on); both must stay alike for the
// map drawn ahead to be the one asked for.
std::string JobMapQuery(double west, double east, double south, double north);

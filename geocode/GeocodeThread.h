#pragma once

#include "core/BackgroundRun.h"
#include "core/QuadGeometry.h"

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>

class JobWindow;

// What a geocoding run asks: the address, the geocoder's "host[:port]", and
// the quad to place around a match.
struct GeocodeRequest {
    std::string host;
    std::string address;
    double quadSize = 1.0;
    bool alignToGrid = false;
    int httpTimeout = 120;
};

// How it ended: the request's result code and, for a single match, the quad
// around it, which the window takes on as its own.
struct GeocodeOutcome {
    int result = 0;
    std::optional<Quad> quad;
};

// One geocoding run, on whatever thread calls it: locks the controls a job
// would disturb, asks the geocoder for the address, unlocks them and reports
// the answer (ParseGeocodeAnswer), or shows the failure indication when the
// request failed.
GeocodeOutcome GeocodeThread(JobWindow& window, const GeocodeRequest& request,
                             const std::atomic<bool>& cancelRequested);

// Runs geocoding on a background thread, one run at a time.
//
// Lifecycle: Start() clears the cancel flag and starts the thread, which
// runs GeocodeThread, marks the worker idle and then calls `onFinished` with
// the outcome (on that thread). The destructor waits for a running thread,
// so its owner lets the run end (Cancel, then wait for `onFinished`) before
// destroying it on a thread that must not block.
class GeocodeWorker {
public:
    explicit GeocodeWorker(JobWindow& window);
    ~GeocodeWorker();
    GeocodeWorker(const GeocodeWorker&) = delete;
    GeocodeWorker& operator=(const GeocodeWorker&) = delete;

    // False, and nothing started, while a run is going on.
    bool Start(GeocodeRequest request, std::function<void(const GeocodeOutcome&)> onFinished = {});
    void Cancel() { cancelRequested_ = true; }
    bool IsRunning() const { return run_.IsRunning(); }
    // Waits for the thread to end; for tests.
    void Wait() { run_.Wait(); }

private:
    JobWindow& window_;
    std::atomic<bool> cancelRequested_{false};
    std::mutex outcomeMutex_;
    GeocodeOutcome outcome_;
    std::atomic<bool> running_{false};
    BackgroundRun run_{running_};
};

#pragma once

#include "core/BackgroundRun.h"

#include <atomic>
#include <functional>
#include <string>

class JobWindow;
struct JobFields;

// One geocoding run, on whatever thread calls it: locks the controls a job
// would disturb, asks the geocoder at `host` for `address`, unlocks them and
// acts on the answer (ParseGeocodeAnswer), or shows the failure indication
// when the request failed. Returns the request's result code.
int GeocodeThread(JobWindow& window, JobFields& job, const std::string& host, const std::string& address);

// Runs geocoding on a background thread, one run at a time.
//
// Lifecycle: Start() starts the thread, which runs GeocodeThread, marks the
// worker idle and then calls `onFinished` with the result (on that thread).
// Cancel is the job record's `cancelRequested`. The destructor waits for a
// running thread, so its owner lets the run end (cancel, then wait for
// `onFinished`) before destroying it on a thread that must not block.
class GeocodeWorker {
public:
    GeocodeWorker(JobWindow& window, JobFields& job);
    ~GeocodeWorker();
    GeocodeWorker(const GeocodeWorker&) = delete;
    GeocodeWorker& operator=(const GeocodeWorker&) = delete;

    // False, and nothing started, while a run is going on.
    bool Start(const std::string& host, const std::string& address,
               std::function<void(int)> onFinished = {});
    bool IsRunning() const { return run_.IsRunning(); }
    // Waits for the thread to end; for tests.
    void Wait() { run_.Wait(); }

private:
    JobWindow& window_;
    JobFields& job_;
    std::atomic<bool> running_{false};
    BackgroundRun run_{running_};
};

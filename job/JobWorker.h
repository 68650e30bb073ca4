#pragma once

#include "core/BackgroundRun.h"
#include "job/JobParameters.h"
#include "job/JobResult.h"

#include <atomic>
#include <functional>
#include <mutex>

class JobWindow;

// Runs jobs on a worker thread, one at a time.
//
// Lifecycle: Start() takes the job's parameters, clears the cancel flag, shows the
// OK icon and starts the worker, which runs the pipeline on its own copy of
// the job, disables Cancel, marks itself idle and then calls `onFinished`
// with the job's result (on the worker thread). Cancel() asks the running
// job to stop. The destructor waits for a running worker, so whoever owns
// the worker must make sure the job has ended (cancel, then wait for
// `onFinished`) before destroying it on a thread that must not block.
class JobWorker {
public:
    explicit JobWorker(JobWindow& window);
    ~JobWorker();
    JobWorker(const JobWorker&) = delete;
    JobWorker& operator=(const JobWorker&) = delete;

    // False, and nothing started, while a job runs.
    bool Start(JobParameters job, std::function<void(int)> onFinished = {});
    void Cancel() { cancelRequested_ = true; }
    bool IsRunning() const;
    // Waits for the worker to end; for tests and the batch runner.
    void Wait();
    // What the last job that succeeded made (empty names before the first);
    // set before `onFinished` is called.
    JobResult LastResult() const;

private:
    JobWindow& window_;
    std::atomic<bool> cancelRequested_{false};
    mutable std::mutex resultMutex_;
    JobResult lastResult_;
    std::atomic<bool> running_{false};
    BackgroundRun run_{running_};
};

// The worker thread's procedure: runs the pipeline, then disables Cancel.
int JobThreadProc(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested,
                  JobResult* result = nullptr);

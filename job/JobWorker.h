#pragma once

#include "core/BackgroundRun.h"
#include "job/JobResult.h"
#include "job/ServiceHosts.h"

#include <functional>
#include <mutex>

class JobWindow;
struct JobFields;

// Runs jobs on a worker thread, one at a time per job record.
//
// Lifecycle: Start() clears the cancel flag, shows the OK icon and starts
// the worker, which runs the pipeline, disables Cancel, marks the record
// idle and then calls `onFinished` with the job's result (on the worker
// thread). Cancel is the caller's: set `cancelRequested` on the record.
// The destructor waits for a running worker, so whoever owns the worker
// must make sure the job has ended (cancel, then wait for `onFinished`)
// before destroying it on a thread that must not block.
class JobWorker {
public:
    JobWorker(JobWindow& window, JobFields& job);
    ~JobWorker();
    JobWorker(const JobWorker&) = delete;
    JobWorker& operator=(const JobWorker&) = delete;

    // False, and nothing started, while a job runs on the record.
    bool Start(const ServiceHosts& hosts, std::function<void(int)> onFinished = {});
    bool IsRunning() const;
    // Waits for the worker to end; for tests and the batch runner.
    void Wait();
    // The quad and files of the last job that succeeded (empty names before
    // the first); set before `onFinished` is called.
    JobResult LastResult() const;

private:
    JobWindow& window_;
    JobFields& job_;
    mutable std::mutex resultMutex_;
    JobResult lastResult_;
    BackgroundRun run_;
};

// The worker thread's procedure: runs the pipeline, then disables Cancel.
int JobThreadProc(JobWindow& window, JobFields& job, const ServiceHosts& hosts, JobResult* result = nullptr);

#include "job/JobWorker.h"

#include "core/JobWindow.h"
#include "job/RunJob.h"

int JobThreadProc(JobWindow& window, const JobParameters& job, const std::atomic<bool>& cancelRequested,
                  JobResult* jobResult)
{
    const int result = RunJob(window, job, cancelRequested, jobResult);
    window.EnableControl(JobControl::Cancel, false);
    return result;
}

JobWorker::JobWorker(JobWindow& window)
    : window_(window)
{
}

JobWorker::~JobWorker() = default;

bool JobWorker::Start(JobParameters job, std::function<void(int)> onFinished)
{
    auto work = [this, job = std::move(job)] {
        JobResult jobResult;
        const int code = JobThreadProc(window_, job, cancelRequested_, &jobResult);
        if (code == 0) {
            std::lock_guard lock(resultMutex_);
            lastResult_ = jobResult;
        }
        return code;
    };
    return run_.Start(std::move(work), std::move(onFinished), [this] {
        cancelRequested_ = false;
        window_.ShowStatus(StatusIcon::Ok);
    });
}

bool JobWorker::IsRunning() const
{
    return run_.IsRunning();
}

void JobWorker::Wait()
{
    run_.Wait();
}

JobResult JobWorker::LastResult() const
{
    std::lock_guard lock(resultMutex_);
    return lastResult_;
}

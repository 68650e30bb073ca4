#include "job/JobWorker.h"

#include "core/JobFields.h"
#include "core/JobWindow.h"
#include "job/RunJob.h"

int JobThreadProc(JobWindow& window, JobFields& job, const ServiceHosts& hosts, JobResult* jobResult)
{
    const int result = RunJob(window, job, hosts, jobResult);
    window.EnableControl(JobControl::Cancel, false);
    return result;
}

JobWorker::JobWorker(JobWindow& window, JobFields& job)
    : window_(window)
    , job_(job)
    , run_(job.jobRunning)
{
}

JobWorker::~JobWorker() = default;

bool JobWorker::Start(const ServiceHosts& hosts, std::function<void(int)> onFinished)
{
    auto work = [this, hosts] {
        JobResult jobResult;
        const int code = JobThreadProc(window_, job_, hosts, &jobResult);
        if (code == 0) {
            std::lock_guard lock(resultMutex_);
            lastResult_ = jobResult;
        }
        return code;
    };
    return run_.Start(std::move(work), std::move(onFinished), [this] {
        job_.cancelRequested = false;
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

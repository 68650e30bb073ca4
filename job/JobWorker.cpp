#include "job/JobWorker.h"

#include "core/JobFields.h"
#include "core/JobWindow.h"
#include "job/RunJob.h"

int JobThreadProc(JobWindow& window, JobFields& job, const ServiceHosts& hosts)
{
    const int result = RunJob(window, job, hosts);
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
    return run_.Start([this, hosts] { return JobThreadProc(window_, job_, hosts); }, std::move(onFinished), [this] {
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

#include "job/JobWorker.h"

#include "job/JobFields.h"
#include "job/JobWindow.h"
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
{
}

JobWorker::~JobWorker()
{
    Wait();
}

bool JobWorker::Start(const ServiceHosts& hosts, std::function<void(int)> onFinished)
{
    if (job_.jobRunning.exchange(true))
        return false;
    Wait();  // the previous worker has finished its job already
    job_.cancelRequested = false;
    window_.ShowStatus(StatusIcon::Ok);
    thread_ = std::thread([this, hosts, onFinished = std::move(onFinished)] {
        const int result = JobThreadProc(window_, job_, hosts);
        job_.jobRunning = false;
        if (onFinished)
            onFinished(result);
    });
    return true;
}

bool JobWorker::IsRunning() const
{
    return job_.jobRunning;
}

void JobWorker::Wait()
{
    if (thread_.joinable() && thread_.get_id() != std::this_thread::get_id())
        thread_.join();
}

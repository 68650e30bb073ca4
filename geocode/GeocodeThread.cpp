#include "geocode/GeocodeThread.h"

#include "core/JobFields.h"
#include "core/JobWindow.h"
#include "geocode/GeocodeAnswer.h"
#include "geocode/GeocodeUrl.h"
#include "http/CHTTPRequest.h"

#include <vector>

namespace {

void SetBusy(JobWindow& window, JobFields& job, bool busy)
{
    window.EnableControl(JobControl::Close, !busy);
    window.EnableControl(JobControl::Proceed, !busy);
    window.EnableControl(JobControl::WestEdge, !busy);
    window.EnableControl(JobControl::NorthEdge, !busy);
    job.controlsUnlocked = !busy;
    window.EnableControl(JobControl::Cancel, busy);
}

} // namespace

int GeocodeThread(JobWindow& window, JobFields& job, const std::string& host, const std::string& address)
{
    SetBusy(window, job, true);
    const std::vector<std::string> noProgressMarkers;
    int result = 0;
    std::string answer;
    {
        CHTTPRequest request(window, job.cancelRequested, noProgressMarkers, job.httpTimeout);
        result = request.execute(GeocodeUrl(host, address), "", true);
        if (result == 0)
            answer = request.getResponseText();
    }
    SetBusy(window, job, false);
    if (result == 0)
        ParseGeocodeAnswer(window, job, answer);
    else
        window.ShowFailureIndication();
    return result;
}

GeocodeWorker::GeocodeWorker(JobWindow& window, JobFields& job)
    : window_(window)
    , job_(job)
{
}

GeocodeWorker::~GeocodeWorker() = default;

bool GeocodeWorker::Start(const std::string& host, const std::string& address,
                          std::function<void(int)> onFinished)
{
    return run_.Start([this, host, address] { return GeocodeThread(window_, job_, host, address); },
                      std::move(onFinished));
}

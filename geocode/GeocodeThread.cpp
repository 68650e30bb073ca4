#include "geocode/GeocodeThread.h"

#include "core/JobWindow.h"
#include "geocode/GeocodeAnswer.h"
#include "geocode/GeocodeUrl.h"
#include "http/CHTTPRequest.h"

#include <vector>

namespace {

void SetBusy(JobWindow& window, bool busy)
{
    window.EnableControl(JobControl::Close, !busy);
    window.EnableControl(JobControl::Proceed, !busy);
    window.EnableControl(JobControl::WestEdge, !busy);
    window.EnableControl(JobControl::NorthEdge, !busy);
    window.EnableControl(JobControl::Cancel, busy);
}

} // namespace

GeocodeOutcome GeocodeThread(JobWindow& window, const GeocodeRequest& request,
                             const std::atomic<bool>& cancelRequested)
{
    SetBusy(window, true);
    const std::vector<std::string> noProgressMarkers;
    GeocodeOutcome outcome;
    std::string answer;
    {
        CHTTPRequest http(window, cancelRequested, noProgressMarkers, request.httpTimeout);
        outcome.result = http.execute(GeocodeUrl(request.host, request.address), "", true);
        if (outcome.result == 0)
            answer = http.getResponseText();
    }
    SetBusy(window, false);
    if (outcome.result == 0)
        outcome.quad = ParseGeocodeAnswer(window, answer, request.quadSize, request.alignToGrid);
    else
        window.ShowFailureIndication();
    return outcome;
}

GeocodeWorker::GeocodeWorker(JobWindow& window)
    : window_(window)
{
}

GeocodeWorker::~GeocodeWorker() = default;

bool GeocodeWorker::Start(GeocodeRequest request, std::function<void(const GeocodeOutcome&)> onFinished)
{
    auto work = [this, request = std::move(request)] {
        GeocodeOutcome outcome = GeocodeThread(window_, request, cancelRequested_);
        const int result = outcome.result;
        std::lock_guard lock(outcomeMutex_);
        outcome_ = std::move(outcome);
        return result;
    };
    auto finished = [this, onFinished = std::move(onFinished)](int) {
        if (!onFinished)
            return;
        GeocodeOutcome outcome;
        {
            std::lock_guard lock(outcomeMutex_);
            outcome = outcome_;
        }
        onFinished(outcome);
    };
    return run_.Start(std::move(work), std::move(finished), [this] { cancelRequested_ = false; });
}

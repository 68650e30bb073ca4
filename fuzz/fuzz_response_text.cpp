// Fuzz target for the text taken out of status pages: the progress text of a
// page, and the activity-log layout of a response's raw headers.
#include "fuzz/FuzzSupport.h"
#include "http/CHTTPRequest.h"

#include <atomic>
#include <vector>

namespace {

// Counts what reaches the log, to bound it by the page.
class CountingWindow : public NullWindow {
public:
    void AddToLog(const std::string& line) override { logged += line.size(); }
    size_t logged = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const std::atomic<bool> cancel{false};
    static const std::vector<std::string> markers;
    const std::string page(AsText(data, size));
    CountingWindow window;
    CHTTPRequest request(window, cancel, markers, 1);
    request.extractProgressText(page);
    FUZZ_CHECK(window.logged <= page.size());

    window.logged = 0;
    request.logMessage("Response Headers: \"" + page + "\"");
    request.logMessage(page);
    // Indenting adds two bytes to header lines of at least one byte and one
    // line feed each.
    FUZZ_CHECK(window.logged <= 3 * page.size() + 40);
    return 0;
}

#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

class JobWindow;
class HttpTransfer;
struct UrlParts;

// One HTTP GET on behalf of a background task, with every step reported in
// the window's activity log.
//
// Lifecycle: construct, execute() once, then getResponseText() or
// getFileName(), destroy. execute() blocks its thread until the exchange ends.
//
// One execute() runs passes. A pass fetches one URL: it checks the URL, opens
// a fresh transfer and runs the attempt loop, in which a connection that fails
// or stalls before the status line arrives (or a server's own 408) asks the
// time-out question and is retried only on Yes. A 401 asks for credentials and
// sends again with them. The pass then ends with a result, or with a next URL:
// a redirect's Location, or a status page's Refresh target, after the
// server-requested wait (one-second steps that look at cancel). Bodies are read
// in blocks of at most 2047 bytes, into memory or into a file; a download into
// a file looks at cancel after every block.
//
// Every body has a size limit: kMaxMemoryBody in memory, the caller's
// setMaxFileSize() for a file (checked against Content-Length before the
// file is made, and while it is written). A server-requested wait longer
// than kMaxServerWaitSeconds is not waited for.
//
// Results: 0 success; 1 the URL cannot be split or the password prompt was
// dismissed; 2 not an http:// URL, a redirect without location or an endless
// redirect chain; 3 cancelled; 4 the output file cannot be created or written;
// 5 any other status (408 after a declined retry included), a failure while
// a response was read, a body over its limit, a refused answer (see
// HttpTransfer) or a wait too long.
class CHTTPRequest {
public:
    // `window` receives the log lines, the progress and the questions;
    // `cancelRequested` and `progressMarkers` are the caller's and must outlive
    // the request.
    CHTTPRequest(JobWindow& window, const std::atomic<bool>& cancelRequested,
                 const std::vector<std::string>& progressMarkers, int timeoutSeconds);
    ~CHTTPRequest();
    CHTTPRequest(const CHTTPRequest&) = delete;
    CHTTPRequest& operator=(const CHTTPRequest&) = delete;

    // `fileName` is used when `toMemory` is false; empty means the last
    // component of the final URL's path, in the current folder.
    int execute(const std::string& url, const std::string& fileName, bool toMemory);
    // Largest body written to a file; a larger one fails and leaves no file.
    void setMaxFileSize(unsigned long long bytes) { maxFileBytes = bytes; }

    std::string getResponseText() const { return responseText; }
    // Absolute path of the file written by the last download to a file.
    std::string getFileName() const { return fileName; }
    // The receive time-out in seconds, as the time-out question left it.
    int getTimeoutSeconds() const { return timeoutSeconds; }
    // Status pages may go on for this long without a new progress phrase
    // before the request is given up (result 5).
    void setMaxTimeWithoutProgress(std::chrono::seconds limit) { maxTimeWithoutProgress = limit; }
    // Most bytes of status pages that one request writes to the trace log.
    void setMaxTraceBytes(unsigned long long bytes) { maxTraceBytes = bytes; }

    // Splits a message at line breaks; a "Response Headers: \"...\"" message
    // becomes a heading line and one indented line per header.
    void logMessage(const std::string& message);
    void addLogLine(const std::string& line);

    // The emphasised parts of a status page as activity-log lines.
    void extractProgressText(const std::string& html);
    void addProgressLine(const std::string& line);
    // First case-insensitive occurrence of `pattern` at or after `start`; -1 when none.
    static int findNoCase(const std::string& text, const std::string& pattern, int start);

    // Largest body kept in memory; a larger one fails the request.
    static constexpr size_t kMaxMemoryBody = 64u << 20;
    // Passes in a row without a server-requested wait before a chain is given up.
    static constexpr int kMaxPassesWithoutWait = 50;
    static constexpr unsigned long long kDefaultMaxFileBytes = 256ull << 20;
    static constexpr int kMaxServerWaitSeconds = 3600;
    // The longest wait a server may ask for is also the longest time its
    // status pages may go without a new progress phrase.
    static constexpr std::chrono::seconds kDefaultMaxTimeWithoutProgress{kMaxServerWaitSeconds};
    static constexpr unsigned long long kDefaultMaxTraceBytes = 8ull << 20;

private:
    struct PassOutcome;

    PassOutcome runPass(const UrlParts& parts, const std::string& url,
                        const std::string& fileNameArgument, bool toMemory);
    bool askTimeoutQuestion();
    PassOutcome finishStatusPage(HttpTransfer& transfer, const UrlParts& parts,
                                 const std::string& url, const std::string& fileNameArgument,
                                 bool toMemory);
    PassOutcome finishRedirect(HttpTransfer& transfer, const UrlParts& parts);
    int readBodyIntoMemory(HttpTransfer& transfer, const std::string& where);
    int downloadToFile(HttpTransfer& transfer, const UrlParts& parts,
                       const std::string& fileNameArgument);
    int waitForServer(int seconds);
    int cancelByUser();
    bool cancelled() const;
    bool announcesMoreThan(const HttpTransfer& transfer, unsigned long long limit) const;
    void noteStatusPage(bool marked);
    void traceStatusPage();
    bool progressOverdue() const;

    std::string responseText;
    std::string fileName;
    JobWindow& window;
    const std::atomic<bool>& cancelRequested;
    const std::vector<std::string>& progressMarkers;
    int timeoutSeconds;
    unsigned long long maxFileBytes = kDefaultMaxFileBytes;
    std::chrono::seconds maxTimeWithoutProgress = kDefaultMaxTimeWithoutProgress;
    unsigned long long maxTraceBytes = kDefaultMaxTraceBytes;
    unsigned long long tracedBytes = 0;
    bool tracingStopped = false;
    std::chrono::steady_clock::time_point lastProgress;
    std::string lastProgressPage;
};

// The wait in seconds that a Refresh header value "N;..." begins with, by
// atoi's rules but held to the int range; 0 when the value has no ';' after
// its first character.
int RefreshWait(const std::string& refresh);

// The next URL a Refresh header value names: after "N;", from its "http://"
// on, or else the target after its first '=' resolved against `base`, or
// else the rest as it stands; a value without a wait is the target whole.
std::string RefreshTarget(std::string refresh, const UrlParts& base);

// Appends one entry with `body` to "terraFetch.log" in the current folder.
void writeTrace(const std::string& body);
// Appends the line that says tracing stopped after `bytes` bytes.
void writeTraceStopped(unsigned long long bytes);

#include "http/CHTTPRequest.h"

#include "core/FileReplacement.h"
#include "core/JobWindow.h"
#include "core/StringPrintf.h"
#include "http/HttpTransfer.h"
#include "http/Url.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <thread>

namespace {

constexpr size_t kBlockSize = 2047;
constexpr const char* kNotHttpMessage = "Error: can only use URLs beginning with http://";
constexpr auto kCancelPollInterval = std::chrono::milliseconds(50);

// The value of the "Refresh" header, empty when there is none.
std::string RefreshValue(const HttpTransfer& transfer) { return transfer.HeaderValue("Refresh"); }

// A refresh value "N;..." that names a wait before its target.
bool HasRefreshWait(const std::string& refresh)
{
    const size_t semicolon = refresh.find(';');
    return semicolon != std::string::npos && semicolon > 0;
}

// Grows a body kept in memory at most to `limit`, so its buffer never
// holds more than the limit, and a growth step never more than twice it.
void MakeRoom(std::string& body, size_t more, size_t limit)
{
    const size_t needed = body.size() + more;
    if (needed <= body.capacity())
        return;
    body.reserve(std::min(limit, std::max({needed, 2 * body.capacity(), size_t(64 * 1024)})));
}

// The last component of a request object: the text after the last '/', '\'
// or ':' that is followed by further text.
std::string LastPathComponent(const std::string& object)
{
    for (size_t i = object.size(); i-- > 0;) {
        const char c = object[i];
        if ((c == '/' || c == '\\' || c == ':') && i + 1 < object.size())
            return object.substr(i + 1);
    }
    return object;
}

// A name the server chose may only name a file in the current folder:
// no folder part, no "." or "..", nothing empty.
bool IsPlainFileName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.find_first_of("/\\:") == std::string::npos &&
           name.find('\0') == std::string::npos;
}

}  // namespace

int RefreshWait(const std::string& refresh)
{
    if (!HasRefreshWait(refresh))
        return 0;
    const long long wait = std::strtoll(refresh.substr(0, refresh.find(';')).c_str(), nullptr, 10);
    return static_cast<int>(std::clamp<long long>(wait, INT_MIN, INT_MAX));
}

std::string RefreshTarget(std::string refresh, const UrlParts& base)
{
    if (!HasRefreshWait(refresh))
        return refresh;
    refresh.erase(0, refresh.find(';') + 1);
    const size_t absolute = refresh.find("http://");
    const size_t equals = refresh.find('=');
    if (absolute != std::string::npos)
        refresh.erase(0, absolute);
    else if (equals != std::string::npos && equals > 0)
        refresh = ResolveUrl(base, refresh.substr(equals + 1));
    return refresh;
}

struct CHTTPRequest::PassOutcome {
    std::optional<int> result;  // set when execute() ends with it
    std::string nextUrl;
    int wait = 0;

    static PassOutcome Result(int code) { return {code, {}, 0}; }
    static PassOutcome Redirect(std::string url, int wait) { return {std::nullopt, std::move(url), wait}; }
};

CHTTPRequest::CHTTPRequest(JobWindow& window, const std::atomic<bool>& cancelRequested,
                           const std::vector<std::string>& progressMarkers, int timeoutSeconds)
    : window(window),
      cancelRequested(cancelRequested),
      progressMarkers(progressMarkers),
      timeoutSeconds(timeoutSeconds)
{
}

CHTTPRequest::~CHTTPRequest() = default;

int CHTTPRequest::execute(const std::string& url, const std::string& fileNameArgument, bool toMemory)
{
    std::string currentUrl = url;
    int passesWithoutWait = 0;
    lastProgress = std::chrono::steady_clock::now();
    for (;;) {
        UrlParts parts;
        const UrlSplit split = SplitUrl(currentUrl, parts);
        if (split == UrlSplit::PortOutOfRange) {
            logMessage(StringPrintf("Error: The port in \"%s\" must be a number from 1 to 65535.",
                                    currentUrl.c_str()));
            return 1;
        }
        if (split != UrlSplit::Ok) {
            logMessage(kNotHttpMessage);
            return split == UrlSplit::NotAUrl ? 1 : 2;
        }
        logMessage("Opening Internet...");
        const PassOutcome outcome = runPass(parts, url, fileNameArgument, toMemory);
        if (outcome.result)
            return *outcome.result;

        logMessage(StringPrintf("Redirected to %s", outcome.nextUrl.c_str()));
        if (const int waited = waitForServer(outcome.wait); waited != 0)
            return waited;
        if (progressOverdue()) {
            logMessage(StringPrintf("Error: The server has sent no new progress for %lld seconds; the request is "
                                    "given up.",
                                    static_cast<long long>(maxTimeWithoutProgress.count())));
            return 5;
        }
        // A chain of redirects without waits is given up at some point, so a
        // server that redirects in a circle cannot keep the job forever.
        passesWithoutWait = outcome.wait > 0 ? 0 : passesWithoutWait + 1;
        if (passesWithoutWait > kMaxPassesWithoutWait) {
            logMessage(StringPrintf("Error: More than %d redirects in a row without a wait.",
                                    kMaxPassesWithoutWait));
            return 2;
        }
        currentUrl = outcome.nextUrl;
    }
}

CHTTPRequest::PassOutcome CHTTPRequest::runPass(const UrlParts& parts, const std::string& url,
                                                const std::string& fileNameArgument, bool toMemory)
{
    const std::string transferUrl = TransferUrl(parts);
    std::unique_ptr<HttpTransfer> transfer;
    long status = 0;
    for (bool retry = true; retry;) {
        transfer = std::make_unique<HttpTransfer>();
        if (!transfer->Start(transferUrl, timeoutSeconds)) {
            if (transfer->Refused()) {
                logMessage(StringPrintf("Error: The answer from \"%s\" was refused: %s.", transferUrl.c_str(),
                                        transfer->Error().c_str()));
                return PassOutcome::Result(5);
            }
            status = 408;
            retry = askTimeoutQuestion();
        } else {
            status = transfer->Status();
            // A 408 from the server itself is asked about too, so that every
            // further attempt needs the user's Yes.
            retry = status == 408 && askTimeoutQuestion();
        }
    }

    while (status == 401) {
        const std::string challenge = transfer->HeaderValue("WWW-Authenticate");
        const bool digest = findNoCase(challenge, "digest", 0) >= 0;
        transfer.reset();
        HttpTransfer::Credentials credentials;
        credentials.digest = digest;
        if (!window.AskPassword(credentials.userName, credentials.password)) {
            logMessage("Access denied: Invalid password");
            return PassOutcome::Result(1);
        }
        transfer = std::make_unique<HttpTransfer>();
        if (!transfer->Start(transferUrl, timeoutSeconds, &credentials)) {
            logMessage(StringPrintf("Error: Sending the request to \"%s\" again failed (%s).",
                                    transferUrl.c_str(), transfer->Error().c_str()));
            return PassOutcome::Result(5);
        }
        status = transfer->Status();
    }

    logMessage(StringPrintf("Status Code is %lu", static_cast<unsigned long>(status)));
    if (status == 200)
        return finishStatusPage(*transfer, parts, url, fileNameArgument, toMemory);
    if (status == 301 || status == 302 || status == 303)
        return finishRedirect(*transfer, parts);

    logMessage(StringPrintf("Error: Status Code is %lu\n", static_cast<unsigned long>(status)));
    logMessage(StringPrintf("Response Headers: \"%s\"", transfer->RawHeaders().c_str()));
    return PassOutcome::Result(5);
}

bool CHTTPRequest::askTimeoutQuestion()
{
    int seconds = timeoutSeconds;
    const bool retry = window.AskRetryWithTimeout(seconds);
    timeoutSeconds = seconds;
    return retry;
}

CHTTPRequest::PassOutcome CHTTPRequest::finishStatusPage(HttpTransfer& transfer, const UrlParts& parts,
                                                         const std::string& url,
                                                         const std::string& fileNameArgument, bool toMemory)
{
    const std::string refreshValue = RefreshValue(transfer);
    const int wait = RefreshWait(refreshValue);
    const std::string refresh = RefreshTarget(refreshValue, parts);
    if (HasRefreshWait(refreshValue)) {
        if (const int read = readBodyIntoMemory(transfer, TransferUrl(parts)); read != 0)
            return PassOutcome::Result(read);
        bool marked = false;
        for (const std::string& marker : progressMarkers) {
            if (responseText.find(marker) != std::string::npos) {
                extractProgressText(responseText);
                marked = true;
                break;
            }
        }
        noteStatusPage(marked);
        if (!marked)
            traceStatusPage();
    }
    if (!refresh.empty())
        return PassOutcome::Redirect(refresh, wait);

    if (toMemory) {
        if (const int read = readBodyIntoMemory(transfer, url); read != 0)
            return PassOutcome::Result(read);
        logMessage(StringPrintf("Download of \"%s\" finished.", url.c_str()));
        return PassOutcome::Result(0);
    }
    return PassOutcome::Result(downloadToFile(transfer, parts, fileNameArgument));
}

CHTTPRequest::PassOutcome CHTTPRequest::finishRedirect(HttpTransfer& transfer, const UrlParts& parts)
{
    const int wait = RefreshWait(RefreshValue(transfer));
    const std::string location = transfer.HeaderValue("Location");
    if (location.empty()) {
        logMessage("Error: Site redirects with no new location");
        return PassOutcome::Result(2);
    }
    return PassOutcome::Redirect(ResolveUrl(parts, location), wait);
}

bool CHTTPRequest::announcesMoreThan(const HttpTransfer& transfer, unsigned long long limit) const
{
    const std::string length = transfer.HeaderValue("Content-Length");
    return !length.empty() && std::strtoull(length.c_str(), nullptr, 10) > limit;
}

int CHTTPRequest::readBodyIntoMemory(HttpTransfer& transfer, const std::string& where)
{
    std::string().swap(responseText);
    auto tooLarge = [&] {
        logMessage(StringPrintf("Error: The response from \"%s\" is larger than %zu MiB.", where.c_str(),
                                kMaxMemoryBody >> 20));
        std::string().swap(responseText);
        return 5;
    };
    if (announcesMoreThan(transfer, kMaxMemoryBody))
        return tooLarge();
    char block[kBlockSize + 1];
    for (;;) {
        const long count = transfer.Read(block, kBlockSize);
        if (count == 0)
            return 0;
        if (count < 0) {
            logMessage(StringPrintf("Error: Reading the response from \"%s\" failed (%s).", where.c_str(),
                                    transfer.Error().c_str()));
            return 5;
        }
        if (responseText.size() + static_cast<size_t>(count) > kMaxMemoryBody)
            return tooLarge();
        MakeRoom(responseText, static_cast<size_t>(count), kMaxMemoryBody);
        responseText.append(block, static_cast<size_t>(count));
    }
}

int CHTTPRequest::downloadToFile(HttpTransfer& transfer, const UrlParts& parts, const std::string& fileNameArgument)
{
    const std::string target = fileNameArgument.empty() ? LastPathComponent(parts.object) : fileNameArgument;
    if (fileNameArgument.empty() && !IsPlainFileName(target)) {
        logMessage(StringPrintf("Error: The address \"%s\" names no file to write.", TransferUrl(parts).c_str()));
        return 4;
    }
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(target, error);
    fileName = error ? target : absolute.string();

    const std::string contentLength = transfer.HeaderValue("Content-Length");
    const double expected = std::atof(contentLength.c_str());

    logMessage(StringPrintf("Writing file \"%s\"...", fileName.c_str()));
    auto tooLarge = [&] {
        logMessage(StringPrintf("Error: The download to \"%s\" is larger than %llu bytes.", fileName.c_str(),
                                maxFileBytes));
        return 5;
    };
    if (announcesMoreThan(transfer, maxFileBytes))
        return tooLarge();
    // The body goes to a side file that takes the final name only when it is
    // complete, so a cancelled or failed download leaves no partial file and
    // an existing file of that name survives it.
    FileReplacement file(fileName, fileName + ".part");
    std::FILE* out = file.Open();
    if (!out) {
        logMessage(StringPrintf("Error: Writing file \"%s\" failed.", fileName.c_str()));
        return 4;
    }
    // Blocks are small; a large stream buffer keeps the writes to the disk
    // large.
    std::setvbuf(out, nullptr, _IOFBF, 256 * 1024);

    char block[kBlockSize + 1];
    double total = 0;
    int shownPosition = -1;
    for (;;) {
        const long count = transfer.Read(block, kBlockSize);
        if (count == 0)
            break;
        if (count < 0) {
            logMessage(StringPrintf("Error: Reading the response from \"%s\" failed (%s).",
                                    TransferUrl(parts).c_str(), transfer.Error().c_str()));
            return 5;
        }
        if (total + static_cast<double>(count) > static_cast<double>(maxFileBytes))
            return tooLarge();
        if (std::fwrite(block, 1, static_cast<size_t>(count), out) != static_cast<size_t>(count)) {
            logMessage(StringPrintf("Error: Writing file \"%s\" failed.", fileName.c_str()));
            return 4;
        }
        total += static_cast<double>(count);
        if (expected > 0) {
            const int position = std::min(100, static_cast<int>(total * 100.0 / expected + 0.5));
            if (position != shownPosition) {
                window.SetProgress(position);
                shownPosition = position;
            }
        }
        if (cancelled())
            return cancelByUser();
    }
    if (!file.Commit()) {
        logMessage(StringPrintf("Error: Writing file \"%s\" failed.", fileName.c_str()));
        return 4;
    }
    window.SetProgress(0);
    logMessage(StringPrintf("Writing file \"%s\" finished.", fileName.c_str()));
    return 0;
}

// A status page with a progress phrase that differs from the last one
// counts as progress; the same page again, or none, does not.
void CHTTPRequest::noteStatusPage(bool marked)
{
    if (!marked || responseText == lastProgressPage)
        return;
    lastProgressPage = responseText;
    lastProgress = std::chrono::steady_clock::now();
}

bool CHTTPRequest::progressOverdue() const
{
    return std::chrono::steady_clock::now() - lastProgress > maxTimeWithoutProgress;
}

// Status pages without progress are traced until they have filled the
// request's share of the log; one line then says that tracing stopped.
void CHTTPRequest::traceStatusPage()
{
    if (tracingStopped)
        return;
    if (responseText.size() > maxTraceBytes - std::min(tracedBytes, maxTraceBytes)) {
        tracingStopped = true;
        writeTraceStopped(tracedBytes);
        return;
    }
    tracedBytes += responseText.size();
    writeTrace(responseText);
}

int CHTTPRequest::waitForServer(int seconds)
{
    logMessage(StringPrintf("Waiting %d %s", seconds, seconds == 1 ? "second" : "seconds"));
    if (seconds > kMaxServerWaitSeconds) {
        logMessage(StringPrintf("Error: The server asks for a wait of %d seconds, more than the %d allowed.", seconds,
                                kMaxServerWaitSeconds));
        return 5;
    }
    // Cancel is looked at before every second of the wait, and also while it
    // runs so that it takes effect quickly; a pass without a wait looks once.
    if (cancelled())
        return cancelByUser();
    for (int second = 0; second < seconds; ++second) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(1);
        while (std::chrono::steady_clock::now() < end) {
            if (cancelled())
                return cancelByUser();
            std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(
                kCancelPollInterval, end - std::chrono::steady_clock::now()));
        }
    }
    return 0;
}

int CHTTPRequest::cancelByUser()
{
    logMessage("Download canceled by user.");
    window.EnableControl(JobControl::Proceed, true);
    window.EnableControl(JobControl::WestEdge, true);
    window.EnableControl(JobControl::NorthEdge, true);
    return 3;
}

bool CHTTPRequest::cancelled() const { return cancelRequested.load(); }

void CHTTPRequest::logMessage(const std::string& message)
{
    std::vector<std::string> pieces;
    size_t start = 0;
    while (start <= message.size()) {
        size_t end = message.find_first_of("\r\n", start);
        if (end == std::string::npos)
            end = message.size();
        if (end > start)
            pieces.push_back(message.substr(start, end - start));
        start = end + 1;
    }
    if (pieces.empty())
        return;

    static const std::string heading = "Response Headers:";
    if (pieces.front().rfind(heading, 0) != 0) {
        for (const std::string& piece : pieces)
            addLogLine(piece);
        return;
    }
    addLogLine(heading);
    // The first piece carries the prefix "Response Headers: " and the opening
    // quote; the closing quote ends up as a piece of its own.
    pieces.front().erase(0, std::min<size_t>(pieces.front().size(), heading.size() + 2));
    for (const std::string& piece : pieces)
        if (!piece.empty() && piece != "\"")
            addLogLine("  " + piece);
}

void CHTTPRequest::addLogLine(const std::string& line) { window.AddToLog(line); }

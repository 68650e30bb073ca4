#include "http/HttpTransfer.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

namespace {

constexpr const char* kAgent = "Aerolume's terraFetch";
constexpr const char* kAccept = "Accept: text/*, application/zip, */*";
constexpr long kReceiveBufferSize = 128 * 1024;
constexpr size_t kBodyHighWater = 256 * 1024;
constexpr auto kPollSlice = std::chrono::milliseconds(200);

void InitialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

CURL* Easy(void* handle) { return static_cast<CURL*>(handle); }
CURLM* Multi(void* handle) { return static_cast<CURLM*>(handle); }

bool StartsWithNoCase(const std::string& text, size_t at, const std::string& prefix)
{
    if (text.size() - at < prefix.size())
        return false;
    for (size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(text[at + i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

}  // namespace

HttpTransfer::HttpTransfer()
{
    InitialiseCurlOnce();
    multi_ = curl_multi_init();
    easy_ = curl_easy_init();
}

HttpTransfer::~HttpTransfer()
{
    if (attached_)
        curl_multi_remove_handle(Multi(multi_), Easy(easy_));
    if (easy_)
        curl_easy_cleanup(Easy(easy_));
    if (multi_)
        curl_multi_cleanup(Multi(multi_));
    curl_slist_free_all(static_cast<curl_slist*>(requestHeaders_));
}

bool HttpTransfer::Start(const std::string& url, int timeoutSeconds, const Credentials* credentials)
{
    if (!multi_ || !easy_) {
        Fail("the transfer library could not be initialised");
        return false;
    }
    stallLimit_ = std::chrono::seconds(std::max(1, timeoutSeconds));
    CURL* easy = Easy(easy_);
    requestHeaders_ = curl_slist_append(nullptr, kAccept);

    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_0));
    curl_easy_setopt(easy, CURLOPT_USERAGENT, kAgent);
    curl_easy_setopt(easy, CURLOPT_HTTPHEADER, requestHeaders_);
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy, CURLOPT_PATH_AS_IS, 1L);
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_BUFFERSIZE, kReceiveBufferSize);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, static_cast<long>(stallLimit_.count()));
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer_);
    curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &HttpTransfer::OnHeader);
    curl_easy_setopt(easy, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &HttpTransfer::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, this);
    if (credentials) {
        curl_easy_setopt(easy, CURLOPT_USERNAME, credentials->userName.c_str());
        curl_easy_setopt(easy, CURLOPT_PASSWORD, credentials->password.c_str());
        curl_easy_setopt(easy, CURLOPT_HTTPAUTH, credentials->digest ? CURLAUTH_DIGEST : CURLAUTH_BASIC);
    }

    if (curl_multi_add_handle(Multi(multi_), easy) != CURLM_OK) {
        Fail("the transfer could not be started");
        return false;
    }
    attached_ = true;
    lastActivity_ = Clock::now();
    WaitUntil([this] { return headersComplete_; });
    if (headersComplete_ && status_ > 0 && !refused_)
        return true;
    if (error_.empty())
        Fail("no response");
    return false;
}

std::string FindHeaderValue(const std::string& rawHeaders, const std::string& name)
{
    const std::string prefix = name + ":";
    size_t line = 0;
    while (line < rawHeaders.size()) {
        size_t end = rawHeaders.find("\r\n", line);
        if (end == std::string::npos)
            end = rawHeaders.size();
        if (line > 0 && StartsWithNoCase(rawHeaders, line, prefix)) {
            std::string value = rawHeaders.substr(line + prefix.size(), end - line - prefix.size());
            const size_t first = value.find_first_not_of(" \t");
            const size_t last = value.find_last_not_of(" \t");
            return first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
        }
        line = end + 2;
    }
    return {};
}

std::optional<long> ResponseStatusOf(const std::string& line)
{
    if (line.rfind("HTTP/", 0) != 0)
        return std::nullopt;
    const size_t blank = line.find(' ');
    return blank == std::string::npos ? 0 : std::strtol(line.c_str() + blank + 1, nullptr, 10);
}

std::string HttpTransfer::HeaderValue(const std::string& name) const
{
    return FindHeaderValue(headers_, name);
}

long HttpTransfer::Read(char* buffer, size_t capacity)
{
    if (bodyRead_ == body_.size()) {
        body_.clear();
        bodyRead_ = 0;
        if (paused_) {
            // Hands over the block held back by the pause, then goes on.
            paused_ = false;
            curl_easy_pause(Easy(easy_), CURLPAUSE_CONT);
        }
        WaitUntil([this] { return !body_.empty(); });
    }
    if (bodyRead_ < body_.size()) {
        const size_t count = std::min(capacity, body_.size() - bodyRead_);
        std::memcpy(buffer, body_.data() + bodyRead_, count);
        bodyRead_ += count;
        return static_cast<long>(count);
    }
    return failed_ ? -1 : 0;
}

// Runs the transfer until `ready` holds or it ends. A round without any
// received byte longer than the stall limit ends it as a time-out; the limit
// counts from the later of the last byte and the start of this wait, so a
// slow reader is not mistaken for a silent server.
template <typename Ready>
void HttpTransfer::WaitUntil(Ready ready)
{
    const Clock::time_point waitStart = Clock::now();
    Clock::time_point lastTick = waitStart;
    while (!done_ && !ready()) {
        int running = 0;
        if (curl_multi_perform(Multi(multi_), &running) != CURLM_OK) {
            Fail("the transfer failed");
            return;
        }
        int queued = 0;
        while (CURLMsg* message = curl_multi_info_read(Multi(multi_), &queued))
            if (message->msg == CURLMSG_DONE)
                Finish(message->data.result);
        const Clock::time_point now = Clock::now();
        if (receivedBytes_ > 0)
            waitedSinceFirstByte_ += now - lastTick;
        lastTick = now;
        if (done_ || ready() || TooSlow(waitedSinceFirstByte_))
            return;
        const auto idle = now - std::max(lastActivity_, waitStart);
        if (idle >= stallLimit_) {
            Fail("Operation timed out after " + std::to_string(stallLimit_.count()) +
                 " seconds with no data received");
            return;
        }
        const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(stallLimit_ - idle);
        const int slice = static_cast<int>(std::min<std::chrono::milliseconds>(remaining, kPollSlice).count());
        curl_multi_poll(Multi(multi_), nullptr, 0, std::max(1, slice), nullptr);
    }
}

bool HttpTransfer::TooSlow(Clock::duration waited)
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(waited).count();
    if (waited < stallLimit_ || receivedBytes_ >= kMinimumBytesPerSecond * seconds)
        return false;
    Refuse("the server sent " + std::to_string(receivedBytes_) + " bytes in " + std::to_string(seconds) +
           " seconds, fewer than " + std::to_string(kMinimumBytesPerSecond) + " bytes per second");
    return true;
}

void HttpTransfer::Finish(int code)
{
    done_ = true;
    // The library gives up on a header line longer than it accepts.
    if (code == CURLE_OUT_OF_MEMORY && !headersComplete_)
        RefuseHeaders();
    if (code != CURLE_OK && !refused_) {
        failed_ = true;
        error_ = errorBuffer_[0] ? errorBuffer_ : curl_easy_strerror(static_cast<CURLcode>(code));
    }
    if (status_ > 0)
        headersComplete_ = true;
}

void HttpTransfer::Fail(const std::string& error)
{
    done_ = true;
    failed_ = true;
    error_ = error;
}

void HttpTransfer::Refuse(const std::string& error)
{
    Fail(error);
    refused_ = true;
}

void HttpTransfer::RefuseHeaders()
{
    Refuse("the response headers exceed " + std::to_string(kMaxHeaderLines) + " lines or " +
           std::to_string(kMaxHeaderBytes) + " bytes");
}

size_t HttpTransfer::OnHeader(char* data, size_t size, size_t count, void* self)
{
    auto& transfer = *static_cast<HttpTransfer*>(self);
    const size_t length = size * count;
    transfer.lastActivity_ = Clock::now();
    transfer.receivedBytes_ += static_cast<long long>(length);
    transfer.headerBytes_ += length;
    if (transfer.headerBytes_ > kMaxHeaderBytes || ++transfer.headerLines_ > kMaxHeaderLines) {
        transfer.RefuseHeaders();
        return 0;  // ends the transfer
    }
    std::string line(data, length);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();

    if (const std::optional<long> status = ResponseStatusOf(line)) {
        // A new response starts: after an interim answer, or when the library
        // answers an authentication challenge by itself.
        transfer.headers_.clear();
        transfer.headersComplete_ = false;
        transfer.status_ = *status;
    }
    transfer.headers_ += line + "\r\n";
    if (line.empty()) {
        // The headers of a final answer are complete. A 1xx is followed by
        // another answer, and a 401/407 may be answered by the library itself
        // with credentials, so those wait for their body or the end.
        const long status = transfer.status_;
        if (status >= 200 && status != 401 && status != 407)
            transfer.headersComplete_ = true;
    }
    return length;
}

size_t HttpTransfer::OnBody(char* data, size_t size, size_t count, void* self)
{
    auto& transfer = *static_cast<HttpTransfer*>(self);
    const size_t length = size * count;
    transfer.lastActivity_ = Clock::now();
    // Holds the transfer back while the reader has a good amount unread, so
    // that a fast server cannot fill memory ahead of a slow reader.
    if (transfer.body_.size() - transfer.bodyRead_ >= kBodyHighWater) {
        transfer.paused_ = true;
        return CURL_WRITEFUNC_PAUSE;
    }
    transfer.receivedBytes_ += static_cast<long long>(length);
    transfer.body_.append(data, length);
    transfer.headersComplete_ = true;
    return length;
}

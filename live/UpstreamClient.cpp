#include "live/UpstreamClient.h"

#include <curl/curl.h>

#include <condition_variable>
#include <mutex>

// curl_global_init is not thread-safe in every libcurl; run it once.
static void InitialiseCurlOnce()
{
    static std::once_flag once;
    std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

namespace {

// Keeps the whole body, up to the client's size limit.
class StringSink : public UpstreamClient::BodySink {
public:
    explicit StringSink(std::string& body) : body_(body) {}
    void Begin() override { body_.clear(); }
    bool Append(const char* data, size_t size) override
    {
        body_.append(data, size);
        return true;
    }

private:
    std::string& body_;
};

bool WorthRetrying(const UpstreamAnswer& answer)
{
    if (!answer.ok) {
        return true;
    }
    return answer.status == 429 || (answer.status >= 500 && answer.status <= 599);
}

std::string HostOf(const std::string& url)
{
    size_t start = url.find("://");
    start = start == std::string::npos ? 0 : start + 3;
    size_t end = url.find_first_of("/?#", start);
    return url.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

struct UpstreamClient::Impl {
    Limits limits;
    std::mutex mutex;
    std::condition_variable changed;
    int running = 0;
    std::atomic<bool> cancelled{false};

    // Takes one of the parallel request slots; false when cancelled first.
    bool Acquire()
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return cancelled || running < limits.maxParallel; });
        if (cancelled) {
            return false;
        }
        ++running;
        return true;
    }

    void Release()
    {
        {
            std::lock_guard lock(mutex);
            --running;
        }
        changed.notify_all();
    }

    // Sleeps for `delay` unless cancelled first; false when cancelled.
    bool Pause(std::chrono::milliseconds delay)
    {
        std::unique_lock lock(mutex);
        return !changed.wait_for(lock, delay, [&] { return cancelled.load(); });
    }

    // One transfer; `refused` tells that the body was stopped on purpose
    // (too large, rejected by the sink, cancelled), which no retry mends.
    UpstreamAnswer Attempt(const std::string& url, size_t maxBodyBytes, BodySink& sink,
                           bool& refused);
};

namespace {

struct Transfer {
    UpstreamClient::BodySink& sink;
    size_t maxBodyBytes;
    const std::atomic<bool>& cancelled;
    size_t received = 0;
    std::string stopReason;

    static size_t OnBody(char* data, size_t size, size_t count, void* self)
    {
        auto& transfer = *static_cast<Transfer*>(self);
        size_t bytes = size * count;
        transfer.received += bytes;
        if (transfer.received > transfer.maxBodyBytes) {
            transfer.stopReason = "the answer is larger than " +
                                  std::to_string(transfer.maxBodyBytes) + " bytes";
            return 0;
        }
        if (!transfer.sink.Append(data, bytes)) {
            transfer.stopReason = transfer.sink.Reason();
            return 0;
        }
        return bytes;
    }

    static int OnProgress(void* self, curl_off_t, curl_off_t, curl_off_t, curl_off_t)
    {
        auto& transfer = *static_cast<Transfer*>(self);
        if (transfer.cancelled) {
            transfer.stopReason = "cancelled";
            return 1;
        }
        return 0;
    }
};

}  // namespace

UpstreamAnswer UpstreamClient::Impl::Attempt(const std::string& url, size_t maxBodyBytes,
                                             BodySink& sink, bool& refused)
{
    refused = false;
    UpstreamAnswer answer;
    InitialiseCurlOnce();
    CURL* easy = curl_easy_init();
    if (!easy) {
        answer.error = "libcurl could not start a transfer";
        return answer;
    }
    Transfer transfer{sink, maxBodyBytes, cancelled, 0, {}};
    char errorBuffer[CURL_ERROR_SIZE] = {};
    std::string userAgent = UserAgent();
    curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
    curl_easy_setopt(easy, CURLOPT_USERAGENT, userAgent.c_str());
    curl_easy_setopt(easy, CURLOPT_FOLLOWLOCATION, 1L);
    curl_easy_setopt(easy, CURLOPT_MAXREDIRS, 5L);
    curl_easy_setopt(easy, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy, CURLOPT_CONNECTTIMEOUT, static_cast<long>(limits.connectTimeoutSeconds));
    // A stall is less than one byte a second over the stall time-out.
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy, CURLOPT_LOW_SPEED_TIME, static_cast<long>(limits.stallTimeoutSeconds));
    curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Transfer::OnBody);
    curl_easy_setopt(easy, CURLOPT_WRITEDATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_XFERINFOFUNCTION, &Transfer::OnProgress);
    curl_easy_setopt(easy, CURLOPT_XFERINFODATA, &transfer);
    curl_easy_setopt(easy, CURLOPT_NOPROGRESS, 0L);
    curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorBuffer);

    sink.Begin();
    CURLcode code = curl_easy_perform(easy);
    if (code == CURLE_OK) {
        answer.ok = true;
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer.status);
        char* contentType = nullptr;
        curl_easy_getinfo(easy, CURLINFO_CONTENT_TYPE, &contentType);
        answer.contentType = contentType ? contentType : "";
    } else if (!transfer.stopReason.empty()) {
        answer.error = transfer.stopReason;
        refused = true;
    } else {
        answer.error = errorBuffer[0] ? errorBuffer : curl_easy_strerror(code);
    }
    curl_easy_cleanup(easy);
    return answer;
}

UpstreamClient::UpstreamClient() : UpstreamClient(Limits{}) {}

UpstreamClient::UpstreamClient(Limits limits) : impl_(std::make_unique<Impl>())
{
    if (limits.maxParallel < 1) {
        limits.maxParallel = 1;
    }
    if (limits.attempts < 1) {
        limits.attempts = 1;
    }
    impl_->limits = limits;
}

UpstreamClient::~UpstreamClient() = default;

UpstreamAnswer UpstreamClient::Get(const std::string& url, size_t maxBodyBytes)
{
    std::string body;
    StringSink sink(body);
    UpstreamAnswer answer = Get(url, maxBodyBytes, sink);
    answer.body = std::move(body);
    return answer;
}

UpstreamAnswer UpstreamClient::Get(const std::string& url, size_t maxBodyBytes, BodySink& sink)
{
    UpstreamAnswer answer;
    std::chrono::milliseconds backoff = impl_->limits.firstBackoff;
    for (int attempt = 1; attempt <= impl_->limits.attempts; ++attempt) {
        if (!impl_->Acquire()) {
            answer = {};
            answer.error = "cancelled";
            return answer;
        }
        bool refused = false;
        answer = impl_->Attempt(url, maxBodyBytes, sink, refused);
        impl_->Release();
        if (refused || !WorthRetrying(answer) || attempt == impl_->limits.attempts) {
            break;
        }
        if (!impl_->Pause(backoff)) {
            answer = {};
            answer.error = "cancelled";
            return answer;
        }
        backoff *= 2;
    }
    if (!answer.ok) {
        answer.error = HostOf(url) + ": " + answer.error;
    }
    return answer;
}

void UpstreamClient::Cancel()
{
    {
        std::lock_guard lock(impl_->mutex);
        impl_->cancelled = true;
    }
    impl_->changed.notify_all();
}

bool UpstreamClient::Cancelled() const
{
    return impl_->cancelled;
}

std::string UpstreamClient::UserAgent()
{
    return "terraFetch/" TERRAFETCH_VERSION " (terrain preparation for flight simulation)";
}

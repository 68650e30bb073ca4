#include "live/UpstreamClient.h"

#include <curl/curl.h>

#include <algorithm>
#include <cctype>
#include <condition_variable>
#include <ctime>
#include <mutex>
#include <random>

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

bool StatusWorthRetrying(long status)
{
    return status == 408 || status == 429 || (status >= 500 && status <= 599);
}

// Transfer failures that may pass: the connection could not be made or broke
// off, or the answer took too long. DNS, certificate, protocol and URL
// failures stay as they are, however often they are tried.
bool TransferWorthRetrying(CURLcode code)
{
    switch (code) {
    case CURLE_COULDNT_CONNECT:
    case CURLE_OPERATION_TIMEDOUT:
    case CURLE_GOT_NOTHING:
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_PARTIAL_FILE:
    case CURLE_HTTP2:
    case CURLE_HTTP2_STREAM:
        return true;
    default:
        return false;
    }
}

// What a user can do about failures whose libcurl text says little.
std::string Hint(CURLcode code)
{
    switch (code) {
    case CURLE_SSL_CACERT_BADFILE:
        return " (the system's certificate bundle is missing: install the ca-certificates package)";
    case CURLE_PEER_FAILED_VERIFICATION:
        return " (the server's certificate could not be verified: check the system's certificates and the URL)";
    case CURLE_COULDNT_RESOLVE_HOST:
        return " (the host name could not be resolved: check the network and the URL setting)";
    case CURLE_UNSUPPORTED_PROTOCOL:
        return " (only http and https are followed)";
    default:
        return {};
    }
}

std::chrono::milliseconds Jittered(std::chrono::milliseconds delay)
{
    thread_local std::mt19937 random{std::random_device{}()};
    std::uniform_real_distribution<double> factor(0.5, 1.5);
    return std::chrono::milliseconds(static_cast<long long>(static_cast<double>(delay.count()) * factor(random)));
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

    // One transfer. `retryable` tells whether another attempt may fare
    // better; `retryAfter` is the wait the server asked for (-1: none).
    UpstreamAnswer Attempt(const std::string& url, size_t maxBodyBytes, BodySink& sink, int totalTimeoutSeconds,
                           bool& retryable, long long& retryAfter);
};

namespace {

struct Transfer {
    using Clock = std::chrono::steady_clock;

    UpstreamClient::BodySink& sink;
    size_t maxBodyBytes;
    const std::atomic<bool>& cancelled;
    std::chrono::seconds stallLimit;
    size_t received = 0;
    Clock::time_point lastByte{};
    std::string stopReason;
    bool stalled = false;

    static size_t OnBody(char* data, size_t size, size_t count, void* self)
    {
        auto& transfer = *static_cast<Transfer*>(self);
        size_t bytes = size * count;
        transfer.received += bytes;
        transfer.lastByte = Clock::now();
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
        if (transfer.received > 0 && transfer.stallLimit.count() > 0 &&
            Clock::now() - transfer.lastByte > transfer.stallLimit) {
            transfer.stopReason = "the answer stalled: no byte for " + std::to_string(transfer.stallLimit.count()) +
                                  " s";
            transfer.stalled = true;
            return 1;
        }
        return 0;
    }
};

}  // namespace

UpstreamAnswer UpstreamClient::Impl::Attempt(const std::string& url, size_t maxBodyBytes, BodySink& sink,
                                             int totalTimeoutSeconds, bool& retryable, long long& retryAfter)
{
    retryable = false;
    retryAfter = -1;
    UpstreamAnswer answer;
    InitialiseCurlOnce();
    CURL* easy = curl_easy_init();
    if (!easy) {
        answer.error = "libcurl could not start a transfer";
        return answer;
    }
    Transfer transfer{sink, maxBodyBytes, cancelled, std::chrono::seconds(limits.stallTimeoutSeconds), 0, {}, {}, false};
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
    // The whole attempt, waiting for a render included; stalls once bytes
    // flow are caught in the progress callback.
    curl_easy_setopt(easy, CURLOPT_TIMEOUT, static_cast<long>(std::max(0, totalTimeoutSeconds)));
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
        retryable = StatusWorthRetrying(answer.status);
        struct curl_header* header = nullptr;
        if (retryable && curl_easy_header(easy, "Retry-After", 0, CURLH_HEADER, -1, &header) == CURLHE_OK)
            retryAfter = RetryAfterSeconds(header->value, static_cast<long long>(std::time(nullptr)));
    } else if (!transfer.stopReason.empty()) {
        // The status stays known: a sink that stops after the first bytes
        // still learns what the server answered.
        curl_easy_getinfo(easy, CURLINFO_RESPONSE_CODE, &answer.status);
        // Stopped on purpose (too large, rejected by the sink, cancelled),
        // which no retry mends, or stalled, which one may.
        answer.error = transfer.stopReason;
        retryable = transfer.stalled;
    } else if (code == CURLE_OPERATION_TIMEDOUT && totalTimeoutSeconds > 0) {
        answer.error = transfer.received == 0
                           ? "no answer within " + std::to_string(totalTimeoutSeconds) + " s"
                           : "the answer was not complete within " + std::to_string(totalTimeoutSeconds) + " s (" +
                                 std::to_string(transfer.received / 1024) + " KiB came, " +
                                 std::to_string(transfer.received / 1024 / std::max(1, totalTimeoutSeconds)) +
                                 " KiB/s)";
        retryable = true;
    } else {
        answer.error = std::string(errorBuffer[0] ? errorBuffer : curl_easy_strerror(code)) + Hint(code);
        retryable = TransferWorthRetrying(code);
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

UpstreamAnswer UpstreamClient::Get(const std::string& url, size_t maxBodyBytes, BodySink& sink, int totalTimeoutSeconds)
{
    UpstreamAnswer answer;
    const Limits& limits = impl_->limits;
    std::chrono::milliseconds backoff = limits.firstBackoff;
    std::chrono::milliseconds waited{0};
    for (int attempt = 1; attempt <= limits.attempts; ++attempt) {
        if (!impl_->Acquire()) {
            answer = {};
            answer.error = "cancelled";
            return answer;
        }
        bool retryable = false;
        long long retryAfter = -1;
        answer = impl_->Attempt(url, maxBodyBytes, sink,
                                totalTimeoutSeconds > 0 ? totalTimeoutSeconds : limits.totalTimeoutSeconds, retryable,
                                retryAfter);
        answer.attempts = attempt;
        impl_->Release();
        if (!retryable || attempt == limits.attempts)
            break;
        const std::chrono::milliseconds delay =
            retryAfter >= 0 ? std::chrono::milliseconds(std::min<long long>(retryAfter, 86400) * 1000) : Jittered(backoff);
        if (waited + delay > limits.maxRetryWait) {
            if (retryAfter >= 0 && !answer.ok)
                answer.error += "; the server asked to wait " + std::to_string(retryAfter) + " s";
            break;
        }
        if (!impl_->Pause(delay)) {
            answer = {};
            answer.error = "cancelled";
            return answer;
        }
        waited += delay;
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

long long RetryAfterSeconds(const std::string& value, long long now)
{
    size_t start = value.find_first_not_of(" \t");
    if (start == std::string::npos)
        return -1;
    size_t end = value.find_last_not_of(" \t\r\n") + 1;
    const std::string text = value.substr(start, end - start);
    if (std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isdigit(c); })) {
        if (text.size() > 12)
            return 86400LL * 365;  // absurdly far: any bound refuses it
        return std::stoll(text);
    }
    const time_t when = curl_getdate(text.c_str(), nullptr);
    if (when == -1)
        return -1;
    return std::max<long long>(0, static_cast<long long>(when) - now);
}

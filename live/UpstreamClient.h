#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

// What one GET of a public source brought back. `ok` means a complete answer
// arrived (any status); otherwise `error` says why none did (unreachable,
// DNS or TLS failure, stalled, too large, cancelled), in words fit for a log,
// and `status` is still set when the answer had begun.
struct UpstreamAnswer {
    bool ok = false;
    long status = 0;
    std::string contentType;
    std::string body;   // empty when the body went to a sink
    std::string error;
    int attempts = 0;   // how many transfers the GET made
};

// How long a Retry-After header value asks to wait: delta seconds or an HTTP
// date (against `now`, seconds since the epoch); -1 when it is neither.
long long RetryAfterSeconds(const std::string& value, long long now);

// GETs from public sources the way a well-behaved client does: HTTPS through
// libcurl with the system's certificates, a User-Agent naming the program,
// a connect time-out, a total time limit per attempt that leaves a server
// time to render before its first byte, a stall limit once bytes flow, a
// bounded number of attempts for failures a retry can mend (connection
// failures, time-outs, 408, 429, 5xx) with jittered doubling back-off or the
// wait the server asks for in Retry-After (within a bound), at most
// `maxParallel` requests at once across all threads using the client, and a
// size limit on every answer. Failures no retry mends (DNS, certificates,
// refused redirects, other 4xx) are reported at once. Cancel() ends waits
// and transfers promptly.
class UpstreamClient {
public:
    struct Limits {
        int connectTimeoutSeconds = 15;
        // Once the answer has begun, no byte for this long fails the attempt.
        // Before the first byte only the total limit applies: a map server
        // renders a whole image before it sends anything.
        int stallTimeoutSeconds = 30;
        int attempts = 3;
        std::chrono::milliseconds firstBackoff{500};
        int maxParallel = 4;
        int totalTimeoutSeconds = 300;    // one attempt, first byte to last
        // All waits between the attempts of one GET together, Retry-After
        // included; a server asking for a longer wait gets no further try.
        std::chrono::milliseconds maxRetryWait{120000};
    };

    // Receives the body in blocks; false stops the transfer (the answer then
    // fails with the sink's reason). Begin() is called before each attempt so
    // that a retried transfer starts the sink afresh.
    struct BodySink {
        virtual ~BodySink() = default;
        virtual void Begin() = 0;
        virtual bool Append(const char* data, size_t size) = 0;
        virtual std::string Reason() const { return "the answer was refused"; }
    };

    UpstreamClient();
    explicit UpstreamClient(Limits limits);
    ~UpstreamClient();
    UpstreamClient(const UpstreamClient&) = delete;
    UpstreamClient& operator=(const UpstreamClient&) = delete;

    // The body is kept in the answer, up to maxBodyBytes (more fails the GET).
    UpstreamAnswer Get(const std::string& url, size_t maxBodyBytes);
    // The body goes to `sink`, up to maxBodyBytes. `totalTimeoutSeconds`,
    // when above 0, replaces the limits' total time of an attempt, for
    // files far larger than the usual answer.
    UpstreamAnswer Get(const std::string& url, size_t maxBodyBytes, BodySink& sink, int totalTimeoutSeconds = 0);

    void Cancel();
    bool Cancelled() const;

    static std::string UserAgent();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>

// What one GET of a public source brought back. `ok` means a complete answer
// arrived (any status); otherwise `error` says why none did (unreachable,
// DNS or TLS failure, stalled, too large, cancelled), in words fit for a log.
struct UpstreamAnswer {
    bool ok = false;
    long status = 0;
    std::string contentType;
    std::string body;   // empty when the body went to a sink
    std::string error;
};

// GETs from public sources the way a well-behaved client does: HTTPS through
// libcurl with the system's certificates, a User-Agent naming the program,
// connect and stall time-outs, a bounded number of attempts with doubling
// back-off for failures that may pass (no answer, 429, 5xx), at most
// `maxParallel` requests at once across all threads using the client, and a
// size limit on every answer. Cancel() ends waits and transfers promptly.
class UpstreamClient {
public:
    struct Limits {
        int connectTimeoutSeconds = 15;
        int stallTimeoutSeconds = 30;     // no byte for this long fails the attempt
        int attempts = 3;
        std::chrono::milliseconds firstBackoff{500};
        int maxParallel = 4;
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
    // The body goes to `sink`, up to maxBodyBytes.
    UpstreamAnswer Get(const std::string& url, size_t maxBodyBytes, BodySink& sink);

    void Cancel();
    bool Cancelled() const;

    static std::string UserAgent();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

#pragma once

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>

// One HTTP/1.0 GET on libcurl, driven so that the caller can read the status
// first and then pull the body in blocks, as a blocking socket would allow.
//
// Start() sends the request and returns once the status line and headers have
// arrived. The receive time-out is a stall limit: the transfer fails when no
// byte arrives for `timeoutSeconds`, whether it is still connecting, waiting
// for the status line or reading the body. Redirects are never followed;
// proxies come from the usual environment variables. The transfer is held
// back while the reader has a good amount of body unread, so a fast server
// never fills memory ahead of a slow reader.
//
// Hostile servers are cut off: response headers are bounded in size and
// line count, and once the first byte has arrived the answer must keep an
// average of kMinimumBytesPerSecond over the time spent waiting for it, so
// a server that drips bytes cannot hold a request forever. Either ends the
// transfer as refused (Refused() true), which is no time-out to retry.
//
// Close the transfer by destroying it.
class HttpTransfer {
public:
    struct Credentials {
        std::string userName;
        std::string password;
        bool digest = false;  // otherwise basic
    };

    HttpTransfer();
    ~HttpTransfer();
    HttpTransfer(const HttpTransfer&) = delete;
    HttpTransfer& operator=(const HttpTransfer&) = delete;

    // False when no response arrived (refused, unresolved, stalled, reset);
    // Error() says why.
    bool Start(const std::string& url, int timeoutSeconds, const Credentials* credentials = nullptr);

    long Status() const { return status_; }
    // Status line first, each line ended by CR LF, an empty line at the end.
    const std::string& RawHeaders() const { return headers_; }
    // Value of the first header `name` (case-insensitive), blanks trimmed;
    // empty when absent.
    std::string HeaderValue(const std::string& name) const;

    // Copies at most `capacity` bytes of the body into `buffer`: the number of
    // bytes, 0 at the end of the body, -1 when the transfer failed.
    long Read(char* buffer, size_t capacity);

    const std::string& Error() const { return error_; }
    // The server's answer broke one of the limits above; Error() says which.
    bool Refused() const { return refused_; }

    static constexpr size_t kMaxHeaderBytes = 64 * 1024;
    static constexpr int kMaxHeaderLines = 500;
    static constexpr long long kMinimumBytesPerSecond = 1024;

private:
    using Clock = std::chrono::steady_clock;

    static size_t OnHeader(char* data, size_t size, size_t count, void* self);
    static size_t OnBody(char* data, size_t size, size_t count, void* self);
    template <typename Ready>
    void WaitUntil(Ready ready);
    void Finish(int code);
    void Fail(const std::string& error);
    void Refuse(const std::string& error);
    void RefuseHeaders();
    bool TooSlow(Clock::duration waited);

    void* multi_ = nullptr;
    void* easy_ = nullptr;
    void* requestHeaders_ = nullptr;
    bool attached_ = false;
    bool done_ = false;
    bool failed_ = false;
    bool headersComplete_ = false;
    bool paused_ = false;
    bool refused_ = false;
    int headerLines_ = 0;
    size_t headerBytes_ = 0;
    long long receivedBytes_ = 0;
    // Time spent waiting for the server since its first byte.
    Clock::duration waitedSinceFirstByte_{};
    long status_ = 0;
    std::string headers_;
    std::string body_;
    size_t bodyRead_ = 0;
    std::chrono::seconds stallLimit_{1};
    Clock::time_point lastActivity_;
    std::string error_;
    char errorBuffer_[256] = {};
};

// Value of the first header `name` (case-insensitive) in a header block laid
// out as RawHeaders() holds it, the status line skipped, blanks trimmed;
// empty when absent.
std::string FindHeaderValue(const std::string& rawHeaders, const std::string& name);

// The status code of a header line that starts a response ("HTTP/1.0 302
// Found"): the number after its first blank by strtol's rules, 0 without a
// blank; nothing when the line starts no response.
std::optional<long> ResponseStatusOf(const std::string& line);

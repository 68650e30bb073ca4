#pragma once

// A scriptable HTTP server on 127.0.0.1 for tests and benchmarks. Every
// connection runs the handler on its own thread with the parsed request; the
// handler writes whatever bytes it likes (well-formed or not), may stall, and
// the connection is closed when it returns. Header-only so that the benchmarks
// can use it too.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

struct HttpTestRequest {
    std::string requestLine;  // "GET /x HTTP/1.0"
    std::string target;       // "/x"
    std::string raw;          // everything up to and including the blank line
    std::vector<std::pair<std::string, std::string>> headers;

    // Value of the first header `name` (case-insensitive); empty when absent.
    std::string Header(std::string_view name) const
    {
        for (const auto& [key, value] : headers)
            if (std::equal(key.begin(), key.end(), name.begin(), name.end(), [](char a, char b) {
                    return std::tolower(static_cast<unsigned char>(a)) == std::tolower(static_cast<unsigned char>(b));
                }))
                return value;
        return {};
    }
};

class LoopbackServer;

class HttpTestConnection {
public:
    HttpTestConnection(LoopbackServer& server, int socket, HttpTestRequest request)
        : server_(server), socket_(socket), request_(std::move(request))
    {
    }

    const HttpTestRequest& Request() const { return request_; }

    // Sends all of `bytes`; false once the peer has gone.
    bool Send(std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(socket_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }

    // A complete answer with Content-Length. `headers` are extra lines, each
    // ended by "\r\n".
    bool Reply(int status, const std::string& headers, std::string_view body)
    {
        const std::string head = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) + "\r\n" + headers +
                                 "Content-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
        std::string whole = head;
        whole.append(body);
        return Send(whole);
    }

    // Waits for `duration` or until the server stops; false when it stopped.
    inline bool Stall(std::chrono::milliseconds duration);

private:
    static std::string Reason(int status)
    {
        switch (status) {
        case 200: return "OK";
        case 301: return "Moved Permanently";
        case 302: return "Found";
        case 303: return "See Other";
        case 401: return "Unauthorized";
        case 404: return "Not Found";
        case 408: return "Request Timeout";
        default: return "Status";
        }
    }

    LoopbackServer& server_;
    int socket_;
    HttpTestRequest request_;
};

class LoopbackServer {
public:
    using Handler = std::function<void(HttpTestConnection&)>;

    explicit LoopbackServer(Handler handler) : handler_(std::move(handler))
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        if (listener_ < 0)
            throw std::runtime_error("socket");
        const int on = 1;
        ::setsockopt(listener_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        address.sin_port = 0;
        socklen_t length = sizeof address;
        if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 16) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
            ::close(listener_);
            throw std::runtime_error("bind/listen");
        }
        port_ = ntohs(address.sin_port);
        acceptor_ = std::thread([this] { AcceptLoop(); });
    }

    ~LoopbackServer()
    {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
            for (const int socket : open_)
                ::shutdown(socket, SHUT_RDWR);
        }
        ::shutdown(listener_, SHUT_RDWR);  // wakes the acceptor's poll at once
        stopped_.notify_all();
        acceptor_.join();
        for (std::thread& worker : workers_)
            worker.join();
        ::close(listener_);
    }

    LoopbackServer(const LoopbackServer&) = delete;
    LoopbackServer& operator=(const LoopbackServer&) = delete;

    int Port() const { return port_; }
    std::string Url(const std::string& target) const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + target;
    }

    std::vector<HttpTestRequest> Requests() const
    {
        std::lock_guard lock(mutex_);
        return requests_;
    }

    int RequestCount() const
    {
        std::lock_guard lock(mutex_);
        return static_cast<int>(requests_.size());
    }

    // Waits for `duration` or until the server stops; false when it stopped.
    bool Stall(std::chrono::milliseconds duration)
    {
        std::unique_lock lock(mutex_);
        return !stopped_.wait_for(lock, duration, [this] { return stopping_; });
    }

private:
    void AcceptLoop()
    {
        for (;;) {
            {
                std::lock_guard lock(mutex_);
                if (stopping_)
                    return;
            }
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 50) <= 0)
                continue;
            const int socket = ::accept(listener_, nullptr, nullptr);
            if (socket < 0)
                continue;
            const int on = 1;
            ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
            std::lock_guard lock(mutex_);
            if (stopping_) {
                ::close(socket);
                return;
            }
            open_.push_back(socket);
            workers_.emplace_back([this, socket] { Serve(socket); });
        }
    }

    void Serve(int socket)
    {
        std::string raw;
        char buffer[4096];
        while (raw.find("\r\n\r\n") == std::string::npos && raw.size() < 65536) {
            const ssize_t received = ::recv(socket, buffer, sizeof buffer, 0);
            if (received <= 0)
                break;
            raw.append(buffer, static_cast<size_t>(received));
        }
        const size_t end = raw.find("\r\n\r\n");
        if (end != std::string::npos) {
            HttpTestRequest request = Parse(raw.substr(0, end + 4));
            {
                std::lock_guard lock(mutex_);
                requests_.push_back(request);
            }
            HttpTestConnection connection(*this, socket, std::move(request));
            handler_(connection);
        }
        {
            std::lock_guard lock(mutex_);
            open_.erase(std::remove(open_.begin(), open_.end(), socket), open_.end());
        }
        ::shutdown(socket, SHUT_WR);
        ::close(socket);
    }

    static HttpTestRequest Parse(const std::string& raw)
    {
        HttpTestRequest request;
        request.raw = raw;
        size_t line = 0;
        bool first = true;
        while (line < raw.size()) {
            const size_t end = raw.find("\r\n", line);
            const std::string text = raw.substr(line, end - line);
            line = end + 2;
            if (text.empty())
                break;
            if (first) {
                request.requestLine = text;
                const size_t a = text.find(' ');
                const size_t b = text.rfind(' ');
                if (a != std::string::npos && b > a)
                    request.target = text.substr(a + 1, b - a - 1);
                first = false;
                continue;
            }
            const size_t colon = text.find(':');
            if (colon == std::string::npos)
                continue;
            std::string value = text.substr(colon + 1);
            value.erase(0, value.find_first_not_of(' '));
            request.headers.emplace_back(text.substr(0, colon), value);
        }
        return request;
    }

    Handler handler_;
    int listener_ = -1;
    int port_ = 0;
    std::thread acceptor_;
    mutable std::mutex mutex_;
    std::condition_variable stopped_;
    bool stopping_ = false;
    std::vector<int> open_;
    std::vector<std::thread> workers_;
    std::vector<HttpTestRequest> requests_;
};

inline bool HttpTestConnection::Stall(std::chrono::milliseconds duration) { return server_.Stall(duration); }

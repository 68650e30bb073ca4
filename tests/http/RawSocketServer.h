#pragma once

// A server on 127.0.0.1 that hands each connection's socket to a script, for
// misbehaviour the scriptable server cannot show, such as a connection reset.
// Connections are served one after another on one thread, which stops
// promptly when the object goes.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>

class RawSocketServer {
public:
    using Script = std::function<void(int socket)>;

    explicit RawSocketServer(Script script) : script_(std::move(script))
    {
        listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(listener_, 4) != 0 ||
            ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            throw std::runtime_error("raw server: bind/listen");
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] { Run(); });
    }
    ~RawSocketServer()
    {
        stopping_ = true;
        thread_.join();
        ::close(listener_);
    }
    RawSocketServer(const RawSocketServer&) = delete;
    RawSocketServer& operator=(const RawSocketServer&) = delete;

    std::string Url(const std::string& target) const
    {
        return "http://127.0.0.1:" + std::to_string(port_) + target;
    }

    // Reads the request up to its blank line (or 64 KiB).
    static void ReadRequest(int socket)
    {
        std::string raw;
        char buffer[4096];
        while (raw.find("\r\n\r\n") == std::string::npos && raw.size() < 65536) {
            const ssize_t received = ::recv(socket, buffer, sizeof buffer, 0);
            if (received <= 0)
                return;
            raw.append(buffer, static_cast<size_t>(received));
        }
    }
    static bool Send(int socket, std::string_view bytes)
    {
        while (!bytes.empty()) {
            const ssize_t sent = ::send(socket, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            if (sent <= 0)
                return false;
            bytes.remove_prefix(static_cast<size_t>(sent));
        }
        return true;
    }
    // Makes the close that follows the script a reset instead of an orderly end.
    static void ResetOnClose(int socket)
    {
        const linger abort{1, 0};
        ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &abort, sizeof abort);
    }

private:
    void Run()
    {
        while (!stopping_) {
            pollfd waiting{listener_, POLLIN, 0};
            if (::poll(&waiting, 1, 50) <= 0)
                continue;
            const int socket = ::accept(listener_, nullptr, nullptr);
            if (socket < 0)
                continue;
            script_(socket);
            ::close(socket);
        }
    }

    Script script_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stopping_{false};
    std::thread thread_;
};

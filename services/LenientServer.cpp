#include "services/LenientServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr int kReadTimeoutMs = 5000;
constexpr int kWriteTimeoutMs = 5000;
constexpr size_t kMaxRequestLine = 8192;

// Waits until `sock` is ready for `events`; false on time-out and as soon
// as the server stops (`stopEvent` readable).
bool WaitFor(int sock, short events, int timeoutMs, int stopEvent)
{
    pollfd entries[2] = {{sock, events, 0}, {stopEvent, POLLIN, 0}};
    int result;
    do
        result = ::poll(entries, 2, timeoutMs);
    while (result < 0 && errno == EINTR);
    return result > 0 && entries[1].revents == 0 && (entries[0].revents & (events | POLLHUP | POLLERR));
}

// accept() failures that pass: a connection that went before it was taken,
// a signal, or a moment without descriptors or memory.
bool IsPassingAcceptError(int error)
{
    switch (error) {
    case EINTR:
    case ECONNABORTED:
    case EPROTO:
    case EAGAIN:
    case EMFILE:
    case ENFILE:
    case ENOBUFS:
    case ENOMEM:
        return true;
    default:
        return false;
    }
}

void Describe(const sockaddr_storage& address, std::string& ip, int& port)
{
    char text[INET6_ADDRSTRLEN] = "";
    if (address.ss_family == AF_INET) {
        const auto* in = reinterpret_cast<const sockaddr_in*>(&address);
        ::inet_ntop(AF_INET, &in->sin_addr, text, sizeof text);
        port = ntohs(in->sin_port);
    } else if (address.ss_family == AF_INET6) {
        const auto* in = reinterpret_cast<const sockaddr_in6*>(&address);
        ::inet_ntop(AF_INET6, &in->sin6_addr, text, sizeof text);
        port = ntohs(in->sin6_port);
    }
    ip = text;
}

// A socket stream that hands out a rewritten request line before the rest
// of what the client sent.
class SocketStream : public httplib::Stream {
public:
    SocketStream(int sock, int stopEvent) : sock_(sock), stopEvent_(stopEvent) {}

    // Reads the request line and rewrites it; false when none arrives.
    bool PrepareRequestLine()
    {
        std::string line;
        char chunk[1024];
        while (line.find('\n') == std::string::npos) {
            if (line.size() > kMaxRequestLine || !WaitFor(sock_, POLLIN, kReadTimeoutMs, stopEvent_))
                break;
            const ssize_t got = ::recv(sock_, chunk, sizeof chunk, 0);
            if (got <= 0)
                break;
            line.append(chunk, static_cast<size_t>(got));
        }
        if (line.empty())
            return false;
        const size_t end = line.find('\n');
        if (end == std::string::npos) {
            pending_ = std::move(line);
        } else {
            pending_ = EncodeBlanksInRequestLine(line.substr(0, end + 1)) + line.substr(end + 1);
        }
        return true;
    }

    bool is_readable() const override
    {
        return offset_ < pending_.size() || WaitFor(sock_, POLLIN, kReadTimeoutMs, stopEvent_);
    }
    bool is_writable() const override { return WaitFor(sock_, POLLOUT, kWriteTimeoutMs, stopEvent_); }

    ssize_t read(char* ptr, size_t size) override
    {
        if (offset_ < pending_.size()) {
            const size_t n = std::min(size, pending_.size() - offset_);
            std::memcpy(ptr, pending_.data() + offset_, n);
            offset_ += n;
            return static_cast<ssize_t>(n);
        }
        if (!WaitFor(sock_, POLLIN, kReadTimeoutMs, stopEvent_))
            return -1;
        ssize_t got;
        do
            got = ::recv(sock_, ptr, size, 0);
        while (got < 0 && errno == EINTR);
        return got;
    }

    ssize_t write(const char* ptr, size_t size) override
    {
        if (!WaitFor(sock_, POLLOUT, kWriteTimeoutMs, stopEvent_))
            return -1;
        ssize_t sent;
        do
            sent = ::send(sock_, ptr, size, MSG_NOSIGNAL);
        while (sent < 0 && errno == EINTR);
        return sent;
    }

    void get_remote_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getpeername(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            Describe(address, ip, port);
    }
    void get_local_ip_and_port(std::string& ip, int& port) const override
    {
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        if (::getsockname(sock_, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            Describe(address, ip, port);
    }
    socket_t socket() const override { return sock_; }

private:
    int sock_;
    int stopEvent_;
    std::string pending_;
    size_t offset_ = 0;
};

}  // namespace

std::string EncodeBlanksInRequestLine(const std::string& line)
{
    size_t end = line.size();
    while (end > 0 && (line[end - 1] == '\n' || line[end - 1] == '\r'))
        --end;
    const std::string ending = line.substr(end);
    const std::string text = line.substr(0, end);
    const size_t first = text.find(' ');
    const size_t last = text.rfind(' ');
    if (first == std::string::npos || first == last || text.compare(last + 1, 5, "HTTP/") != 0)
        return line;
    std::string target = text.substr(first + 1, last - first - 1);
    if (target.find(' ') == std::string::npos)
        return line;
    std::string encoded;
    for (const char c : target)
        encoded += c == ' ' ? std::string("%20") : std::string(1, c);
    return text.substr(0, first + 1) + encoded + text.substr(last) + ending;
}

LenientServer::LenientServer() : stopEvent_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK))
{
    // The library's default also sets SO_REUSEPORT, which lets a second
    // server bind a port that one already listens on; the kernel would then
    // split the connections between the two. SO_REUSEADDR alone still
    // allows a restart while old connections linger in TIME_WAIT.
    set_socket_options([](socket_t socket) {
        int yes = 1;
        ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
}

LenientServer::~LenientServer()
{
    StopServing();
    if (stopEvent_ >= 0)
        ::close(stopEvent_);
}

bool LenientServer::StartServing(std::size_t threads)
{
    if (stopped_ || acceptor_.joinable() || stopEvent_ < 0 || svr_sock_ == INVALID_SOCKET)
        return false;
    acceptor_ = std::thread([this, threads] { AcceptLoop(threads); });
    return true;
}

void LenientServer::StopServing()
{
    stopped_ = true;
    if (stopEvent_ >= 0) {
        const uint64_t one = 1;
        while (::write(stopEvent_, &one, sizeof one) < 0 && errno == EINTR) {
        }
    }
    if (acceptor_.joinable())
        acceptor_.join();
    const socket_t listener = svr_sock_.exchange(INVALID_SOCKET);
    if (listener != INVALID_SOCKET)
        ::close(listener);
}

void LenientServer::AcceptLoop(std::size_t threads)
{
    httplib::ThreadPool pool(threads);
    const socket_t listener = svr_sock_;
    for (;;) {
        pollfd entries[2] = {{listener, POLLIN, 0}, {stopEvent_, POLLIN, 0}};
        if (::poll(entries, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (entries[1].revents != 0 || (entries[0].revents & (POLLERR | POLLHUP | POLLNVAL)))
            break;
        if (!(entries[0].revents & POLLIN))
            continue;
        const int sock = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (sock >= 0) {
            pool.enqueue([this, sock] { process_and_close_socket(sock); });
        } else if (!IsPassingAcceptError(errno)) {
            break;
        } else if (errno != EINTR) {
            // Out of descriptors or memory: give the connections a moment
            // to close, still waking at once for a stop.
            pollfd stop{stopEvent_, POLLIN, 0};
            ::poll(&stop, 1, 10);
        }
    }
    // Connections still queued see the stop event and close at once.
    pool.shutdown();
}

bool LenientServer::process_and_close_socket(socket_t sock)
{
    {
        SocketStream stream(sock, stopEvent_);
        if (stream.PrepareRequestLine()) {
            bool closed = false;
            process_request(stream, true, closed, [&](httplib::Request& request) {
                stream.get_remote_ip_and_port(request.remote_addr, request.remote_port);
            });
        }
    }
    ::shutdown(sock, SHUT_RDWR);
    ::close(sock);
    return true;
}

#pragma once

#include <httplib.h>

#include <cstddef>
#include <thread>

// An HTTP server that also accepts request lines whose target holds raw
// blanks (GET /demo.cgi?address=1 Main St HTTP/1.0), as clients that pass an
// address exactly as typed send them: the blanks are read as %20. It serves
// one request per connection. A port another listener holds is never shared:
// binding it fails.
//
// Lifecycle: bind with bind_to_port or bind_to_any_port, then StartServing()
// accepts on a thread of its own until StopServing() or destruction. Both
// are called by the owner's thread. Stopping works however soon it follows
// the start: the accept loop watches a stop event as well as the listening
// socket, so no stop can slip in before the loop waits and be missed.
class LenientServer : public httplib::Server {
public:
    LenientServer();
    ~LenientServer() override;
    LenientServer(const LenientServer&) = delete;
    LenientServer& operator=(const LenientServer&) = delete;

    // Serves up to `threads` connections at once. False when the server is
    // not bound, serves already or was stopped.
    bool StartServing(std::size_t threads);
    // Stops accepting, ends connections that wait for their client, lets
    // running handlers finish and returns once every thread has ended; the
    // listening socket is then closed. Harmless to call again.
    void StopServing();

private:
    void AcceptLoop(std::size_t threads);
    bool process_and_close_socket(socket_t sock) override;

    int stopEvent_ = -1;  // an eventfd, readable from the stop on
    bool stopped_ = false;
    std::thread acceptor_;
};

// The request line with blanks inside its target percent-encoded; other
// lines come back unchanged.
std::string EncodeBlanksInRequestLine(const std::string& line);

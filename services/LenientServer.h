#pragma once

#include <httplib.h>

// An HTTP server that also accepts request lines whose target holds raw
// blanks (GET /demo.cgi?address=1 Main St HTTP/1.0), as clients that pass an
// address exactly as typed send them: the blanks are read as %20. It serves
// one request per connection.
class LenientServer : public httplib::Server {
private:
    bool process_and_close_socket(socket_t sock) override;
};

// The request line with blanks inside its target percent-encoded; other
// lines come back unchanged.
std::string EncodeBlanksInRequestLine(const std::string& line);

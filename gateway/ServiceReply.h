#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

// The query of a request, already percent-decoded; a key given twice keeps
// its first value.
using QueryMap = std::map<std::string, std::string>;

// What a request handler answers, independent of the HTTP server that sends
// it, so the handlers can be exercised directly.
struct ServiceReply {
    int status = 200;
    std::string contentType = "text/plain";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;

    static ServiceReply Text(int status, std::string text)
    {
        ServiceReply reply;
        reply.status = status;
        reply.body = std::move(text);
        return reply;
    }

    // A public source failed: status 502, the reason as the body and in a
    // Warning header, since clients log the headers of a failed request.
    static ServiceReply SourceFailure(const std::string& why);
};

// Strict number parsing: the whole text must be one finite decimal number.
bool ParseNumber(const std::string& text, double& value);
bool ParseInteger(const std::string& text, long& value);

// Looks up a key; false when it is absent.
bool FindKey(const QueryMap& query, const std::string& key, std::string& value);

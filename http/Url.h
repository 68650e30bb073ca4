#pragma once

#include <string>

// An absolute URL split into the parts a request needs.
struct UrlParts {
    std::string scheme;  // lower case
    std::string host;    // without brackets for IPv6 literals
    int port = 80;
    std::string object;  // path with query, always starting with '/'; no fragment
};

enum class UrlSplit { Ok, NotAUrl, NotHttp, PortOutOfRange };

// Splits `text` as "scheme://[user@]host[:port][/object]". Ok only for http;
// NotHttp for the other well-known schemes (https, ftp, ...); PortOutOfRange
// for an http URL whose port is a number outside 1 to 65535; NotAUrl for
// everything else, an http URL without host or with a port that is no
// number included.
UrlSplit SplitUrl(const std::string& text, UrlParts& parts);

// "host" or "host:port" (port only when it is not 80), brackets around IPv6.
std::string UrlAuthority(const UrlParts& parts);

// The URL handed to the transfer library: the parts put together again, with
// blanks, control characters and non-ASCII bytes of the object escaped.
std::string TransferUrl(const UrlParts& parts);

// Resolves a redirect target against the URL it came from. Absolute targets
// ("scheme://...") are returned as they are; "//host/..." takes the scheme
// "http:"; "/path", "?query" and "name" are resolved against `base`.
std::string ResolveUrl(const UrlParts& base, const std::string& reference);

#include "http/Url.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <string_view>

namespace {

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool IsSchemeText(std::string_view scheme)
{
    if (scheme.empty() || !std::isalpha(static_cast<unsigned char>(scheme.front())))
        return false;
    return std::all_of(scheme.begin(), scheme.end(), [](unsigned char c) {
        return std::isalnum(c) || c == '+' || c == '-' || c == '.';
    });
}

bool IsKnownOtherScheme(const std::string& scheme)
{
    static constexpr std::array<std::string_view, 8> known = {
        "https", "ftp", "gopher", "file", "news", "nntp", "telnet", "mailto"};
    return std::find(known.begin(), known.end(), scheme) != known.end();
}

bool HasScheme(const std::string& text)
{
    const size_t colon = text.find("://");
    return colon != std::string::npos && IsSchemeText(std::string_view(text).substr(0, colon));
}

}  // namespace

UrlSplit SplitUrl(const std::string& text, UrlParts& parts)
{
    const size_t separator = text.find("://");
    if (separator == std::string::npos || !IsSchemeText(std::string_view(text).substr(0, separator)))
        return UrlSplit::NotAUrl;
    const std::string scheme = Lower(text.substr(0, separator));
    if (scheme != "http")
        return IsKnownOtherScheme(scheme) ? UrlSplit::NotHttp : UrlSplit::NotAUrl;

    const size_t authorityStart = separator + 3;
    size_t authorityEnd = text.find_first_of("/?#", authorityStart);
    if (authorityEnd == std::string::npos)
        authorityEnd = text.size();
    std::string authority = text.substr(authorityStart, authorityEnd - authorityStart);
    const size_t at = authority.rfind('@');
    if (at != std::string::npos)
        authority.erase(0, at + 1);

    std::string host;
    std::string portText;
    if (!authority.empty() && authority.front() == '[') {
        const size_t close = authority.find(']');
        // A second '[' would make a host that cannot be written back in
        // brackets, so the URL put together again would name no host.
        if (close == std::string::npos || authority.find('[', 1) < close)
            return UrlSplit::NotAUrl;
        host = authority.substr(1, close - 1);
        const std::string rest = authority.substr(close + 1);
        if (!rest.empty()) {
            if (rest.front() != ':')
                return UrlSplit::NotAUrl;
            portText = rest.substr(1);
        }
    } else {
        const size_t colon = authority.find(':');
        host = authority.substr(0, colon);
        if (colon != std::string::npos)
            portText = authority.substr(colon + 1);
    }
    if (host.empty() || std::any_of(host.begin(), host.end(), [](unsigned char c) {
            return c <= ' ' || c == 0x7f;
        }))
        return UrlSplit::NotAUrl;

    int port = 80;
    if (!portText.empty()) {
        if (portText.size() > 5 || !std::all_of(portText.begin(), portText.end(),
                                                [](unsigned char c) { return std::isdigit(c); }))
            return UrlSplit::NotAUrl;
        port = std::stoi(portText);
        if (port < 1 || port > 65535)
            return UrlSplit::PortOutOfRange;
    }

    std::string object = text.substr(authorityEnd);
    const size_t fragment = object.find('#');
    if (fragment != std::string::npos)
        object.erase(fragment);
    if (object.empty() || object.front() != '/')
        object.insert(0, "/");

    parts.scheme = scheme;
    parts.host = host;
    parts.port = port;
    parts.object = object;
    return UrlSplit::Ok;
}

std::string UrlAuthority(const UrlParts& parts)
{
    std::string authority = parts.host.find(':') != std::string::npos ? "[" + parts.host + "]" : parts.host;
    if (parts.port != 80)
        authority += ":" + std::to_string(parts.port);
    return authority;
}

std::string TransferUrl(const UrlParts& parts)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string url = "http://" + UrlAuthority(parts);
    for (const char c : parts.object) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte <= ' ' || byte >= 0x7f) {
            url += '%';
            url += hex[byte >> 4];
            url += hex[byte & 0x0f];
        } else {
            url += c;
        }
    }
    return url;
}

std::string ResolveUrl(const UrlParts& base, const std::string& reference)
{
    if (HasScheme(reference))
        return reference;
    if (reference.rfind("//", 0) == 0)
        return "http:" + reference;
    const std::string origin = "http://" + UrlAuthority(base);
    if (!reference.empty() && reference.front() == '/')
        return origin + reference;
    const std::string path = base.object.substr(0, base.object.find('?'));
    if (reference.empty())
        return origin + base.object;
    if (reference.front() == '?')
        return origin + path + reference;
    return origin + path.substr(0, path.rfind('/') + 1) + reference;
}

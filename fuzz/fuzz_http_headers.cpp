// Fuzz target for what is looked up in a response's headers: the input is
// the header block as a server sends it. Each line goes through the status
// line reading and is collected as the transfer collects it; then the
// headers a request acts on are looked up and followed as it follows them.
#include "fuzz/FuzzSupport.h"
#include "http/CHTTPRequest.h"
#include "http/HttpTransfer.h"
#include "http/Url.h"

#include <cstdlib>

namespace {

// The raw headers of the last response in `block`, laid out as the transfer
// keeps them; the status of that response.
std::string CollectHeaders(std::string_view block, long& status)
{
    std::string headers;
    while (!block.empty()) {
        const size_t end = block.find('\n');
        std::string line(block.substr(0, end));
        block.remove_prefix(end == std::string_view::npos ? block.size() : end + 1);
        while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
            line.pop_back();
        if (const std::optional<long> code = ResponseStatusOf(line)) {
            headers.clear();
            status = *code;
        }
        headers += line + "\r\n";
    }
    return headers;
}

void FollowTarget(const std::string& target)
{
    UrlParts parts;
    if (SplitUrl(target, parts) == UrlSplit::Ok)
        FUZZ_CHECK(!TransferUrl(parts).empty());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const UrlParts base = [] {
        UrlParts parts;
        SplitUrl("http://extract.example:8080/order/status.php?id=7", parts);
        return parts;
    }();
    long status = 0;
    const std::string headers = CollectHeaders(AsText(data, size), status);

    for (const char* name : {"Location", "Refresh", "WWW-Authenticate", "Content-Length"}) {
        const std::string value = FindHeaderValue(headers, name);
        FUZZ_CHECK(value.size() <= headers.size());
        FUZZ_CHECK(value.empty() || (value.find_first_of(" \t") != 0 && value.find_last_of(" \t") != value.size() - 1));
    }
    const std::string refresh = FindHeaderValue(headers, "Refresh");
    (void)RefreshWait(refresh);
    FollowTarget(RefreshTarget(refresh, base));
    const std::string location = FindHeaderValue(headers, "Location");
    if (!location.empty())
        FollowTarget(ResolveUrl(base, location));
    (void)std::atof(FindHeaderValue(headers, "Content-Length").c_str());
    (void)CHTTPRequest::findNoCase(FindHeaderValue(headers, "WWW-Authenticate"), "digest", 0);
    return 0;
}

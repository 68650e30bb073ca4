// Fuzz target for URL splitting and resolving: the input is a URL, or a base
// URL, a line feed and a reference to resolve against it.
#include "fuzz/FuzzSupport.h"
#include "http/Url.h"

namespace {

void CheckSplit(const std::string& text)
{
    UrlParts parts;
    if (SplitUrl(text, parts) != UrlSplit::Ok)
        return;
    FUZZ_CHECK(parts.scheme == "http" && !parts.host.empty());
    FUZZ_CHECK(parts.port >= 1 && parts.port <= 65535);
    FUZZ_CHECK(!parts.object.empty() && parts.object.front() == '/');
    FUZZ_CHECK(parts.object.find('#') == std::string::npos);
    // What is handed to the transfer names the same server again.
    UrlParts again;
    FUZZ_CHECK(SplitUrl(TransferUrl(parts), again) == UrlSplit::Ok);
    FUZZ_CHECK(again.host == parts.host && again.port == parts.port);
    // Hosts hold no blanks or control characters, and the object is escaped.
    for (const char c : TransferUrl(again))
        FUZZ_CHECK(static_cast<unsigned char>(c) > ' ' && static_cast<unsigned char>(c) != 0x7f);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string_view input = AsText(data, size);
    const size_t lineFeed = input.find('\n');
    const std::string first(input.substr(0, lineFeed));
    CheckSplit(first);
    if (lineFeed == std::string_view::npos)
        return 0;

    UrlParts base;
    if (SplitUrl(first, base) != UrlSplit::Ok)
        return 0;
    const std::string reference(input.substr(lineFeed + 1));
    const std::string resolved = ResolveUrl(base, reference);
    FUZZ_CHECK(resolved.find("://") != std::string::npos);
    CheckSplit(resolved);
    return 0;
}

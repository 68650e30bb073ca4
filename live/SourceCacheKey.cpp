#include "live/SourceCacheKey.h"

#include "live/CacheFile.h"

namespace {

constexpr size_t kReadableLength = 48;

bool IsNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '_';
}

}  // namespace

std::string SourceCacheFolderName(const std::string& baseUrl)
{
    std::string url = baseUrl;
    while (!url.empty() && url.back() == '/')
        url.pop_back();
    const size_t scheme = url.find("://");
    std::string readable;
    for (char c : scheme == std::string::npos ? url : url.substr(scheme + 3)) {
        const char kept = IsNameCharacter(c) ? c : '-';
        if (readable.size() < kReadableLength && !(kept == '-' && !readable.empty() && readable.back() == '-'))
            readable += kept;
    }
    // A leading dot would hide the folder; ".." must never be a name.
    while (!readable.empty() && (readable.front() == '.' || readable.front() == '-'))
        readable.erase(readable.begin());
    return (readable.empty() ? std::string("source") : readable) + "-" + CacheKeyHash(url).substr(0, 8);
}

#pragma once

#include "live/UpstreamClient.h"

#include <cstddef>
#include <functional>
#include <string>

// One GET of a public source, with the body kept in the answer up to a size
// limit. The adapters take this rather than the client itself, so that tests
// and fuzz targets can hand them answers directly.
using UpstreamFetch = std::function<UpstreamAnswer(const std::string& url, size_t maxBodyBytes)>;

// Fetches through `client`, which must outlive the function.
inline UpstreamFetch FetchThrough(UpstreamClient& client)
{
    return [&client](const std::string& url, size_t maxBodyBytes) { return client.Get(url, maxBodyBytes); };
}

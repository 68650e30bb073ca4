#pragma once

#include "live/UpstreamClient.h"

#include <concepts>
#include <cstddef>
#include <functional>
#include <string>
#include <type_traits>
#include <utility>

// One GET of a public source, with the body kept in the answer up to a size
// limit, and whether the caller has been asked to stop, so that an adapter
// waiting for something other than a transfer (another process filling the
// same cache entry) stops waiting too. The adapters take this rather than
// the client itself, so that tests and fuzz targets can hand them answers
// directly; a plain function makes a fetch that is never cancelled.
class UpstreamFetch {
public:
    using Get = std::function<UpstreamAnswer(const std::string& url, size_t maxBodyBytes)>;

    UpstreamFetch() = default;
    template <typename F>
        requires(!std::same_as<std::decay_t<F>, UpstreamFetch> &&
                 std::is_invocable_r_v<UpstreamAnswer, F&, const std::string&, size_t>)
    UpstreamFetch(F get) : get_(std::move(get))  // NOLINT: converting on purpose, like std::function
    {
    }
    UpstreamFetch(Get get, std::function<bool()> cancelled) : get_(std::move(get)), cancelled_(std::move(cancelled))
    {
    }

    UpstreamAnswer operator()(const std::string& url, size_t maxBodyBytes) const { return get_(url, maxBodyBytes); }
    explicit operator bool() const { return static_cast<bool>(get_); }

    // Whether the caller has been asked to stop; empty for a fetch never cancelled.
    std::function<bool()> CancelProbe() const { return cancelled_; }

private:
    Get get_;
    std::function<bool()> cancelled_;
};

// Fetches through `client`, which must outlive the function, and is
// cancelled with it.
inline UpstreamFetch FetchThrough(UpstreamClient& client)
{
    return UpstreamFetch([&client](const std::string& url, size_t maxBodyBytes) { return client.Get(url, maxBodyBytes); },
                         [&client] { return client.Cancelled(); });
}

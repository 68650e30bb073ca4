#pragma once

#include "live/UpstreamFetch.h"
#include "live/WmsCapabilities.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>

// The capabilities of one WMS, fetched once and kept in the live cache
// folder, so that layer names are looked up rather than assumed. A kept
// document older than a week is fetched again; Refresh() fetches it again
// at once (when the service has refused a layer name). Processes sharing
// the cache folder fetch the document once between them: one fetches while
// the others wait for it and then read what it kept.
class WmsCapabilitiesSource {
public:
    static constexpr std::chrono::hours kMaxAge{24 * 7};
    // How long a fetch waits for another process fetching the same document.
    static constexpr std::chrono::minutes kLockPatience{10};

    // `name` says which service this is in messages; an empty `cacheFolder`
    // keeps the document in memory only.
    WmsCapabilitiesSource(UpstreamFetch fetch, std::string baseUrl, std::string name, std::string cacheFolder);

    using Shared = std::shared_ptr<const WmsCapabilities>;

    // The capabilities, or null with `error` naming the service and the cause.
    Shared Get(std::string& error);
    // Fetches the document anew unless someone already did since `stale`
    // was handed out.
    Shared Refresh(const Shared& stale, std::string& error);

private:
    Shared FetchFromService(std::string& error);
    Shared ReadKept();
    Shared Replace(Shared fresh);
    std::string Cancelled() const;
    std::filesystem::file_time_type KeptTime() const;
    std::string CachePath() const;

    UpstreamFetch fetch_;
    std::string baseUrl_;
    std::string name_;
    std::string cacheFolder_;
    std::mutex mutex_;
    Shared current_;
    // The write time of the kept file current_ was read from or written to.
    std::filesystem::file_time_type keptTime_ = std::filesystem::file_time_type::min();
};

#include "live/WmsCapabilitiesSource.h"

#include "live/CacheEntryLock.h"
#include "live/CacheFile.h"
#include "live/WmsGetMap.h"

#include <filesystem>
#include <system_error>

WmsCapabilitiesSource::WmsCapabilitiesSource(UpstreamFetch fetch, std::string baseUrl, std::string name,
                                             std::string cacheFolder)
    : fetch_(std::move(fetch)), baseUrl_(std::move(baseUrl)), name_(std::move(name)),
      cacheFolder_(std::move(cacheFolder))
{
}

std::string WmsCapabilitiesSource::CachePath() const
{
    return cacheFolder_.empty() ? std::string()
                                : cacheFolder_ + "/wms/capabilities_" + CacheKeyHash(baseUrl_) + ".xml";
}

WmsCapabilitiesSource::Shared WmsCapabilitiesSource::Get(std::string& error)
{
    std::lock_guard lock(mutex_);
    if (!current_)
        current_ = ReadKept();
    if (current_ || CachePath().empty()) {
        if (!current_)
            current_ = FetchFromService(error);
        return current_;
    }
    // Another process may be fetching the same document: wait for it, then read what it kept.
    const CacheEntryLock entry(CachePath(), {fetch_.CancelProbe(), kLockPatience});
    if (entry.Cancelled()) {
        error = Cancelled();
        return nullptr;
    }
    current_ = ReadKept();
    if (!current_)
        current_ = FetchFromService(error);
    return current_;
}

WmsCapabilitiesSource::Shared WmsCapabilitiesSource::Refresh(const Shared& stale, std::string& error)
{
    std::lock_guard lock(mutex_);
    if (current_ && current_ != stale)
        return current_;
    if (CachePath().empty())
        return Replace(FetchFromService(error));
    const CacheEntryLock entry(CachePath(), {fetch_.CancelProbe(), kLockPatience});
    if (entry.Cancelled()) {
        error = Cancelled();
        return nullptr;
    }
    // A document kept since this one was read was fetched anew by another process.
    if (KeptTime() > keptTime_)
        if (Shared kept = ReadKept())
            return Replace(kept);
    return Replace(FetchFromService(error));
}

WmsCapabilitiesSource::Shared WmsCapabilitiesSource::Replace(Shared fresh)
{
    if (fresh)
        current_ = fresh;
    return fresh;
}

std::string WmsCapabilitiesSource::Cancelled() const
{
    return "The " + name_ + " at " + baseUrl_ + " could not be reached for its capabilities (" +
           WmsCapabilitiesUrl(baseUrl_) + "): cancelled.";
}

std::filesystem::file_time_type WmsCapabilitiesSource::KeptTime() const
{
    std::error_code error;
    const auto written = std::filesystem::last_write_time(CachePath(), error);
    return error ? std::filesystem::file_time_type::min() : written;
}

// The kept document, when it is young enough and still reads.
WmsCapabilitiesSource::Shared WmsCapabilitiesSource::ReadKept()
{
    const std::string path = CachePath();
    if (path.empty())
        return nullptr;
    const auto written = KeptTime();
    if (written == std::filesystem::file_time_type::min() ||
        std::filesystem::file_time_type::clock::now() - written > kMaxAge)
        return nullptr;
    std::string xml;
    if (!ReadCacheFile(path, kMaxWmsCapabilitiesBytes, xml))
        return nullptr;
    auto read = std::make_shared<WmsCapabilities>(ReadWmsCapabilities(xml));
    if (!read->ok)
        return nullptr;
    keptTime_ = written;
    return read;
}

WmsCapabilitiesSource::Shared WmsCapabilitiesSource::FetchFromService(std::string& error)
{
    const std::string url = WmsCapabilitiesUrl(baseUrl_);
    const std::string source = "The " + name_ + " at " + baseUrl_;
    // One byte over the limit lets the reader say the document is too large.
    const UpstreamAnswer answer = fetch_(url, kMaxWmsCapabilitiesBytes + 1);
    if (!answer.ok) {
        error = source + " could not be reached for its capabilities (" + url + "): " + answer.error + ".";
        return nullptr;
    }
    auto read = std::make_shared<WmsCapabilities>(ReadWmsCapabilities(answer.body));
    if (!read->ok) {
        const std::string status = answer.status == 200 ? "" : " (status " + std::to_string(answer.status) + ")";
        error = source + " gave capabilities that cannot be used" + status + ": " + read->error + ".";
        return nullptr;
    }
    // Layers are still known for this run when the copy cannot be kept.
    std::string ignored;
    if (!CachePath().empty() && WriteCacheFile(CachePath(), answer.body, ignored))
        keptTime_ = KeptTime();
    return read;
}

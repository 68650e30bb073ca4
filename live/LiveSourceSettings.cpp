#include "live/LiveSourceSettings.h"

#include <cstdlib>

namespace {

std::string Environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

void OverrideFromEnvironment(const char* name, std::string& setting)
{
    std::string value = Environment(name);
    if (!value.empty()) {
        setting = value;
    }
}

}  // namespace

std::string LiveSourceSettings::CacheFolder() const
{
    return cacheFolder.empty() ? DefaultLiveCacheFolder() : cacheFolder;
}

std::string DefaultLiveCacheFolder()
{
    std::string cacheHome = Environment("XDG_CACHE_HOME");
    if (cacheHome.empty()) {
        std::string home = Environment("HOME");
        cacheHome = (home.empty() ? std::string(".") : home) + "/.cache";
    }
    return cacheHome + "/terrafetch";
}

bool LiveSourceSettingsFromEnvironment(LiveSourceSettings& settings, std::string& error)
{
    std::string sources = Environment("TERRAFETCH_SOURCES");
    if (sources == "live") {
        settings.live = true;
    } else if (sources.empty() || sources == "bundled") {
        settings.live = false;
    } else {
        error = "TERRAFETCH_SOURCES must be \"live\" or \"bundled\", not \"" + sources + "\"";
        return false;
    }
    OverrideFromEnvironment("TERRAFETCH_DEM_URL", settings.demUrl);
    OverrideFromEnvironment("TERRAFETCH_DEM2_URL", settings.dem2Url);
    OverrideFromEnvironment("TERRAFETCH_WMS_URL", settings.wmsUrl);
    OverrideFromEnvironment("TERRAFETCH_WMS_BOUNDARIES_URL", settings.wmsBoundariesUrl);
    OverrideFromEnvironment("TERRAFETCH_GEOCODER_URL", settings.geocoderUrl);
    OverrideFromEnvironment("TERRAFETCH_IMAGERY_URL", settings.imageryUrl);
    return true;
}

#include "hosts/ResolveServiceHosts.h"

#include "services/ImageryService.h"
#include "services/ReferenceServices.h"

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>

// The pipeline names the stand-in by the path the services answer it at.
static_assert(std::string_view(kImageryStandInPath) == ImageryService::kPath);

namespace {

std::string EnvironmentHost(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// Tells the instances apart: bundled ones are all alike.
std::string SourcesKey(const LiveSourceSettings& sources)
{
    if (!sources.live)
        return "bundled";
    return "live\n" + sources.CacheFolder() + "\n" + sources.demUrl + "\n" + sources.dem2Url + "\n" + sources.wmsUrl + "\n" +
           sources.wmsBoundariesUrl + "\n" + sources.geocoderUrl;
}

// The in-process services, started on first need.
bool BundledServicesHost(const LiveSourceSettings& sources, bool drawMapsAhead, std::string& host,
                         std::string& error)
{
    static std::mutex mutex;
    static std::map<std::string, std::unique_ptr<ReferenceServices>> running;
    std::lock_guard lock(mutex);
    std::unique_ptr<ReferenceServices>& services = running[SourcesKey(sources)];
    if (!services) {
        ReferenceServiceOptions options;
        options.live = sources;
        options.drawMapsAhead = drawMapsAhead;
        auto started = std::make_unique<ReferenceServices>(options);
        if (started->Start() == 0) {
            error = "The bundled reference services could not be started: " + started->Error();
            return false;
        }
        services = std::move(started);
    }
    host = services->HostAndPort();
    return true;
}

// Live mode fetches the public imagery and keeps it in the live cache;
// otherwise the imagery is the drawn stand-in of the services that draw the
// map, which needs no keeping.
void ResolveImagery(ServiceHosts& hosts, const LiveSourceSettings& sources)
{
    hosts.imageryLayer = EnvironmentHost("TERRAFETCH_IMAGERY_LAYER");
    if (sources.live) {
        hosts.imagery = sources.imageryUrl;
        hosts.imageryCache = sources.CacheFolder();
    } else {
        hosts.imagery = "http://" + hosts.map + kImageryStandInPath;
        hosts.imageryCache.clear();
    }
}

} // namespace

bool ResolveServiceHosts(ServiceHosts& hosts, const LiveSourceSettings& sources, std::string& error)
{
    hosts.extract = EnvironmentHost("TERRAFETCH_EXTRACT_HOST");
    hosts.map = EnvironmentHost("TERRAFETCH_MAP_HOST");
    hosts.geocode = EnvironmentHost("TERRAFETCH_GEOCODE_HOST");
    if (hosts.extract.empty() || hosts.map.empty() || hosts.geocode.empty()) {
        std::string bundled;
        // A map drawn ahead for orders is only of use when the same services answer the map.
        if (!BundledServicesHost(sources, hosts.map.empty(), bundled, error))
            return false;
        for (std::string* host : {&hosts.extract, &hosts.map, &hosts.geocode})
            if (host->empty())
                *host = bundled;
    }
    ResolveImagery(hosts, sources);
    return true;
}

bool ResolveServiceHosts(ServiceHosts& hosts, std::string& error)
{
    LiveSourceSettings sources;
    if (!LiveSourceSettingsFromEnvironment(sources, error))
        return false;
    return ResolveServiceHosts(hosts, sources, error);
}

bool ServedByBundledServices(const char* hostVariable)
{
    return EnvironmentHost(hostVariable).empty();
}

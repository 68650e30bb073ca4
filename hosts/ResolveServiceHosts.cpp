#include "hosts/ResolveServiceHosts.h"

#include "services/ReferenceServices.h"

#include <cstdlib>
#include <memory>
#include <mutex>

namespace {

std::string EnvironmentHost(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// The in-process services, started on first need.
bool BundledServicesHost(std::string& host, std::string& error)
{
    static std::mutex mutex;
    static std::unique_ptr<ReferenceServices> services;
    std::lock_guard lock(mutex);
    if (!services) {
        auto started = std::make_unique<ReferenceServices>();
        if (started->Start() == 0) {
            error = "The bundled reference services could not be started: " + started->Error();
            return false;
        }
        services = std::move(started);
    }
    host = services->HostAndPort();
    return true;
}

} // namespace

bool ResolveServiceHosts(ServiceHosts& hosts, std::string& error)
{
    hosts.extract = EnvironmentHost("TERRAFETCH_EXTRACT_HOST");
    hosts.map = EnvironmentHost("TERRAFETCH_MAP_HOST");
    hosts.geocode = EnvironmentHost("TERRAFETCH_GEOCODE_HOST");
    if (!hosts.extract.empty() && !hosts.map.empty() && !hosts.geocode.empty())
        return true;
    std::string bundled;
    if (!BundledServicesHost(bundled, error))
        return false;
    for (std::string* host : {&hosts.extract, &hosts.map, &hosts.geocode})
        if (host->empty())
            *host = bundled;
    return true;
}

#pragma once

#include "job/ServiceHosts.h"
#include "live/LiveSourceSettings.h"

#include <string>

// The hosts named by TERRAFETCH_EXTRACT_HOST, TERRAFETCH_MAP_HOST and
// TERRAFETCH_GEOCODE_HOST. Any that is unset is served by the bundled
// reference services, started in this process on a free loopback port and
// kept until the process ends: one instance for each choice of `sources`
// (bundled, or live with its URLs and cache), so a program that switches
// between them starts each only once. The imagery is the public WMS of
// `sources` in live mode, else the drawn stand-in of the map's services;
// TERRAFETCH_IMAGERY_LAYER names its layer. False, with `error` set, when
// they cannot be started.
bool ResolveServiceHosts(ServiceHosts& hosts, const LiveSourceSettings& sources, std::string& error);

// As above, with the sources of LiveSourceSettingsFromEnvironment(); a bad
// TERRAFETCH_SOURCES is an error.
bool ResolveServiceHosts(ServiceHosts& hosts, std::string& error);

// Whether the service a host variable names ("TERRAFETCH_GEOCODE_HOST", ...)
// is left to the bundled reference services: the variable is unset or empty.
bool ServedByBundledServices(const char* hostVariable);

#pragma once

#include "job/ServiceHosts.h"

#include <string>

// The hosts named by TERRAFETCH_EXTRACT_HOST, TERRAFETCH_MAP_HOST and
// TERRAFETCH_GEOCODE_HOST. Any that is unset is served by the bundled
// reference services, started once in this process on a free loopback port
// and kept until the process ends. False, with `error` set, when they
// cannot be started.
bool ResolveServiceHosts(ServiceHosts& hosts, std::string& error);

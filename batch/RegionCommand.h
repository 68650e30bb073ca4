#pragma once

#include "batch/BatchOptions.h"
#include "core/JobFields.h"
#include "job/ServiceHosts.h"
#include "live/LiveSourceSettings.h"

#include <csignal>
#include <string>

// The region run a command line asks for: its quads, the options that
// shape each quad's files, and the services every quad's job uses. Writes
// what goes wrong to standard error and returns the exit status.
int RunRegionCommand(const BatchOptions& options, const JobFields& job, const ServiceHosts& hosts,
                     const LiveSourceSettings& sources, const volatile std::sig_atomic_t& interrupted);

// The fingerprint of everything that shapes a quad's files, as
// "name=value; ..." (the HTTP time-out does not: it is left out).
std::string QuadOptionsFingerprint(const BatchOptions& options, const JobFields& job,
                                   const LiveSourceSettings& sources);

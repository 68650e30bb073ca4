#pragma once

#include "live/LiveSourceSettings.h"

#include <memory>
#include <string>

class BackgroundMap;

// The three reference services — elevation extract, map server, geocoder —
// in one HTTP server, so terraFetch runs whole jobs with no network; the
// bundled (not live) services also serve a drawn stand-in for aerial imagery
// (ImageryService.h).
//
// Lifecycle: construct with options, Start() binds (port 0 picks a free one)
// and serves on a thread of its own until Stop() or destruction; Stop()
// returns once the server's threads have ended, however soon after Start()
// it comes. Handlers
// never block on a client's behalf: waits are the client's, asked for in
// Refresh headers.
struct ReferenceServiceOptions {
    std::string address = "127.0.0.1";
    int port = 0;
    int waitSeconds = 1;         // wait asked for by each status page (0 in tests)
    std::string dataFolder;      // real elevation (.hgt tiles, GDAL rasters); empty: synthetic terrain only
    double voidFraction = 0.005; // share of synthetic terrain left void
    std::string mapDataFolder;   // vendored boundaries and gazetteer; empty: the default
    int threads = 16;
    LiveSourceSettings live;     // live.live: answer from the public sources instead
    // Live mode: draw an elevation order's street map ahead of the job's map
    // request, and release the order only with it. For services that also
    // answer the job's maps; off, orders concern elevation alone.
    bool drawMapsAhead = false;
};

// Where the vendored data lies: $TERRAFETCH_SERVICES_DATA if set, else
// ServiceDataFolderBeside(the running program's folder).
std::string DefaultServiceDataFolder();

// For a program in `programFolder`: share/terrafetch/data beside its bin/
// folder when that exists (an installed or unpacked copy, wherever it was
// put), else the source tree's services/data while it exists, else the
// folder the build was configured to install to.
std::string ServiceDataFolderBeside(const std::string& programFolder);

class ReferenceServices {
public:
    explicit ReferenceServices(ReferenceServiceOptions options = {});
    ~ReferenceServices();
    ReferenceServices(const ReferenceServices&) = delete;
    ReferenceServices& operator=(const ReferenceServices&) = delete;

    // Starts serving; returns the port, or 0 when the address cannot be
    // bound (Error() tells why). Calling it while running returns the port;
    // an instance that was stopped does not start again.
    int Start();
    void Stop();

    int Port() const;
    // "address:port", as the host variables of the program take it.
    std::string HostAndPort() const;
    // Why Start failed, or what is missing when the vendored data could not
    // be loaded (the services then run without boundaries and places).
    const std::string& Error() const;

private:
    struct Impl;
    static std::shared_ptr<BackgroundMap> StartBackgroundMap(Impl& s, double west, double east, double south,
                                                             double north);
    std::unique_ptr<Impl> impl_;
};

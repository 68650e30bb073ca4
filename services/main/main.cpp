// terrafetch-services: the extract service, map server and geocoder as one
// standalone HTTP server.
#include "live/LiveSourceOptions.h"
#include "live/SourceCheck.h"
#include "live/UpstreamClient.h"
#include "services/ImageryService.h"
#include "services/ReferenceServices.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

namespace {

void Usage()
{
    std::printf(
        "Usage: terrafetch-services [options]\n"
        "  --address A    address to listen on (default 127.0.0.1)\n"
        "  --port N       port (default 8765; 0 picks a free one)\n"
        "  --data DIR     folder of elevation files: SRTM .hgt tiles (N39W099.hgt ...) and\n"
        "                 any longitude/latitude raster GDAL reads (GeoTIFF, ESRI grids,\n"
        "                 the USGS 1\" tiles); synthetic terrain elsewhere\n"
        "  --wait N       seconds each status page asks the client to wait (default 1)\n"
        "  --voids F      share of synthetic terrain left void (default 0.005)\n"
        "  --map-data DIR folder of the vendored map and gazetteer data\n"
        "  --live         answer from the public data sources (needs internet):\n"
        "                 elevation tiles, the TIGERweb street map, the Census geocoder\n"
        "  --cache DIR    cache folder of the public sources' data\n"
        "                 (default $XDG_CACHE_HOME/terrafetch, else ~/.cache/terrafetch)\n"
        "  --dem-url URL  base URL of the 1-degree elevation tiles (.../N39/N39W099.hgt.gz)\n"
        "                 (default %s)\n"
        "  --dem2-url URL base URL of the USGS 3DEP 1\" GeoTIFFs (.../n40w099/USGS_1_n40w099.tif),\n"
        "                 used for cells the tiles fail for; \"none\" switches them off\n"
        "                 (default %s)\n"
        "  --wms-url URL  TIGERweb WMS of roads, railroads and water\n"
        "                 (default %s)\n"
        "  --wms-boundaries-url URL\n"
        "                 TIGERweb WMS of states, counties and places\n"
        "                 (default %s)\n"
        "  --geocoder-url URL\n"
        "                 Census one-line address geocoder\n"
        "                 (default %s)\n"
        "  --check-sources\n"
        "                 try each public source with one small request, print a line\n"
        "                 per source (OK with its round trip, or what failed and which\n"
        "                 setting to check) and exit: 0 when all work, 1 otherwise\n"
        "  --help         show this text\n",
        LiveSourceSettings::kDefaultDemUrl, LiveSourceSettings::kDefaultDem2Url, LiveSourceSettings::kDefaultWmsUrl,
        LiveSourceSettings::kDefaultWmsBoundariesUrl, LiveSourceSettings::kDefaultGeocoderUrl);
}

bool NumberArgument(const char* text, double& value)
{
    char* end = nullptr;
    value = std::strtod(text, &end);
    return end && *end == '\0' && end != text;
}

}  // namespace

int main(int argc, char** argv)
{
    ReferenceServiceOptions options;
    // This server answers the maps of the orders it takes, so it draws them ahead.
    options.drawMapsAhead = true;
    options.port = 8765;
    bool checkSources = false;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--help" || option == "-h") {
            Usage();
            return 0;
        }
        if (option == "--live") {
            options.live.live = true;
            continue;
        }
        if (option == "--check-sources") {
            checkSources = true;
            continue;
        }
        if (i + 1 >= argc) {
            std::fprintf(stderr, "terrafetch-services: %s needs a value\n", option.c_str());
            return 2;
        }
        const char* value = argv[++i];
        double number = 0;
        if (option == "--address") {
            options.address = value;
        } else if (option == "--data") {
            options.dataFolder = value;
        } else if (option == "--map-data") {
            options.mapDataFolder = value;
        } else if (std::string* setting = LiveSourceSettingOfOption(option, options.live); setting && *value) {
            *setting = value;
        } else if ((option == "--port" || option == "--wait" || option == "--voids") &&
                   NumberArgument(value, number)) {
            if (option == "--port" && number >= 0 && number <= 65535)
                options.port = static_cast<int>(number);
            else if (option == "--wait" && number >= 0 && number <= 60)
                options.waitSeconds = static_cast<int>(number);
            else if (option == "--voids" && number >= 0 && number <= 0.5)
                options.voidFraction = number;
            else {
                std::fprintf(stderr, "terrafetch-services: %s %s is out of range\n", option.c_str(), value);
                return 2;
            }
        } else {
            std::fprintf(stderr, "terrafetch-services: unknown option or bad value: %s %s\n", option.c_str(),
                         value);
            Usage();
            return 2;
        }
    }

    if (checkSources) {
        UpstreamClient client;
        return ReportSourceChecks(CheckLiveSources(options.live, SourceCheckFetchThrough(client)), stdout);
    }

    if (!options.dataFolder.empty() && !std::filesystem::is_directory(options.dataFolder)) {
        std::fprintf(stderr, "terrafetch-services: %s is not a folder\n", options.dataFolder.c_str());
        return 2;
    }

    // Block the stop signals before any thread starts, then wait for one.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);

    ReferenceServices services(options);
    if (services.Start() == 0) {
        std::fprintf(stderr, "terrafetch-services: %s\n", services.Error().c_str());
        return 1;
    }
    if (!services.Error().empty())
        std::fprintf(stderr, "terrafetch-services: warning: %s\n", services.Error().c_str());
    const std::string host = services.HostAndPort();
    std::printf("terrafetch-services listening on http://%s/\n", host.c_str());
    std::printf("  extract service: http://%s/diststatus/servlet/gov.usgs.edc.RequestStatus\n", host.c_str());
    std::printf("  map server:      http://%s/cgi-bin/mapper/map.gif\n", host.c_str());
    std::printf("  geocoder:        http://%s/demo.cgi?address=\n", host.c_str());
    if (!options.live.live)
        std::printf("  imagery (drawn): http://%s%s (a WMS)\n", host.c_str(), ImageryService::kPath);
    std::printf("Point terraFetch at it with:\n"
                "  export TERRAFETCH_EXTRACT_HOST=%s TERRAFETCH_MAP_HOST=%s TERRAFETCH_GEOCODE_HOST=%s\n",
                host.c_str(), host.c_str(), host.c_str());
    if (options.live.live) {
        std::printf("Live public sources (cache %s):\n", options.live.CacheFolder().c_str());
        std::printf("  elevation tiles: %s\n", options.live.demUrl.c_str());
        std::printf("  elevation, second source: %s\n", options.live.dem2Url.c_str());
        std::printf("  street map:      %s\n", options.live.wmsUrl.c_str());
        std::printf("  boundaries:      %s\n", options.live.wmsBoundariesUrl.c_str());
        std::printf("  geocoder:        %s\n", options.live.geocoderUrl.c_str());
    } else {
        std::printf("Elevation: %s\n",
                    options.dataFolder.empty()
                        ? "synthetic terrain"
                        : ("elevation files in " + options.dataFolder + ", synthetic terrain elsewhere").c_str());
    }
    std::printf("Map data: %s\n",
                (options.mapDataFolder.empty() ? DefaultServiceDataFolder() : options.mapDataFolder).c_str());
    std::fflush(stdout);

    int received = 0;
    sigwait(&signals, &received);
    std::printf("terrafetch-services: stopping\n");
    services.Stop();
    return 0;
}

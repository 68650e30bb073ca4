#include "services/ReferenceServices.h"

#include "core/AllocatorTuning.h"
#include "core/FileSystem.h"

#include "live/CensusGeocoder.h"
#include "live/UpstreamClient.h"

#include "gateway/LiveMapService.h"
#include "mapdraw/BoundaryLines.h"
#include "mapdraw/Gazetteer.h"
#include "services/ExtractService.h"
#include "services/GeocodeService.h"
#include "services/ImageryService.h"
#include "services/LenientServer.h"
#include "services/MapService.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#ifndef TERRAFETCH_SERVICES_DATA_DIR
#define TERRAFETCH_SERVICES_DATA_DIR "services/data"
#endif

namespace {

QueryMap ToQuery(const httplib::Request& request)
{
    QueryMap query;
    for (const auto& [key, value] : request.params)
        query.emplace(key, value);  // the first value of a key wins
    return query;
}

void Send(const ServiceReply& reply, httplib::Response& response)
{
    response.status = reply.status;
    for (const auto& [name, value] : reply.headers)
        response.set_header(name, value);
    response.set_content(reply.body, reply.contentType);
}

// The host (and port) the client addressed, for absolute URLs; only plain
// host characters pass, so nothing can be smuggled into a header.
std::string ClientHost(const httplib::Request& request, const std::string& fallback)
{
    const std::string host = request.get_header_value("Host");
    if (host.empty() || host.size() > 255)
        return fallback;
    for (const char c : host)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '-' && c != ':' && c != '[' &&
            c != ']')
            return fallback;
    return host;
}

}  // namespace

std::string DefaultServiceDataFolder()
{
    if (const char* folder = std::getenv("TERRAFETCH_SERVICES_DATA"); folder && *folder)
        return folder;
    return ServiceDataFolderBeside(ExecutableFolder());
}

std::string ServiceDataFolderBeside(const std::string& programFolder)
{
    // The copy beside the program comes first, so an installed program never
    // reads a source tree that happens to be on the machine.
    std::error_code error;
    if (!programFolder.empty()) {
        const std::filesystem::path beside =
            std::filesystem::path(programFolder) / ".." / "share" / "terrafetch" / "data";
        if (std::filesystem::is_directory(beside, error))
            return beside.lexically_normal().string();
    }
    if (std::filesystem::is_directory(TERRAFETCH_SERVICES_DATA_DIR, error))
        return TERRAFETCH_SERVICES_DATA_DIR;
    return TERRAFETCH_INSTALLED_DATA_DIR;
}

struct ReferenceServices::Impl {
    ReferenceServiceOptions options;
    Gazetteer gazetteer;
    BoundaryLines boundaries;
    std::unique_ptr<UpstreamClient> upstream;  // live mode only
    std::unique_ptr<LiveMapService> liveMap;
    std::unique_ptr<CensusGeocoder> streetGeocoder;
    std::unique_ptr<ExtractService> extract;
    std::unique_ptr<MapService> map;
    std::unique_ptr<GeocodeService> geocode;
    std::unique_ptr<ImageryService> imagery;  // bundled mode only: live jobs fetch real imagery
    // Maps drawn ahead for orders; joined before the services they use go.
    std::mutex backgroundMutex;
    std::vector<std::thread> backgroundMaps;
    LenientServer server;
    int port = 0;
    bool started = false;  // a server is started once; a stopped one stays stopped
    std::string error;
};

namespace {

// The progress of a map for a status page: its pieces, and the layers it lacks.
std::string MapProgressText(const LiveMapService::Progress& progress)
{
    if (!progress.known)
        return {};
    std::string text;
    if (progress.pieces > 0)
        text = "Street map: map piece " + std::to_string(progress.piecesDone) + " of " +
               std::to_string(progress.pieces) + " drawn.";
    if (!progress.missingTitles.empty()) {
        std::string titles;
        for (const std::string& title : progress.missingTitles)
            titles += (titles.empty() ? "\"" : ", \"") + title + "\"";
        text += (text.empty() ? "" : "<BR>") + std::string("The street map lacks the layers ") + titles +
                ", which the TIGERweb services no longer list.";
    }
    return text;
}

}  // namespace

// Draws the job's map of an ordered quad through the map service (the
// same path, coordinate grid included, as the job's own request, which
// then finds it drawn or joins it).
std::shared_ptr<BackgroundMap> ReferenceServices::StartBackgroundMap(Impl& s, double west, double east, double south,
                                                                     double north)
{
    // The query holds no escapes: numbers, letters and commas only.
    QueryMap query;
    const std::string text = JobMapQuery(west, east, south, north);
    for (size_t start = 0; start < text.size();) {
        const size_t end = std::min(text.find('&', start), text.size());
        const std::string pair = text.substr(start, end - start);
        const size_t equals = pair.find('=');
        query.emplace(pair.substr(0, equals), equals == std::string::npos ? std::string() : pair.substr(equals + 1));
        start = end + 1;
    }
    MapView view;
    const bool viewKnown = MapService::ParseView(query, view).empty() && s.liveMap;
    auto map = std::make_shared<BackgroundMap>([live = s.liveMap.get(), view, viewKnown] {
        return viewKnown ? MapProgressText(live->ProgressOf(view)) : std::string();
    });
    std::lock_guard lock(s.backgroundMutex);
    s.backgroundMaps.emplace_back([&s, map, query] {
        const ServiceReply reply = s.map->Map(query);
        std::string failure;
        if (reply.status != 200) {
            failure = reply.body.rfind("Error: ", 0) == 0 ? reply.body.substr(7) : reply.body;
            while (!failure.empty() && std::isspace(static_cast<unsigned char>(failure.back())))
                failure.pop_back();
            if (failure.find("TERRAFETCH_WMS") == std::string::npos)
                failure += " Check TERRAFETCH_WMS_URL and TERRAFETCH_WMS_BOUNDARIES_URL.";
        }
        map->Finish(failure);
    });
    return map;
}

ReferenceServices::ReferenceServices(ReferenceServiceOptions options) : impl_(std::make_unique<Impl>())
{
    impl_->options = std::move(options);
}

ReferenceServices::~ReferenceServices() { Stop(); }

int ReferenceServices::Start()
{
    TuneAllocator();  // before the server's threads first allocate
    Impl& s = *impl_;
    if (s.port != 0)
        return s.port;
    if (s.started) {
        s.error = "The services were stopped; start a new instance instead.";
        return 0;
    }
    s.started = true;
    s.error.clear();
    const std::string dataFolder =
        s.options.mapDataFolder.empty() ? DefaultServiceDataFolder() : s.options.mapDataFolder;
    if (!s.gazetteer.Load(dataFolder) || !s.boundaries.Load(dataFolder))
        s.error = "The map and gazetteer data in \"" + dataFolder +
                  "\" could not be loaded; maps have no boundaries or places and addresses are not found.";

    ExtractService::Options extractOptions;
    extractOptions.elevation.hgtFolder = s.options.dataFolder;
    extractOptions.elevation.voidFraction = s.options.voidFraction;
    extractOptions.waitSeconds = std::max(0, s.options.waitSeconds);
    extractOptions.live = s.options.live;
    if (s.options.live.live && s.options.drawMapsAhead)
        extractOptions.startMap = [impl = &s](double west, double east, double south, double north) {
            return StartBackgroundMap(*impl, west, east, south, north);
        };
    s.extract = std::make_unique<ExtractService>(extractOptions);
    GeocodeService::StreetGeocoder streetGeocoder;
    if (s.options.live.live) {
        const LiveSourceSettings& live = s.options.live;
        s.upstream = std::make_unique<UpstreamClient>();
        s.liveMap = std::make_unique<LiveMapService>(FetchThrough(*s.upstream), live.wmsUrl, live.wmsBoundariesUrl,
                                                     live.CacheFolder());
        s.streetGeocoder = std::make_unique<CensusGeocoder>(FetchThrough(*s.upstream), live.geocoderUrl);
        streetGeocoder = [geocoder = s.streetGeocoder.get()](const std::string& address) {
            return geocoder->Geocode(address);
        };
    }
    s.map = std::make_unique<MapService>(s.gazetteer, s.boundaries, s.liveMap.get());
    s.geocode = std::make_unique<GeocodeService>(s.gazetteer, std::move(streetGeocoder));
    if (!s.options.live.live) {
        ElevationSourceOptions imageryElevation;
        imageryElevation.hgtFolder = s.options.dataFolder;
        s.imagery = std::make_unique<ImageryService>(imageryElevation);
    }

    s.server.set_exception_handler([](const httplib::Request&, httplib::Response& response, std::exception_ptr) {
        Send(ServiceReply::Text(500, "Error: The request could not be handled.\n"), response);
    });
    s.server.set_error_handler([](const httplib::Request&, httplib::Response& response) {
        if (response.body.empty())
            response.set_content("Error: Status " + std::to_string(response.status) + ".\n", "text/plain");
    });

    Impl* impl = &s;
    auto fallbackHost = [impl] { return impl->options.address + ":" + std::to_string(impl->port); };
    s.server.Get(ExtractService::kOrderPath, [impl, fallbackHost](const httplib::Request& request, httplib::Response& response) {
        Send(impl->extract->Order(ToQuery(request), ClientHost(request, fallbackHost())), response);
    });
    s.server.Get(ExtractService::kStatusPath, [impl, fallbackHost](const httplib::Request& request, httplib::Response& response) {
        Send(impl->extract->Status(ToQuery(request), ClientHost(request, fallbackHost())), response);
    });
    s.server.Get(ExtractService::kDownloadPath, [impl, fallbackHost](const httplib::Request& request, httplib::Response& response) {
        Send(impl->extract->Download(ToQuery(request), ClientHost(request, fallbackHost())), response);
    });
    s.server.Get(std::string(ExtractService::kArchivePrefix) + "([0-9A-Za-z._-]+)",
                 [impl](const httplib::Request& request, httplib::Response& response) {
                     Send(impl->extract->Archive(request.matches[1]), response);
                 });
    s.server.Get(MapService::kPath, [impl](const httplib::Request& request, httplib::Response& response) {
        Send(impl->map->Map(ToQuery(request)), response);
    });
    s.server.Get(GeocodeService::kPath, [impl](const httplib::Request& request, httplib::Response& response) {
        Send(impl->geocode->Geocode(ToQuery(request)), response);
    });
    if (s.imagery)
        s.server.Get(ImageryService::kPath,
                     [impl, fallbackHost](const httplib::Request& request, httplib::Response& response) {
                         Send(impl->imagery->Answer(ToQuery(request), ClientHost(request, fallbackHost())), response);
                     });

    int port = s.options.port;
    if (port == 0) {
        port = s.server.bind_to_any_port(s.options.address);
        if (port <= 0) {
            s.error = "Could not bind a port on " + s.options.address + ".";
            return 0;
        }
    } else if (!s.server.bind_to_port(s.options.address, port)) {
        s.error = "Could not bind " + s.options.address + ":" + std::to_string(port) + ".";
        return 0;
    }
    s.port = port;  // before serving: the handlers read it
    if (!s.server.StartServing(static_cast<size_t>(std::max(2, s.options.threads)))) {
        s.error = "Could not start serving on " + s.options.address + ":" + std::to_string(port) + ".";
        s.server.StopServing();
        s.port = 0;
        return 0;
    }
    return port;
}

void ReferenceServices::Stop()
{
    Impl& s = *impl_;
    if (s.upstream)
        s.upstream->Cancel();  // ends the handlers' transfers and waits promptly
    s.server.StopServing();
    std::vector<std::thread> maps;
    {
        std::lock_guard lock(s.backgroundMutex);
        maps.swap(s.backgroundMaps);
    }
    for (std::thread& thread : maps)
        thread.join();
    s.port = 0;
}

int ReferenceServices::Port() const { return impl_->port; }

std::string ReferenceServices::HostAndPort() const
{
    return impl_->options.address + ":" + std::to_string(impl_->port);
}

const std::string& ReferenceServices::Error() const { return impl_->error; }

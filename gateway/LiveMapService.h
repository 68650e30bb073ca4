#pragma once

#include "gateway/ServiceReply.h"
#include "live/UpstreamFetch.h"
#include "live/WmsCapabilitiesSource.h"
#include "live/WmsLayers.h"
#include "mapdraw/MapRenderer.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <future>
#include <map>
#include <memory>
#include <set>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// The map server's answer in live mode: the view's box is fetched from the
// TIGERweb WMS services (roads, railroads, water and parks from the physical
// features service, boundaries and places from the boundaries service),
// overlaid on white, resampled into the view's geometry (the same as the
// bundled renderer's, so the texture stages find the quad's corners where
// they expect them) and encoded as a palette GIF. A service that fails or
// answers no image fails the request with a message naming it. Maps made
// are kept in the cache folder, so a quad fetched once works again offline;
// a map asked for at once by two processes sharing that folder is drawn by
// one of them while the other waits and serves what the first kept.
// Layers are chosen by title from each service's capabilities; a title a
// service does not list is reported once on the standard error and the map
// is drawn from the other layers. Each kind of area (places, parks,
// military areas, water, reservations) is fetched in GetMaps of its own, so
// that its pixels are known to be that area and take the map's colour for
// it; the lines and labels of each service are fetched together and keep
// the service's colours, drawn over the areas. A cached map is served only
// when it is a whole GIF of the view's size.
class LiveMapService {
public:
    // An empty `cacheFolder` keeps nothing.
    LiveMapService(UpstreamFetch fetch, std::string physicalFeaturesUrl, std::string boundariesUrl,
                   std::string cacheFolder);

    // `onList` is the request's layer list as given. `overlay`, when not
    // empty, is drawn over the map: indices of MapPalette() for every pixel,
    // the background colour where nothing is drawn (the coordinate grid,
    // which no WMS layer draws).
    ServiceReply Map(const MapView& view, const std::string& onList, const std::vector<uint8_t>& overlay = {}) const;

    // How far the drawing of a view's map has come, for status pages.
    struct Progress {
        bool known = false;  // a map of that view is being or has been drawn
        int piecesDone = 0, pieces = 0;
        std::vector<std::string> missingTitles;
    };
    Progress ProgressOf(const MapView& view) const;

    static constexpr const char* kPhysicalFeaturesName = "TIGERweb physical features WMS";
    static constexpr const char* kBoundariesName = "TIGERweb boundaries WMS";
    // How long a map waits for another process drawing the same one.
    static constexpr std::chrono::minutes kLockPatience{30};

private:
    struct Service {
        const char* name;
        const std::string* url;
        WmsService which;
        std::unique_ptr<WmsCapabilitiesSource> capabilities;
    };
    struct Resolved;

    std::string CachePath(const MapView& view, const std::string& layerKey) const;
    std::string LayerKey(const Resolved* resolved, const std::vector<uint8_t>& overlay) const;
    static std::string ViewKey(const MapView& view);
    bool ReadCachedMap(const MapView& view, const std::string& cachePath, std::string& gif) const;
    void UpdateProgress(const MapView& view, const std::function<void(Progress&)>& change) const;
    bool Resolve(Service& service, const std::string& onList, Resolved& resolved, std::string& error) const;
    std::string Draw(const MapView& view, Service& service, const std::string& onList, Resolved& resolved,
                     WmsArea area, std::vector<uint8_t>& rgb) const;
    void ReportMissing(const Service& service, const std::vector<std::string>& titles) const;
    void ReportNothingDrawn(const Service& service, const std::vector<std::string>& titles) const;
    ServiceReply RenderUnlessKept(const MapView& view, Resolved* resolved, const std::vector<uint8_t>& overlay,
                                  const std::string& onList, const std::string& cachePath) const;
    ServiceReply Render(const MapView& view, Resolved* resolved, const std::vector<uint8_t>& overlay,
                        const std::string& onList, const std::string& cachePath) const;

    UpstreamFetch fetch_;
    std::string physicalFeaturesUrl_;
    std::string boundariesUrl_;
    std::string cacheFolder_;
    // Boundaries and place areas first, roads and water over them.
    std::unique_ptr<Service> services_[2];
    mutable std::mutex reportedMutex_;
    mutable std::set<std::string> reported_;
    // Maps being drawn, by cache path: a second request for one waits for it.
    mutable std::mutex flightsMutex_;
    mutable std::map<std::string, std::shared_future<ServiceReply>> flights_;
    // The progress of the last maps drawn, by view.
    mutable std::mutex progressMutex_;
    mutable std::map<std::string, Progress> progress_;
};

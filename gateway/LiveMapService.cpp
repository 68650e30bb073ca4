#include "gateway/LiveMapService.h"

#include "core/FileSystem.h"
#include "gateway/MapResampler.h"
#include "live/CacheEntryLock.h"
#include "live/CacheFile.h"
#include "live/CacheSweep.h"
#include "live/WmsAnswer.h"
#include "live/WmsMapSource.h"
#include "mapdraw/GifEncoder.h"
#include "mapdraw/PaletteReduction.h"

#include <algorithm>
#include <atomic>
#include <cstdio>

namespace {

constexpr size_t kMaxCachedMapBytes = 64u << 20;

ServiceReply GifReply(std::string gif)
{
    ServiceReply reply;
    reply.contentType = "image/gif";
    reply.body = std::move(gif);
    return reply;
}

// Paints the drawn pixels of a MapPalette() image over `rgb`.
void LayOverPalette(const std::vector<uint8_t>& overlay, std::vector<uint8_t>& rgb)
{
    const std::vector<PaletteColor>& palette = MapPalette();
    for (size_t i = 0; i < overlay.size() && i * 3 + 2 < rgb.size(); ++i) {
        if (overlay[i] == kColorBackground || overlay[i] >= palette.size())
            continue;
        rgb[i * 3] = palette[overlay[i]].red;
        rgb[i * 3 + 1] = palette[overlay[i]].green;
        rgb[i * 3 + 2] = palette[overlay[i]].blue;
    }
}


// The pieces a view's layers are fetched in: pixels no coarser than the
// map's, in either direction, and fine enough for every layer to draw.
WmsPiecePlan PlanFor(const MapView& view, const WmsLayerSet& layers, const WmsCapabilities& capabilities)
{
    const MapExtent extent = MapExtentOf(view);
    const GeoBox box{extent.west, extent.south, extent.east, extent.north};
    const double mapPixel = std::min(view.height / view.imageHeight, view.width / view.imageWidth);
    return PlanWmsPieces(box, mapPixel, layers.maxScaleDenominator, WmsMapSource::kMaxPieces,
                         WmsMaxImageSide(capabilities.maxWidth, capabilities.maxHeight));
}

// Whether the plan's pixels are fine enough for every layer to draw.
bool PlanDrawsAll(const WmsPiecePlan& plan, const WmsLayerSet& layers)
{
    return layers.maxScaleDenominator == 0.0 ||
           WmsScaleDenominator(plan.degreesPerPixel) <= layers.maxScaleDenominator;
}

// The colours of the bundled map for each kind of area: its fill and its outline.
struct AreaColours {
    MapColor fill, outline;
};

AreaColours ColoursOf(WmsArea area)
{
    switch (area) {
    case WmsArea::kPlaces: return {kColorCity, kColorCity};
    case WmsArea::kNationalParks: return {kColorNationalPark, kColorNationalPark};
    case WmsArea::kMilitary: return {kColorMilitary, kColorMilitary};
    case WmsArea::kWater: return {kColorWater, kColorShoreline};
    case WmsArea::kReservations: return {kColorIndian, kColorIndian};
    case WmsArea::kNone: break;
    }
    return {kColorBackground, kColorBackground};
}

// Lays a group's gathered pixels over the map: lines as the service drew
// them, areas in their own colours.
void Paint(const MapResampler& resampler, const WmsLayerGroup& group, std::vector<uint8_t>& rgb)
{
    if (group.area == WmsArea::kNone) {
        resampler.LayOver(rgb);
        return;
    }
    const AreaColours colours = ColoursOf(group.area);
    if (group.fill)
        resampler.LayOverAs(rgb, MapPalette()[colours.fill]);
    if (group.outline)
        resampler.OutlineAs(rgb, MapPalette()[colours.outline]);
}

// The order the groups are drawn in: every area of both services, in the
// order of WmsArea, then the lines and labels of each service.
std::vector<std::pair<size_t, WmsArea>> DrawingOrder()
{
    std::vector<std::pair<size_t, WmsArea>> order;
    for (const WmsArea area : {WmsArea::kPlaces, WmsArea::kNationalParks, WmsArea::kMilitary, WmsArea::kWater,
                               WmsArea::kReservations, WmsArea::kNone})
        for (size_t service = 0; service < 2; ++service)
            order.emplace_back(service, area);
    return order;
}

// A cached map is used only when it is a whole GIF of the view's size.
bool IsWholeMap(const std::string& gif, const MapView& view)
{
    if (gif.rfind("GIF", 0) != 0 || gif.back() != ';')
        return false;
    const size_t pixels = static_cast<size_t>(view.imageWidth) * view.imageHeight;
    const WmsAnswer decoded = ReadWmsAnswer("image/gif", gif, pixels);
    return decoded.ok && decoded.image.width == view.imageWidth && decoded.image.height == view.imageHeight;
}

}  // namespace

struct LiveMapService::Resolved {
    WmsCapabilitiesSource::Shared capabilities;
    WmsLayerGroups layers;
};

LiveMapService::LiveMapService(UpstreamFetch fetch, std::string physicalFeaturesUrl, std::string boundariesUrl,
                               std::string cacheFolder)
    : fetch_(std::move(fetch)),
      physicalFeaturesUrl_(std::move(physicalFeaturesUrl)),
      boundariesUrl_(std::move(boundariesUrl)),
      cacheFolder_(std::move(cacheFolder))
{
    auto make = [this](const char* name, const std::string& url, WmsService which) {
        return std::make_unique<Service>(
            Service{name, &url, which, std::make_unique<WmsCapabilitiesSource>(fetch_, url, name, cacheFolder_)});
    };
    services_[0] = make(kBoundariesName, boundariesUrl_, WmsService::kBoundaries);
    services_[1] = make(kPhysicalFeaturesName, physicalFeaturesUrl_, WmsService::kPhysicalFeatures);
    if (!cacheFolder_.empty())
        SweepCacheFolderOnce(cacheFolder_);
}

std::string LiveMapService::ViewKey(const MapView& view)
{
    char name[160];
    std::snprintf(name, sizeof name, "map_%.8f_%.8f_%.8f_%.8f_%dx%d_", view.longitude, view.latitude, view.width,
                  view.height, view.imageWidth, view.imageHeight);
    return name;
}

std::string LiveMapService::CachePath(const MapView& view, const std::string& layerKey) const
{
    return cacheFolder_ + "/maps/" + ViewKey(view) + CacheKeyHash(layerKey) + ".gif";
}

void LiveMapService::UpdateProgress(const MapView& view, const std::function<void(Progress&)>& change) const
{
    constexpr size_t kKeptViews = 64;
    std::lock_guard lock(progressMutex_);
    if (progress_.size() >= kKeptViews && progress_.count(ViewKey(view)) == 0)
        progress_.erase(progress_.begin());
    Progress& progress = progress_[ViewKey(view)];
    progress.known = true;
    change(progress);
}

LiveMapService::Progress LiveMapService::ProgressOf(const MapView& view) const
{
    std::lock_guard lock(progressMutex_);
    const auto found = progress_.find(ViewKey(view));
    return found == progress_.end() ? Progress{} : found->second;
}

ServiceReply LiveMapService::Map(const MapView& view, const std::string& onList,
                                 const std::vector<uint8_t>& overlay) const
{
    Resolved resolved[2];
    std::vector<std::string> missing;
    bool anyLayer = false;
    for (size_t i = 0; i < 2; ++i) {
        std::string error;
        if (!Resolve(*services_[i], onList, resolved[i], error))
            return ServiceReply::SourceFailure(error);
        ReportMissing(*services_[i], resolved[i].layers.missingTitles);
        missing.insert(missing.end(), resolved[i].layers.missingTitles.begin(),
                       resolved[i].layers.missingTitles.end());
        anyLayer = anyLayer || !resolved[i].layers.Empty();
    }
    UpdateProgress(view, [&](Progress& progress) { progress.missingTitles = missing; });
    if (!anyLayer && !missing.empty())
        return ServiceReply::SourceFailure(
            "The TIGERweb WMS services at " + boundariesUrl_ + " and " + physicalFeaturesUrl_ +
            " list none of the map's layers in their capabilities; check TERRAFETCH_WMS_URL and "
            "TERRAFETCH_WMS_BOUNDARIES_URL.");
    const std::string cachePath = cacheFolder_.empty() ? std::string() : CachePath(view, LayerKey(resolved, overlay));
    std::string cached;
    if (!cachePath.empty() && ReadCachedMap(view, cachePath, cached))
        return GifReply(std::move(cached));

    if (cachePath.empty())
        return Render(view, resolved, overlay, onList, cachePath);
    // The first request for a map draws it; others for the same map, at
    // the same time, wait for that one and share its answer.
    std::promise<ServiceReply> promise;
    std::shared_future<ServiceReply> flight;
    {
        std::lock_guard lock(flightsMutex_);
        const auto found = flights_.find(cachePath);
        if (found != flights_.end())
            flight = found->second;
        else
            flights_.emplace(cachePath, promise.get_future().share());
    }
    if (flight.valid())
        return flight.get();
    ServiceReply reply = RenderUnlessKept(view, resolved, overlay, onList, cachePath);
    promise.set_value(reply);
    std::lock_guard lock(flightsMutex_);
    flights_.erase(cachePath);
    return reply;
}

// The cache knows a map by its view, the services and their layers, so the
// same layers asked for in other words are found again. The areas, whose
// pixels are laid in the map's own colours, are named apart from the lines,
// so maps kept before the areas took those colours are not found as these.
std::string LiveMapService::LayerKey(const Resolved* resolved, const std::vector<uint8_t>& overlay) const
{
    auto names = [](const WmsLayerGroup& group) {
        std::string list;
        for (const std::string& name : group.layers.names)
            list += name + ",";
        return list;
    };
    std::string key, areas;
    for (size_t i = 0; i < 2; ++i) {
        key += *services_[i]->url + "|";
        for (const WmsLayerGroup& group : resolved[i].layers.groups) {
            if (group.area == WmsArea::kNone)
                key += names(group);
            else
                areas += std::to_string(i) + ":" + std::to_string(static_cast<int>(group.area)) +
                         (group.fill ? "f" : "") + (group.outline ? "o" : "") + "=" + names(group) + ";";
        }
        key += "|";
    }
    if (!areas.empty())
        key += "areas in map colours|" + areas;
    if (!overlay.empty())
        key += CacheKeyHash(std::string(overlay.begin(), overlay.end()));
    return key;
}

bool LiveMapService::ReadCachedMap(const MapView& view, const std::string& cachePath, std::string& gif) const
{
    if (!ReadCacheFile(cachePath, kMaxCachedMapBytes, gif))
        return false;
    if (IsWholeMap(gif, view))
        return true;
    RemovePartialFile(cachePath);
    std::fprintf(stderr, "terrafetch-services: the cached map %s is damaged; it is drawn again\n", cachePath.c_str());
    gif.clear();
    return false;
}

// Another process sharing the cache may be drawing the same map: wait for
// it and serve what it kept rather than fetching every piece again.
ServiceReply LiveMapService::RenderUnlessKept(const MapView& view, Resolved* resolved,
                                              const std::vector<uint8_t>& overlay, const std::string& onList,
                                              const std::string& cachePath) const
{
    const CacheEntryLock entry(cachePath, {fetch_.CancelProbe(), kLockPatience});
    if (entry.Cancelled())
        return ServiceReply::SourceFailure("The map was not drawn: the services are stopping.");
    std::string cached;
    if (ReadCachedMap(view, cachePath, cached))
        return GifReply(std::move(cached));
    return Render(view, resolved, overlay, onList, cachePath);
}

ServiceReply LiveMapService::Render(const MapView& view, Resolved* resolved, const std::vector<uint8_t>& overlay,
                                    const std::string& onList, const std::string& cachePath) const
{
    int pieces = 0;
    for (size_t i = 0; i < 2; ++i)
        for (const WmsLayerGroup& group : resolved[i].layers.groups)
            pieces += static_cast<int>(PlanFor(view, group.layers, *resolved[i].capabilities).pieces.size());
    UpdateProgress(view, [&](Progress& progress) {
        progress.pieces = pieces;
        progress.piecesDone = 0;
    });
    std::vector<uint8_t> rgb(static_cast<size_t>(view.imageWidth) * view.imageHeight * 3, 255);
    // One group at a time, so only one group's tallies are held.
    for (const auto& [service, area] : DrawingOrder()) {
        const std::string why = Draw(view, *services_[service], onList, resolved[service], area, rgb);
        if (!why.empty())
            return ServiceReply::SourceFailure(why);
    }
    LayOverPalette(overlay, rgb);

    const PaletteImage reduced = ReduceToPalette(rgb);
    std::string gif = EncodeGif(view.imageWidth, view.imageHeight, reduced.indices, reduced.palette);
    if (gif.empty())
        return ServiceReply::Text(500, "Error: The image could not be encoded.\n");
    // A map that cannot be cached is still a good answer; it is fetched again next time.
    std::string ignored;
    if (!cachePath.empty())
        WriteCacheFile(cachePath, gif, ignored);
    return GifReply(std::move(gif));
}

bool LiveMapService::Resolve(Service& service, const std::string& onList, Resolved& resolved,
                             std::string& error) const
{
    // A service none of whose layers is asked for is not asked anything.
    if (WmsTitlesFor(onList, service.which).empty())
        return true;
    resolved.capabilities = service.capabilities->Get(error);
    if (!resolved.capabilities)
        return false;
    resolved.layers = WmsLayerGroupsFor(onList, service.which, *resolved.capabilities);
    return true;
}

std::string LiveMapService::Draw(const MapView& view, Service& service, const std::string& onList,
                                 Resolved& resolved, WmsArea area, std::vector<uint8_t>& rgb) const
{
    // A refused layer name means the service renamed its layers since its
    // capabilities were read: read them again and try once more.
    for (int attempt = 0; attempt < 2; ++attempt) {
        const WmsLayerGroup* group = resolved.layers.Of(area);
        if (group == nullptr)
            return {};
        const WmsPiecePlan plan = PlanFor(view, group->layers, *resolved.capabilities);
        MapResampler resampler(view, plan.degreesPerPixel);
        const WmsMapSource wms(fetch_, *service.url, service.name, cacheFolder_,
                               resolved.capabilities->PreferredFormat());
        std::atomic<bool> inked{false};
        const WmsMapSource::Result result = wms.Fetch(
            group->layers.names, plan, [&](const WmsPiece& piece, const RgbImage& image) {
            resampler.Add(piece, image);
            if (!inked && MapResampler::HasInk(image))
                inked = true;
            UpdateProgress(view, [](Progress& progress) { ++progress.piecesDone; });
        });
        if (result.failure.empty()) {
            Paint(resampler, *group, rgb);
            if (!inked && PlanDrawsAll(plan, group->layers))
                ReportNothingDrawn(service, group->titles);
            return {};
        }
        if (!result.layerNotDefined || attempt > 0)
            return result.failure;
        std::string error;
        resolved.capabilities = service.capabilities->Refresh(resolved.capabilities, error);
        if (!resolved.capabilities)
            return error;
        resolved.layers = WmsLayerGroupsFor(onList, service.which, *resolved.capabilities);
        ReportMissing(service, resolved.layers.missingTitles);
    }
    return {};
}

void LiveMapService::ReportMissing(const Service& service, const std::vector<std::string>& titles) const
{
    std::lock_guard lock(reportedMutex_);
    for (const std::string& title : titles) {
        if (!reported_.insert(*service.url + "|" + title).second)
            continue;
        std::fprintf(stderr,
                     "terrafetch-services: the %s at %s lists no layer titled \"%s\"; the map is drawn without it\n",
                     service.name, service.url->c_str(), title.c_str());
    }
}

// An empty answer is no error (a layer outside its scale range is drawn
// empty too), but one for layers that should draw is worth a line: the
// service may have changed how it draws them.
void LiveMapService::ReportNothingDrawn(const Service& service, const std::vector<std::string>& titles) const
{
    std::string quoted;
    for (const std::string& title : titles)
        quoted += (quoted.empty() ? "\"" : ", \"") + title + "\"";
    std::lock_guard lock(reportedMutex_);
    if (!reported_.insert("nothing|" + *service.url + "|" + quoted).second)
        return;
    std::fprintf(stderr, "terrafetch-services: the %s at %s drew nothing for %s in this map\n", service.name,
                 service.url->c_str(), quoted.c_str());
}

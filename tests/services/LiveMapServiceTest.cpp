#include "live/CacheFile.h"
#include "live/WmsAnswer.h"
#include "live/WmsCapabilities.h"
#include "live/WmsGetMap.h"
#include "mapdraw/GifEncoder.h"
#include "mapdraw/MapRenderer.h"
#include "services/ReferenceServices.h"
#include "tests/services/LiveSourceStandIns.h"
#include "tests/services/ServiceClient.h"
#include "tests/support/HgtTestTiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <chrono>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>
#include <sstream>
#include <vector>

namespace {

// Live services with a map server for the two WMS URLs.
std::unique_ptr<ReferenceServices> LiveServices(const std::string& physicalUrl, const std::string& boundariesUrl,
                                                const std::string& cacheFolder)
{
    ReferenceServiceOptions options;
    options.waitSeconds = 0;
    options.threads = 4;
    options.live.live = true;
    options.live.cacheFolder = cacheFolder;
    options.live.wmsUrl = physicalUrl;
    options.live.wmsBoundariesUrl = boundariesUrl;
    options.live.demUrl = options.live.geocoderUrl = "http://127.0.0.1:1";
    auto services = std::make_unique<ReferenceServices>(options);
    EXPECT_NE(services->Start(), 0) << services->Error();
    return services;
}

// The client's request for the default quad: 1200 × 1248 pixels, 4 % taller.
HttpAnswer GetMap(const ReferenceServices& services, const std::string& layers)
{
    return HttpGet("http://127.0.0.1:" + std::to_string(services.Port()) +
                   "/cgi-bin/mapper/map.gif?lon=-98.50000000&lat=39.50000000&wid=1.00000000&ht=1.04000000"
                   "&iwd=1200&iht=1248&on=" + layers);
}

struct LiveMap {
    TempDir cache;
    WmsStandIn physical;
    WmsStandIn boundaries;
    std::unique_ptr<ReferenceServices> services;

    explicit LiveMap(Answer answer, Edition physicalEdition = Edition::kTitleNames,
                     Edition boundariesEdition = Edition::kTitleNames)
        : physical(kRoadRed, true, answer, physicalEdition), boundaries(kBoundaryBlue, false, answer, boundariesEdition),
          services(LiveServices(physical.Url(), boundaries.Url(), cache.Path().string()))
    {
    }

    HttpAnswer Get(const std::string& layers) const { return GetMap(*services, layers); }
};

MapView DefaultView()
{
    return MapView{.longitude = -98.5, .latitude = 39.5, .width = 1.0, .height = 1.04, .imageWidth = 1200,
                   .imageHeight = 1248};
}

// Compares the answer with where the bundled renderer's geometry puts the
// quad, its west half and its edges; pixels within 1.5 of an edge are left
// out, since they mix both sides.
void ExpectTheQuadInColours(const HttpAnswer& answer, const uint8_t* westColour, const uint8_t* eastColour)
{
    ASSERT_EQ(answer.status, 200) << answer.body;
    ASSERT_EQ(answer.Header("Content-Type"), "image/gif");
    const WmsAnswer gif = ReadWmsAnswer("image/gif", answer.body, 1200 * 1248);
    ASSERT_TRUE(gif.ok) << gif.error;
    ASSERT_EQ(gif.image.width, 1200);
    ASSERT_EQ(gif.image.height, 1248);
    const MapView view = DefaultView();
    const double top = MapRowOf(view, kNorth), bottom = MapRowOf(view, kSouth);
    ASSERT_NEAR(top, 24.0, 1e-6);
    ASSERT_NEAR(bottom, 1224.0, 1e-6);
    int wrong = 0;
    for (int row = 0; row < gif.image.height; row += 7) {
        const double y = row + 0.5;
        const double latitude = view.latitude + view.height * 0.5 - y * view.height / view.imageHeight;
        const double west = MapColumnOf(view, kWest, latitude), east = MapColumnOf(view, kEast, latitude);
        const double middle = MapColumnOf(view, (kWest + kEast) * 0.5, latitude);
        for (int column = 0; column < gif.image.width; ++column) {
            const double x = column + 0.5;
            const auto near = [](double a, double b) { return std::fabs(a - b) < 1.5; };
            if (near(y, top) || near(y, bottom) || near(x, west) || near(x, east) || near(x, middle))
                continue;
            const bool inside = y > top && y < bottom && x > west && x < east;
            const uint8_t* expected = !inside ? nullptr : (x < middle ? westColour : eastColour);
            const uint8_t* pixel = &gif.image.rgb[(static_cast<size_t>(row) * gif.image.width + column) * 3];
            const bool white = pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 255;
            const bool match = expected ? std::equal(pixel, pixel + 3, expected) : white;
            if (!match && ++wrong <= 5)
                ADD_FAILURE() << "pixel (" << column << ", " << row << ") is (" << int(pixel[0]) << "/"
                              << int(pixel[1]) << "/" << int(pixel[2]) << ")";
        }
    }
    EXPECT_EQ(wrong, 0);
}

void ExpectTheQuadWhereTheBundledMapHasIt(const HttpAnswer& answer, bool westHalfRed)
{
    ExpectTheQuadInColours(answer, westHalfRed ? kRoadRed : kBoundaryBlue, kBoundaryBlue);
}

TEST(LiveMapServiceTest, TheMapHasTheBundledGeometryOverlaidOnWhite)
{
    LiveMap live(Answer::kPng);
    const HttpAnswer answer = live.Get("CITIES,counties,places,states,majroads,interstate,ushwy,statehwy");
    ExpectTheQuadWhereTheBundledMapHasIt(answer, true);
    // Place areas are fetched apart from the boundary lines.
    EXPECT_EQ(live.boundaries.Boxes().size(), 2u);
    EXPECT_EQ(live.physical.Boxes().size(), 1u);
    EXPECT_EQ(live.physical.Layers(), (std::set<std::string>{"Primary Roads", "Secondary Roads"}));
}

TEST(LiveMapServiceTest, TheCoordinateGridIsDrawnWithoutTheServices)
{
    LiveMap live(Answer::kPng);
    const HttpAnswer answer = live.Get("GRID");
    ASSERT_EQ(answer.status, 200) << answer.body;
    EXPECT_TRUE(live.physical.Boxes().empty());
    EXPECT_TRUE(live.boundaries.Boxes().empty());
    const WmsAnswer gif = ReadWmsAnswer("image/gif", answer.body, 1200 * 1248);
    ASSERT_TRUE(gif.ok) << gif.error;
    // The parallel of 39.5 degrees is a grid line across the whole image.
    const PaletteColor grid = MapPalette()[kColorGrid];
    const auto row = static_cast<size_t>(MapRowOf(DefaultView(), 39.5));
    for (size_t column = 0; column < 1200; column += 100) {
        const uint8_t* pixel = &gif.image.rgb[(row * 1200 + column) * 3];
        EXPECT_TRUE(pixel[0] == grid.red && pixel[1] == grid.green && pixel[2] == grid.blue) << column;
    }
}

TEST(LiveMapServiceTest, FineLayersAreFetchedInPiecesThatTileTheMap)
{
    LiveMap live(Answer::kGif);
    const HttpAnswer answer = live.Get("streets,states");
    ExpectTheQuadWhereTheBundledMapHasIt(answer, true);
    const std::vector<GeoBox> pieces = live.physical.Boxes();
    ASSERT_GT(pieces.size(), 1u);
    EXPECT_LE(pieces.size(), 16u);
    // Together the pieces cover the whole map without overlapping.
    const MapExtent extent = MapExtentOf(DefaultView());
    double area = 0.0;
    GeoBox bound{1e9, 1e9, -1e9, -1e9};
    for (const GeoBox& box : pieces) {
        area += (box.east - box.west) * (box.north - box.south);
        bound = GeoBox{std::min(bound.west, box.west), std::min(bound.south, box.south),
                       std::max(bound.east, box.east), std::max(bound.north, box.north)};
    }
    EXPECT_NEAR(area, (bound.east - bound.west) * (bound.north - bound.south), 1e-6);
    EXPECT_LE(bound.west, extent.west + 1e-9);
    EXPECT_GE(bound.east, extent.east - 1e-9);
    EXPECT_LE(bound.south, extent.south + 1e-9);
    EXPECT_GE(bound.north, extent.north - 1e-9);
    EXPECT_EQ(live.boundaries.Boxes().size(), 1u);
}

TEST(LiveMapServiceTest, AServiceExceptionWithStatus200FailsTheRequestWithItsMessage)
{
    LiveMap live(Answer::kServiceException);
    const HttpAnswer answer = live.Get("streets,states");
    EXPECT_EQ(answer.status, 502);
    EXPECT_NE(answer.Header("Content-Type"), "image/gif");
    const std::string message = "ServiceException: Parameter 'format' contains unacceptable value.";
    EXPECT_NE(answer.body.find(message), std::string::npos) << answer.body;
    EXPECT_NE(answer.body.find("TIGERweb boundaries WMS"), std::string::npos) << answer.body;
    EXPECT_NE(answer.Header("Warning").find(message), std::string::npos) << answer.headers;
}

TEST(LiveMapServiceTest, AnAnswerThatIsNoImageFailsTheRequest)
{
    LiveMap live(Answer::kHtml);
    const HttpAnswer answer = live.Get("majroads");
    EXPECT_EQ(answer.status, 502);
    EXPECT_NE(answer.body.find("TIGERweb physical features WMS"), std::string::npos) << answer.body;
    EXPECT_NE(answer.body.find("not an image (content type text/html): '<html><body>Down for maintenance"),
              std::string::npos)
        << answer.body;
    EXPECT_TRUE(live.boundaries.Boxes().empty());
}

TEST(LiveMapServiceTest, AMapFetchedOnceIsServedFromTheCacheWhenTheSourcesAreGone)
{
    TempDir cache;
    std::string physicalUrl, boundariesUrl, first;
    {
        WmsStandIn physical(kRoadRed, true, Answer::kPng), boundaries(kBoundaryBlue, false, Answer::kPng);
        physicalUrl = physical.Url();
        boundariesUrl = boundaries.Url();
        const HttpAnswer answer = GetMap(*LiveServices(physicalUrl, boundariesUrl, cache.Path().string()), "majroads,states");
        ASSERT_EQ(answer.status, 200) << answer.body;
        first = answer.body;
    }
    // The stand-ins have stopped: the same map comes from the cache ...
    const HttpAnswer again = GetMap(*LiveServices(physicalUrl, boundariesUrl, cache.Path().string()), "STATES,majroads");
    ASSERT_EQ(again.status, 200) << again.body;
    EXPECT_EQ(again.body, first);
    // ... while one never fetched fails, naming the source, and caches nothing.
    TempDir empty;
    const HttpAnswer missing = GetMap(*LiveServices(physicalUrl, boundariesUrl, empty.Path().string()), "majroads");
    EXPECT_EQ(missing.status, 502);
    EXPECT_NE(missing.body.find("TIGERweb physical features WMS at " + physicalUrl + " could not be reached"),
              std::string::npos)
        << missing.body;
    EXPECT_TRUE(std::filesystem::is_empty(empty.Path()) || std::filesystem::is_empty(empty.Path() / "maps"));
}

TEST(LiveMapServiceTest, NumberedAndTitleNamedEditionsDrawTheSameMap)
{
    LiveMap titled(Answer::kPng);
    LiveMap numbered(Answer::kPng, Edition::kNumberedFrom40, Edition::kNumberedFrom10);
    const std::string on = "CITIES,counties,places,states,majroads,interstate,ushwy,statehwy";
    const HttpAnswer fromTitled = titled.Get(on);
    const HttpAnswer fromNumbered = numbered.Get(on);
    ExpectTheQuadWhereTheBundledMapHasIt(fromNumbered, true);
    EXPECT_EQ(fromNumbered.body, fromTitled.body);
    EXPECT_EQ(numbered.physical.Layers(), (std::set<std::string>{"Primary Roads", "Secondary Roads"}));
    EXPECT_EQ(numbered.physical.Refusals(), 0);
    // The capabilities are read once per service and kept for the next map.
    EXPECT_EQ(numbered.physical.CapabilitiesRequests(), 1);
    ASSERT_EQ(numbered.Get("majroads").status, 200);
    EXPECT_EQ(numbered.physical.CapabilitiesRequests(), 1);
}

TEST(LiveMapServiceTest, ATitleTheServiceLacksIsNamedAndTheMapDrawnFromTheRest)
{
    LiveMap live(Answer::kPng, Edition::kNumberedFrom40, Edition::kNumberedFrom10);
    live.physical.SetCapabilities(StandInCapabilities(Edition::kNumberedFrom40, "Secondary Roads"));
    testing::internal::CaptureStderr();
    const HttpAnswer answer = live.Get("states,majroads,interstate");
    const std::string log = testing::internal::GetCapturedStderr();
    ExpectTheQuadWhereTheBundledMapHasIt(answer, true);
    EXPECT_EQ(live.physical.Layers(), std::set<std::string>{"Primary Roads"});
    EXPECT_NE(log.find("lists no layer titled \"Secondary Roads\""), std::string::npos) << log;
    // When nothing asked for is left, the map fails and says what to check.
    const HttpAnswer none = live.Get("majroads");
    EXPECT_EQ(none.status, 502);
    EXPECT_NE(none.body.find("TERRAFETCH_WMS_URL"), std::string::npos) << none.body;
}

TEST(LiveMapServiceTest, StaleKeptCapabilitiesAreReadAgainWhenALayerNameIsRefused)
{
    TempDir cache;
    WmsStandIn physical(kRoadRed, true, Answer::kPng, Edition::kNumberedFrom40);
    WmsStandIn boundaries(kBoundaryBlue, false, Answer::kPng, Edition::kNumberedFrom10);
    // A kept copy of an older edition whose text names the services now refuse.
    for (const std::string& url : {physical.Url(), boundaries.Url()}) {
        std::string error;
        ASSERT_TRUE(WriteCacheFile(cache.Path().string() + "/wms/capabilities_" + CacheKeyHash(url) + ".xml",
                                   StandInCapabilities(Edition::kTitleNames), error))
            << error;
    }
    const auto services = LiveServices(physical.Url(), boundaries.Url(), cache.Path().string());
    // The first group of each service is refused; the others use the names read again.
    const HttpAnswer answer = GetMap(*services, "places,water,states,majroads,interstate,ushwy,statehwy");
    ExpectTheQuadWhereTheBundledMapHasIt(answer, true);
    EXPECT_EQ(physical.Refusals(), 1);
    EXPECT_EQ(boundaries.Refusals(), 1);
    EXPECT_EQ(physical.CapabilitiesRequests(), 1);
    EXPECT_EQ(boundaries.CapabilitiesRequests(), 1);
}

TEST(LiveMapServiceTest, CapabilitiesThatAreNotXmlOrTooLargeFailTheMapClearly)
{
    LiveMap live(Answer::kPng);
    live.physical.SetCapabilities("<html><body>Down for maintenance</body></html>");
    const HttpAnswer html = live.Get("majroads");
    EXPECT_EQ(html.status, 502);
    EXPECT_NE(html.body.find("TIGERweb physical features WMS at " + live.physical.Url() +
                             " gave capabilities that cannot be used: it is not a WMS capabilities document"),
              std::string::npos)
        << html.body;
    live.physical.SetCapabilities("<WMS_Capabilities>" + std::string(kMaxWmsCapabilitiesBytes, ' '));
    const HttpAnswer huge = live.Get("majroads");
    EXPECT_EQ(huge.status, 502);
    EXPECT_NE(huge.body.find("TIGERweb physical features WMS"), std::string::npos) << huge.body;
    EXPECT_TRUE(live.physical.Boxes().empty());
}

TEST(LiveMapServiceTest, PiecesAreFetchedOnceAcrossMapsAtOnceAndAreKeptForTheNext)
{
    LiveMap live(Answer::kPng, Edition::kNumberedFrom40, Edition::kNumberedFrom10);
    live.physical.SetRenderTime(std::chrono::milliseconds(100));
    // Two requests for the same map, side by side: each piece is rendered once.
    HttpAnswer first, second;
    std::thread other([&] { second = live.Get("streets,states"); });
    first = live.Get("streets,states");
    other.join();
    ExpectTheQuadWhereTheBundledMapHasIt(first, true);
    ASSERT_EQ(second.status, 200) << second.body;
    EXPECT_EQ(live.physical.RepeatedGetMaps(), 0);
    const size_t pieces = live.physical.Boxes().size();
    EXPECT_GT(pieces, 1u);
    // Another map of the same view and services (with the grid over it) reuses the kept pieces.
    ASSERT_EQ(live.Get("streets,states,GRID").status, 200);
    EXPECT_EQ(live.physical.Boxes().size(), pieces);
}

size_t Occurrences(const std::string& text, const std::string& part)
{
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

TEST(LiveMapServiceTest, AnAreaTakesTheMapsColourWhateverTheServicePaintsAndLinesLieOverIt)
{
    LiveMap live(Answer::kPng, Edition::kNumberedFrom40, Edition::kNumberedFrom10);
    live.boundaries.PaintTitle("Incorporated Places", {30, 30, 200});
    const HttpAnswer answer = live.Get("places,majroads");
    const PaletteColor city = MapPalette()[kColorCity];
    const uint8_t cityTint[3] = {city.red, city.green, city.blue};
    ExpectTheQuadInColours(answer, kRoadRed, cityTint);
    EXPECT_EQ(live.boundaries.GetMapTitles(),
              (std::vector<std::vector<std::string>>{{"Incorporated Places", "Census Designated Places"}}));
}

TEST(LiveMapServiceTest, EachKindOfAreaTakesOneGetMapOfItsOwnAndTheLinesTheirPieces)
{
    LiveMap live(Answer::kPng);
    // Without railroads, whose fine pieces take long to paint and read.
    ASSERT_EQ(live.Get("CITIES,GRID,counties,indian,majroads,miscell,places,shorelin,streets,interstate,statehwy,"
                       "ushwy,states,water")
                  .status,
              200);
    using Titles = std::vector<std::string>;
    const std::vector<Titles> boundaries = live.boundaries.GetMapTitles();
    EXPECT_EQ(boundaries, (std::vector<Titles>{{"Incorporated Places", "Census Designated Places"},
                                              {"Federal American Indian Reservations"},
                                              {"Counties", "States", "Incorporated Places Labels"}}));
    std::map<Titles, int> physical;
    for (const Titles& titles : live.physical.GetMapTitles())
        ++physical[titles];
    const Titles lines{"Linear Hydrography", "Local Roads", "Secondary Roads", "Primary Roads"};
    const int linePieces = physical.count(lines) ? physical.at(lines) : 0;
    EXPECT_GT(linePieces, 1);
    EXPECT_LE(linePieces, 16);
    EXPECT_EQ(physical, (std::map<Titles, int>{{{"Areal Hydrography"}, 1},
                                               {{"National Park Service Areas"}, 1},
                                               {{"Military Installations"}, 1},
                                               {lines, linePieces}}));
}

TEST(LiveMapServiceTest, AnAreaAnsweredEmptyIsNamedOnceAndTheMapStillDrawn)
{
    LiveMap live(Answer::kPng);
    live.boundaries.PaintTitle("Incorporated Places", {255, 255, 255});
    testing::internal::CaptureStderr();
    const HttpAnswer first = live.Get("places,majroads");
    const HttpAnswer second = live.Get("places,interstate");
    const std::string log = testing::internal::GetCapturedStderr();
    ExpectTheQuadInColours(first, kRoadRed, nullptr);
    EXPECT_EQ(second.status, 200);
    // The second map finds the empty piece kept, and says nothing new of it.
    EXPECT_EQ(live.boundaries.GetMapTitles().size(), 1u);
    EXPECT_EQ(Occurrences(log, "terrafetch-services: the TIGERweb boundaries WMS at " + live.boundaries.Url() +
                                   " drew nothing for \"Incorporated Places\", \"Census Designated Places\" in "
                                   "this map\n"),
              1u)
        << log;
    EXPECT_EQ(Occurrences(log, "drew nothing"), 1u) << log;
}

TEST(LiveMapServiceTest, ADamagedCachedMapIsRemovedAndDrawnAgain)
{
    LiveMap live(Answer::kPng);
    const HttpAnswer first = live.Get("majroads,states");
    ASSERT_EQ(first.status, 200) << first.body;
    const std::set<std::string> maps = FilesUnder(live.cache.Path() / "maps");
    ASSERT_EQ(maps.size(), 1u);
    const std::string path = (live.cache.Path() / "maps" / *maps.begin()).string();
    const std::string truncated = first.body.substr(0, first.body.size() - 40);
    const std::string tiny = EncodeGif(1, 1, {1}, {{255, 255, 255}, {200, 0, 0}});
    for (const std::string& damaged : {truncated, tiny}) {
        WriteFileBytes(path, damaged);
        testing::internal::CaptureStderr();
        const HttpAnswer again = live.Get("majroads,states");
        const std::string log = testing::internal::GetCapturedStderr();
        ASSERT_EQ(again.status, 200) << again.body;
        EXPECT_EQ(again.body, first.body);
        EXPECT_NE(log.find("terrafetch-services: the cached map " + path + " is damaged; it is drawn again\n"),
                  std::string::npos)
            << log;
        EXPECT_EQ(ReadFileBytes(path), first.body);
    }
}

TEST(LiveMapServiceTest, OldTemporaryFilesAreSweptFromTheCacheAndEverythingElseLeft)
{
    TempDir cache;
    const auto twoDaysAgo = std::filesystem::file_time_type::clock::now() - std::chrono::hours(48);
    auto put = [&](const std::string& name, bool old) {
        const std::filesystem::path path = cache.Path() / name;
        std::filesystem::create_directories(path.parent_path());
        WriteFileBytes(path.string(), "x");
        if (old)
            std::filesystem::last_write_time(path, twoDaysAgo);
    };
    put("maps/map_a.gif.part-12-3", true);
    put("wms/pieces/0123.map.part-7-0", true);
    put("elevation/source/N39W099.hgt.part-5-1.tif", true);
    put("wms/pieces/4567.map.part-8-0", false);       // being written by a running process
    put("maps/map_b.gif", true);                      // a kept map
    put("maps/notes.part-one", true);                 // not a name the cache writes
    put("elevation/source/deeper/x.part-1-1", true);  // below where the cache keeps files
    const auto services = LiveServices("http://127.0.0.1:1", "http://127.0.0.1:1", cache.Path().string());
    EXPECT_EQ(FilesUnder(cache.Path()),
              (std::set<std::string>{"wms/pieces/4567.map.part-8-0", "maps/map_b.gif", "maps/notes.part-one",
                                     "elevation/source/deeper/x.part-1-1"}));
}

// An elevation order of a 0.1-degree quad, followed page by page until
// the download; the strong lines of the pages it went through, and the
// download's answer.
struct FollowedOrder {
    std::vector<std::string> pages;
    HttpAnswer download;
};

FollowedOrder FollowLiveOrder(const ReferenceServices& services)
{
    const std::string base = "http://127.0.0.1:" + std::to_string(services.Port());
    HttpAnswer answer = HttpGet(base + "/diststatus/servlet/gov.usgs.edc.RequestStatus?lft=-99.000000&rgt=-98.900000"
                                       "&top=40.000000&bot=39.900000");
    FollowedOrder followed;
    std::string next = answer.Header("Location");
    for (int step = 0; step < 400 && !next.empty(); ++step) {
        answer = HttpGet(next);
        if (next.find("Download") != std::string::npos) {
            if (answer.status == 302 && answer.Header("Location").find("OrderStatus") != std::string::npos) {
                next = answer.Header("Location");
                continue;
            }
            followed.download = answer;
            return followed;
        }
        const size_t strong = answer.body.find("<STRONG>");
        followed.pages.push_back(strong == std::string::npos ? answer.body : answer.body.substr(strong));
        const std::string refresh = answer.Header("Refresh");
        next = refresh.substr(std::min(refresh.size(), refresh.find("URL=") + 4));
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ADD_FAILURE() << "the order never reached its download";
    return followed;
}

struct LiveOrderServices {
    TempDir cache;
    TestTileServer dem;
    std::unique_ptr<ReferenceServices> services;

    LiveOrderServices(const WmsStandIn& physical, const WmsStandIn& boundaries)
    {
        dem.Put("/skadi/N39/N39W099.hgt.gz", Gzip(MakeHgtTile(39, -99)));
        ReferenceServiceOptions options;
        options.waitSeconds = 0;
        options.threads = 4;
        options.live.live = true;
        options.live.cacheFolder = cache.Path().string();
        options.live.wmsUrl = physical.Url();
        options.live.wmsBoundariesUrl = boundaries.Url();
        options.live.demUrl = dem.BaseUrl() + "/skadi";
        options.live.geocoderUrl = "http://127.0.0.1:1";
        options.drawMapsAhead = true;
        services = std::make_unique<ReferenceServices>(options);
        EXPECT_NE(services->Start(), 0) << services->Error();
    }
};

bool AnyPageHas(const FollowedOrder& order, const std::string& text)
{
    return std::any_of(order.pages.begin(), order.pages.end(),
                       [&](const std::string& page) { return page.find(text) != std::string::npos; });
}

TEST(LiveOrderMapTest, TheOrderWaitsForItsMapAndTheJobsMapRequestFindsItDrawn)
{
    WmsStandIn physical(kRoadRed, true, Answer::kPng, Edition::kNumberedFrom40);
    WmsStandIn boundaries(kBoundaryBlue, false, Answer::kPng, Edition::kNumberedFrom10);
    physical.SetCapabilities(StandInCapabilities(Edition::kNumberedFrom40, "Railroads"));
    physical.SetRenderTime(std::chrono::milliseconds(600));
    LiveOrderServices live(physical, boundaries);
    const FollowedOrder order = FollowLiveOrder(*live.services);
    EXPECT_EQ(order.download.status, 302) << order.download.body;
    EXPECT_TRUE(AnyPageHas(order, "Street map: U.S. Census Bureau, TIGERweb (public domain)."));
    EXPECT_TRUE(AnyPageHas(order, "Extracting data"));
    // The extracting page repeats while the (slow) pieces come in: one for
    // each kind of area (places and reservations; water, parks and military
    // areas) and one for each service's lines.
    EXPECT_TRUE(AnyPageHas(order, "Street map: map piece 6 of 7 drawn.") ||
                AnyPageHas(order, "Street map: map piece 5 of 7 drawn."));
    EXPECT_TRUE(AnyPageHas(order, "Street map: map piece 7 of 7 drawn."));
    EXPECT_TRUE(AnyPageHas(order, "The street map lacks the layers \"Railroads\""));
    const size_t fetched = physical.Boxes().size();
    EXPECT_EQ(fetched, 4u);
    // The job's own request, as it words it, is answered from the map drawn.
    const HttpAnswer map = HttpGet("http://127.0.0.1:" + std::to_string(live.services->Port()) +
                                   "/cgi-bin/mapper/map.gif?lon=-98.95000000&lat=39.95000000&wid=0.10000000"
                                   "&ht=0.10400000&iwd=1200&iht=1248&on=CITIES,GRID,counties,indian,majroads,"
                                   "miscell,places,railroad,shorelin,streets,interstate,statehwy,ushwy,states,water");
    EXPECT_EQ(map.status, 200);
    EXPECT_EQ(physical.Boxes().size(), fetched);
}

TEST(LiveOrderMapTest, AMapThatCannotBeDrawnFailsTheOrderWithItsCause)
{
    WmsStandIn physical(kRoadRed, true, Answer::kHtml, Edition::kNumberedFrom40);
    WmsStandIn boundaries(kBoundaryBlue, false, Answer::kPng, Edition::kNumberedFrom10);
    LiveOrderServices live(physical, boundaries);
    const FollowedOrder order = FollowLiveOrder(*live.services);
    EXPECT_TRUE(AnyPageHas(order, "Error<BR>The TIGERweb physical features WMS at " + physical.Url()));
    EXPECT_EQ(order.download.status, 502);
    const std::string cause = order.download.Header("X-Extract-Error");
    EXPECT_NE(cause.find(physical.Url()), std::string::npos) << cause;
    EXPECT_NE(cause.find("TERRAFETCH_WMS_URL"), std::string::npos) << cause;
}

}  // namespace

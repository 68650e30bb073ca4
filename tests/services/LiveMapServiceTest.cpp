#include "live/WmsAnswer.h"
#include "live/WmsGetMap.h"
#include "services/GifEncoder.h"
#include "services/MapRenderer.h"
#include "services/ReferenceServices.h"
#include "tests/services/LiveSourceStandIns.h"
#include "tests/services/ServiceClient.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <vector>

namespace {

// The default quad, and the colours the stand-ins draw into it: the
// physical features service paints the quad's west half, the boundaries
// service the whole quad.
constexpr double kWest = -99.0, kEast = -98.0, kSouth = 39.0, kNorth = 40.0;
constexpr uint8_t kRoadRed[3] = {200, 0, 0};
constexpr uint8_t kBoundaryBlue[3] = {0, 0, 200};

const std::map<std::string, double>& KnownLayers()
{
    static const std::map<std::string, double> layers{
        {"Local Roads", 85044.642857},     {"Primary Roads", 1322916.666667},
        {"Secondary Roads", 614211.309524}, {"Railroads", 39687.5},
        {"Incorporated Places", 1322916.666667}, {"Census Designated Places", 1322916.666667},
        {"States", 559081145.864044},      {"Counties", 11339285.714286},
        {"Incorporated Places Labels", 307105.654762},
    };
    return layers;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> items;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, separator))
        items.push_back(item);
    if (!text.empty() && text.back() == separator)
        items.emplace_back();
    return items;
}

std::string EncodePng(int width, int height, const std::vector<uint8_t>& rgb)
{
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(width);
    image.height = static_cast<png_uint_32>(height);
    image.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    EXPECT_TRUE(png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr));
    std::string bytes(size, '\0');
    EXPECT_TRUE(png_image_write_to_memory(&image, bytes.data(), &size, 0, rgb.data(), 0, nullptr));
    bytes.resize(size);
    return bytes;
}

enum class Answer { kPng, kGif, kServiceException, kHtml };

// A TIGERweb WMS stand-in. It checks every GetMap the way the real service
// reads it (WMS 1.3.0, EPSG:4326 with latitude first, size limits, known
// layers drawn at their scale), records the boxes, and draws the quad.
class WmsStandIn {
public:
    WmsStandIn(const uint8_t* colour, bool westHalfOnly, Answer answer)
        : colour_(colour), westHalfOnly_(westHalfOnly), answer_(answer),
          server_([this](HttpTestConnection& connection) { Serve(connection); })
    {
    }

    std::string Url() const { return server_.Url("/arcgis/services/TIGERweb/Stand-in/MapServer/WmsServer"); }
    std::vector<GeoBox> Boxes() const
    {
        std::lock_guard lock(mutex_);
        return boxes_;
    }
    std::set<std::string> Layers() const
    {
        std::lock_guard lock(mutex_);
        return layers_;
    }

private:
    void Serve(HttpTestConnection& connection)
    {
        const auto query = QueryOf(connection.Request().target);
        EXPECT_EQ(ValueOf(query, "SERVICE"), "WMS");
        EXPECT_EQ(ValueOf(query, "VERSION"), "1.3.0");
        EXPECT_EQ(ValueOf(query, "REQUEST"), "GetMap");
        EXPECT_EQ(ValueOf(query, "CRS"), "EPSG:4326");
        EXPECT_EQ(ValueOf(query, "FORMAT"), "image/png");
        EXPECT_EQ(ValueOf(query, "TRANSPARENT"), "FALSE");
        EXPECT_EQ(ValueOf(query, "BGCOLOR"), "0xFFFFFF");
        const std::vector<std::string> layers = Split(ValueOf(query, "LAYERS"), ',');
        const std::string styles = ValueOf(query, "STYLES");  // one (empty) style a layer
        EXPECT_EQ(static_cast<size_t>(std::count(styles.begin(), styles.end(), ',')) + 1, layers.size());
        const int width = std::atoi(ValueOf(query, "WIDTH").c_str());
        const int height = std::atoi(ValueOf(query, "HEIGHT").c_str());
        ASSERT_TRUE(width >= 1 && width <= kWmsMaxImageSide && height >= 1 && height <= kWmsMaxImageSide)
            << width << " x " << height;
        const std::vector<std::string> corners = Split(ValueOf(query, "BBOX"), ',');
        ASSERT_EQ(corners.size(), 4u);
        // Latitude first: south, west, north, east.
        GeoBox box{std::atof(corners[1].c_str()), std::atof(corners[0].c_str()), std::atof(corners[3].c_str()),
                   std::atof(corners[2].c_str())};
        EXPECT_TRUE(box.south >= 38.0 && box.north <= 41.0 && box.south < box.north) << ValueOf(query, "BBOX");
        EXPECT_TRUE(box.west >= -100.0 && box.east <= -97.0 && box.west < box.east) << ValueOf(query, "BBOX");
        const double scale = WmsScaleDenominator((box.east - box.west) / width);
        for (const std::string& layer : layers) {
            ASSERT_EQ(KnownLayers().count(layer), 1u) << layer;
            EXPECT_LE(scale, KnownLayers().at(layer)) << layer << " would not be drawn";
        }
        {
            std::lock_guard lock(mutex_);
            boxes_.push_back(box);
            layers_.insert(layers.begin(), layers.end());
        }
        Reply(connection, box, width, height);
    }

    void Reply(HttpTestConnection& connection, const GeoBox& box, int width, int height) const
    {
        if (answer_ == Answer::kServiceException) {
            connection.Reply(200, "Content-Type: application/vnd.ogc.se_xml\r\n",
                             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ServiceExceptionReport version=\"1.3.0\" "
                             "xmlns=\"http://www.opengis.net/ogc\">\n  <ServiceException code=\"InvalidFormat\">\n"
                             "    Parameter &apos;format&apos; contains unacceptable value.\n  </ServiceException>\n"
                             "</ServiceExceptionReport>\n");
            return;
        }
        if (answer_ == Answer::kHtml) {
            connection.Reply(200, "Content-Type: text/html\r\n", "<html><body>Down for maintenance</body></html>");
            return;
        }
        const double east = westHalfOnly_ ? (kWest + kEast) * 0.5 : kEast;
        std::vector<uint8_t> indices(static_cast<size_t>(width) * height, 0);
        for (int y = 0; y < height; ++y) {
            const double latitude = box.north - (y + 0.5) * (box.north - box.south) / height;
            for (int x = 0; x < width; ++x) {
                const double longitude = box.west + (x + 0.5) * (box.east - box.west) / width;
                if (latitude > kSouth && latitude < kNorth && longitude > kWest && longitude < east)
                    indices[static_cast<size_t>(y) * width + x] = 1;
            }
        }
        const std::vector<PaletteColor> palette{{255, 255, 255}, {colour_[0], colour_[1], colour_[2]}};
        if (answer_ == Answer::kGif) {
            connection.Reply(200, "Content-Type: image/gif\r\n", EncodeGif(width, height, indices, palette));
            return;
        }
        std::vector<uint8_t> rgb(indices.size() * 3);
        for (size_t i = 0; i < indices.size(); ++i)
            for (int c = 0; c < 3; ++c)
                rgb[i * 3 + c] = indices[i] ? colour_[c] : 255;
        connection.Reply(200, "Content-Type: image/png\r\n", EncodePng(width, height, rgb));
    }

    const uint8_t* colour_;
    bool westHalfOnly_;
    Answer answer_;
    mutable std::mutex mutex_;
    std::vector<GeoBox> boxes_;
    std::set<std::string> layers_;
    LoopbackServer server_;
};

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

    explicit LiveMap(Answer answer)
        : physical(kRoadRed, true, answer), boundaries(kBoundaryBlue, false, answer),
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
void ExpectTheQuadWhereTheBundledMapHasIt(const HttpAnswer& answer, bool westHalfRed)
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
            const uint8_t* expected = !inside ? nullptr : (westHalfRed && x < middle ? kRoadRed : kBoundaryBlue);
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

TEST(LiveMapServiceTest, TheMapHasTheBundledGeometryOverlaidOnWhite)
{
    LiveMap live(Answer::kPng);
    const HttpAnswer answer = live.Get("CITIES,counties,places,states,majroads,interstate,ushwy,statehwy");
    ExpectTheQuadWhereTheBundledMapHasIt(answer, true);
    EXPECT_EQ(live.boundaries.Boxes().size(), 1u);
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

}  // namespace

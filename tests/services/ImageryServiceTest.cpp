#include "live/WmsAnswer.h"
#include "live/WmsCapabilities.h"
#include "live/WmsGetMap.h"
#include "mapdraw/MapRenderer.h"
#include "mapdraw/WaterFeatures.h"
#include "services/ImageryService.h"
#include "tests/services/ServiceClient.h"
#include "tests/support/NoWaitServices.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <string>

namespace {

std::string ServiceUrl()
{
    return "http://127.0.0.1:" + std::to_string(NoWaitServices().Port()) + ImageryService::kPath;
}

// A GetMap as the job's WMS client sends it.
std::string GetMapUrl(double west, double south, double east, double north, int width, int height)
{
    WmsPiece piece;
    piece.box = {west, south, east, north};
    piece.width = width;
    piece.height = height;
    return WmsGetMapUrl(ServiceUrl(), {ImageryService::kLayerName}, piece);
}

RgbImage Fetch(double west, double south, double east, double north, int width, int height)
{
    const HttpAnswer answer = HttpGet(GetMapUrl(west, south, east, north, width, height));
    EXPECT_EQ(answer.status, 200);
    const WmsAnswer read = ReadWmsAnswer(answer.Header("Content-Type"), answer.body, size_t{4096} * 4096);
    EXPECT_TRUE(read.ok) << read.error;
    return read.image;
}

const uint8_t* Pixel(const RgbImage& image, int x, int y)
{
    return &image.rgb[(static_cast<size_t>(y) * image.width + x) * 3];
}

// The pixels of columns [from, from + width) of `image`.
RgbImage Columns(const RgbImage& image, int from, int width)
{
    RgbImage part{width, image.height, {}};
    for (int y = 0; y < image.height; ++y)
        part.rgb.insert(part.rgb.end(), Pixel(image, from, y), Pixel(image, from, y) + width * 3);
    return part;
}

bool LooksLikeWater(const uint8_t* rgb) { return rgb[2] > rgb[0] + 40 && rgb[2] > rgb[1] + 15; }

TEST(ImageryService, CapabilitiesOfferLayerZeroAsPngUpTo4096Pixels)
{
    ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    // Parameter names and the request's name in any case.
    const HttpAnswer answer = HttpGet(ServiceUrl() + "?service=WMS&Request=getcapabilities");
    ASSERT_EQ(answer.status, 200);
    EXPECT_NE(answer.Header("Content-Type").find("text/xml"), std::string::npos);
    const WmsCapabilities capabilities = ReadWmsCapabilities(answer.body);
    ASSERT_TRUE(capabilities.ok) << capabilities.error;
    ASSERT_EQ(capabilities.layers.size(), 1u);
    EXPECT_EQ(capabilities.layers[0].name, "0");
    EXPECT_NE(capabilities.LayerTitled(ImageryService::kLayerTitle), nullptr);
    EXPECT_EQ(capabilities.maxWidth, 4096);
    EXPECT_EQ(capabilities.maxHeight, 4096);
    EXPECT_EQ(capabilities.PreferredFormat(), "image/png");
    EXPECT_EQ(WmsMaxImageSide(capabilities.maxWidth, capabilities.maxHeight), 4096);
}

TEST(ImageryService, GetMapIsAPngOfTheAskedSizeThatLooksLikeLand)
{
    ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    const HttpAnswer answer = HttpGet(GetMapUrl(-99.0, 39.0, -98.0, 40.0, 231, 300));
    ASSERT_EQ(answer.status, 200);
    EXPECT_EQ(answer.Header("Content-Type"), "image/png");
    const WmsAnswer read = ReadWmsAnswer("image/png", answer.body, 231 * 300);
    ASSERT_TRUE(read.ok) << read.error;
    EXPECT_EQ(read.image.width, 231);
    EXPECT_EQ(read.image.height, 300);
    // Not a flat fill: shading, fields and water give many colours, and the
    // ground is mostly green and tan rather than blue.
    std::set<uint32_t> colours;
    size_t greenOrTan = 0;
    for (size_t i = 0; i < read.image.rgb.size(); i += 3) {
        const uint8_t* p = &read.image.rgb[i];
        colours.insert(p[0] << 16 | p[1] << 8 | p[2]);
        greenOrTan += p[1] >= p[2];
    }
    EXPECT_GT(colours.size(), 500u);
    EXPECT_GT(greenOrTan, read.image.rgb.size() / 3 * 8 / 10);
}

TEST(ImageryService, TheSameBoxGivesTheSameBytes)
{
    ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    const std::string url = GetMapUrl(-98.7, 39.2, -98.5, 39.35, 190, 150);
    const HttpAnswer first = HttpGet(url);
    const HttpAnswer second = HttpGet(url);
    ASSERT_EQ(first.status, 200);
    EXPECT_EQ(first.body, second.body);
}

// Boxes that meet agree along their edge, exactly, so the pieces of a
// texture join without a seam: for coarse pixels (a sparse lattice of
// terrain posts) and fine ones (finer than the one-arc-second posts).
TEST(ImageryService, ABoxEqualsItsHalvesSideBySideAndStacked)
{
    ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    struct Case {
        double west, south, span;  // the halves' side in degrees
        int side;                  // their pixels
    };
    for (const Case& c : {Case{-99.0, 39.5, 0.25, 256}, Case{-98.25, 39.125, 1.0 / 64, 128}}) {
        SCOPED_TRACE(c.side);
        const RgbImage whole = Fetch(c.west, c.south, c.west + 2 * c.span, c.south + c.span, 2 * c.side, c.side);
        const RgbImage left = Fetch(c.west, c.south, c.west + c.span, c.south + c.span, c.side, c.side);
        const RgbImage right = Fetch(c.west + c.span, c.south, c.west + 2 * c.span, c.south + c.span, c.side, c.side);
        ASSERT_EQ(whole.rgb.size(), left.rgb.size() * 2);
        EXPECT_TRUE(Columns(whole, 0, c.side).rgb == left.rgb);
        EXPECT_TRUE(Columns(whole, c.side, c.side).rgb == right.rgb);

        const RgbImage tall = Fetch(c.west, c.south, c.west + c.span, c.south + 2 * c.span, c.side, 2 * c.side);
        const RgbImage top = Fetch(c.west, c.south + c.span, c.west + c.span, c.south + 2 * c.span, c.side, c.side);
        ASSERT_EQ(tall.rgb.size(), left.rgb.size() * 2);
        EXPECT_TRUE(std::equal(top.rgb.begin(), top.rgb.end(), tall.rgb.begin()));
        EXPECT_TRUE(std::equal(left.rgb.begin(), left.rgb.end(), tall.rgb.begin() + top.rgb.size()));
    }
}

// A lake of the bundled street map near the default quad, found from the
// map's own water: its middle is water on the map and in the imagery, and
// dry ground nearby is not.
TEST(ImageryService, WaterLiesWhereTheBundledMapHasIt)
{
    ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    double lakeLongitude = 0.0, lakeLatitude = 0.0, best = 0.0;
    for (double lon = -99.0; lon < -98.0; lon += 0.005)
        for (double lat = 39.0; lat < 40.0; lat += 0.005)
            if (const double field = LakeField(lon, lat); field > best)
                best = field, lakeLongitude = lon, lakeLatitude = lat;
    ASSERT_GT(best, 0.9) << "no lake near the default quad";

    MapView view;
    view.longitude = lakeLongitude;
    view.latitude = lakeLatitude;
    view.width = view.height = 0.01;
    view.imageWidth = view.imageHeight = 9;
    view.layers = kLayerWater;
    EXPECT_EQ(RenderMap(view, Gazetteer(), BoundaryLines())[4 * 9 + 4], kColorWater);

    const double half = 0.002;
    const RgbImage lake = Fetch(lakeLongitude - half, lakeLatitude - half, lakeLongitude + half, lakeLatitude + half, 9, 9);
    EXPECT_TRUE(LooksLikeWater(Pixel(lake, 4, 4)));

    // Dry ground: far from any lake and from the river line.
    double dryLongitude = lakeLongitude, dryLatitude = lakeLatitude;
    for (double lon = -99.0; lon < -98.0; lon += 0.01)
        if (LakeField(lon, 39.5) < 0.5 && std::fabs(RiverField(lon, 39.5) - kRiverLevel) > 0.1) {
            dryLongitude = lon, dryLatitude = 39.5;
            break;
        }
    const RgbImage dry = Fetch(dryLongitude - half, dryLatitude - half, dryLongitude + half, dryLatitude + half, 9, 9);
    EXPECT_FALSE(LooksLikeWater(Pixel(dry, 4, 4)));
}

TEST(ImageryService, EveryRefusalIsAServiceExceptionTheClientReads)
{
    ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    const std::string good = "VERSION=1.3.0&LAYERS=0&STYLES=&CRS=EPSG:4326&BBOX=39,-99,40,-98&WIDTH=64&HEIGHT=64"
                             "&FORMAT=image/png";
    struct Case {
        std::string query;
        const char* code;
    };
    const Case cases[] = {
        {"REQUEST=GetMap&VERSION=1.3.0&LAYERS=roads&STYLES=&CRS=EPSG:4326&BBOX=39,-99,40,-98&WIDTH=64&HEIGHT=64"
         "&FORMAT=image/png",
         "LayerNotDefined"},
        {"REQUEST=GetMap&VERSION=1.3.0&STYLES=&CRS=EPSG:4326&BBOX=39,-99,40,-98&WIDTH=64&HEIGHT=64&FORMAT=image/png",
         "LayerNotDefined"},
        {"REQUEST=GetMap&VERSION=1.3.0&LAYERS=0&CRS=EPSG:4326&WIDTH=64&HEIGHT=64&FORMAT=image/png",
         "MissingParameterValue"},
        {"REQUEST=GetMap&LAYERS=0&CRS=EPSG:4326&BBOX=39,-99,40&WIDTH=64&HEIGHT=64&FORMAT=image/png",
         "InvalidParameterValue"},
        {"REQUEST=GetMap&LAYERS=0&CRS=EPSG:4326&BBOX=40,-99,39,-98&WIDTH=64&HEIGHT=64&FORMAT=image/png",
         "InvalidParameterValue"},
        {"REQUEST=GetMap&LAYERS=0&CRS=EPSG:4326&BBOX=39,-99,40,nan&WIDTH=64&HEIGHT=64&FORMAT=image/png",
         "InvalidParameterValue"},
        {"REQUEST=GetMap&LAYERS=0&CRS=EPSG:4326&BBOX=39,-99,40,-98&WIDTH=0&HEIGHT=64&FORMAT=image/png",
         "InvalidParameterValue"},
        {"REQUEST=GetMap&LAYERS=0&CRS=EPSG:4326&BBOX=39,-99,40,-98&WIDTH=64&HEIGHT=4097&FORMAT=image/png",
         "InvalidParameterValue"},
        {"REQUEST=GetMap&LAYERS=0&CRS=EPSG:4326&BBOX=39,-99,40,-98&WIDTH=64&FORMAT=image/png",
         "MissingParameterValue"},
        {"REQUEST=GetMap&LAYERS=0&CRS=EPSG:3857&BBOX=39,-99,40,-98&WIDTH=64&HEIGHT=64&FORMAT=image/png", "InvalidCRS"},
        {"REQUEST=GetMap&LAYERS=0&CRS=EPSG:4326&BBOX=39,-99,40,-98&WIDTH=64&HEIGHT=64&FORMAT=image/jpeg",
         "InvalidFormat"},
        {"REQUEST=GetFeatureInfo&" + good, "OperationNotSupported"},
        {good, "OperationNotSupported"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.query);
        const HttpAnswer answer = HttpGet(ServiceUrl() + "?" + c.query);
        ASSERT_TRUE(answer.ok);
        EXPECT_NE(answer.body.find(std::string("code=\"") + c.code + "\""), std::string::npos) << answer.body;
        EXPECT_EQ(IsLayerNotDefined(answer.body), std::string(c.code) == "LayerNotDefined");
        const std::string message = ServiceExceptionMessage(answer.body);
        EXPECT_GT(message.size(), 20u) << message;
        const WmsAnswer read = ReadWmsAnswer(answer.Header("Content-Type"), answer.body, 64 * 64);
        EXPECT_FALSE(read.ok);
        EXPECT_EQ(read.error, "ServiceException: " + message);
    }
}

// CRS:84 takes its box longitude first and draws the same picture.
TEST(ImageryService, Crs84BoxesAreLongitudeFirst)
{
    ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
    const std::string rest = "&WIDTH=40&HEIGHT=30&FORMAT=image/png";
    const HttpAnswer epsg =
        HttpGet(ServiceUrl() + "?REQUEST=GetMap&LAYERS=0&CRS=EPSG:4326&BBOX=39.1,-98.9,39.2,-98.8" + rest);
    const HttpAnswer crs84 = HttpGet(ServiceUrl() + "?request=GetMap&layers=0&crs=CRS:84&bbox=-98.9,39.1,-98.8,39.2" + rest);
    ASSERT_TRUE(ReadWmsAnswer("image/png", epsg.body, 40 * 30).ok);
    EXPECT_EQ(epsg.body, crs84.body);
}

}  // namespace

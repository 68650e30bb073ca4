#include "live/CacheFile.h"
#include "live/WmsAnswer.h"
#include "live/WmsCapabilities.h"
#include "live/WmsGetMap.h"
#include "live/WmsLayers.h"
#include "live/WmsMapSource.h"
#include "tests/services/LiveSourceStandIns.h"
#include "tests/support/PngBytes.h"

#include <gif_lib.h>
#include <gtest/gtest.h>
#include <png.h>
#include <zlib.h>

#include <cstring>
#include <vector>

namespace {

void AppendChunk(std::string& png, const char* type, const std::string& data)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        png += static_cast<char>(data.size() >> shift & 0xFF);
    const std::string typed = std::string(type, 4) + data;
    png += typed;
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(typed.data()), static_cast<uInt>(typed.size()));
    for (int shift = 24; shift >= 0; shift -= 8)
        png += static_cast<char>(crc >> shift & 0xFF);
}

// A PNG of black pixels whose picture data inflates to `inflatedBytes` zero
// bytes (filter 0 on every row), whatever the header declares.
std::string ZeroPng(uint32_t width, uint32_t height, int bitDepth, int colourType, int interlace,
                    size_t inflatedBytes)
{
    std::string header;
    for (const uint32_t value : {width, height})
        for (int shift = 24; shift >= 0; shift -= 8)
            header += static_cast<char>(value >> shift & 0xFF);
    header += {static_cast<char>(bitDepth), static_cast<char>(colourType), 0, 0, static_cast<char>(interlace)};
    const std::vector<Bytef> zeros(inflatedBytes, 0);
    uLongf size = compressBound(static_cast<uLong>(zeros.size()));
    std::string data(size, '\0');
    compress2(reinterpret_cast<Bytef*>(data.data()), &size, zeros.data(), static_cast<uLong>(zeros.size()), 9);
    data.resize(size);
    std::string png = "\x89PNG\r\n\x1a\n";
    AppendChunk(png, "IHDR", header);
    AppendChunk(png, "IDAT", data);
    AppendChunk(png, "IEND", "");
    return png;
}

std::string PngOf(int width, int height, int format, const std::vector<uint8_t>& pixels)
{
    return PngBytes(width, height, format, pixels.data());
}

int WriteTo(GifFileType* gif, const GifByteType* data, int length)
{
    static_cast<std::string*>(gif->UserData)->append(reinterpret_cast<const char*>(data), length);
    return length;
}

// A GIF of `width` × `height` whose pixel (x, y) has index (x + y) % 4, the
// lines stored interlaced; index 3 is transparent. The frame may be placed
// anywhere on the screen, even outside it.
std::string InterlacedGif(int width, int height, int left = 0)
{
    std::string bytes;
    int error = 0;
    GifFileType* gif = EGifOpen(&bytes, WriteTo, &error);
    GifColorType colours[4] = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {0, 0, 0}};
    ColorMapObject* map = GifMakeMapObject(4, colours);
    EGifSetGifVersion(gif, true);
    EGifPutScreenDesc(gif, width, height, 2, 0, map);
    GraphicsControlBlock control{};
    control.TransparentColor = 3;
    GifByteType extension[4];
    const size_t length = EGifGCBToExtension(&control, extension);
    EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, static_cast<int>(length), extension);
    EGifPutImageDesc(gif, left, 0, width, height, true, nullptr);
    std::vector<GifPixelType> line(static_cast<size_t>(width));
    for (const auto& [first, step] : {std::pair{0, 8}, std::pair{4, 8}, std::pair{2, 4}, std::pair{1, 2}}) {
        for (int y = first; y < height; y += step) {
            for (int x = 0; x < width; ++x)
                line[static_cast<size_t>(x)] = static_cast<GifPixelType>((x + y) % 4);
            EGifPutLine(gif, line.data(), width);
        }
    }
    EGifCloseFile(gif, &error);
    GifFreeMapObject(map);
    return bytes;
}

TEST(WmsAnswerTest, PngAndGifImagesAreDecodedWithTransparencyOnWhite)
{
    // Two pixels: opaque red, fully transparent black.
    const WmsAnswer png = ReadWmsAnswer("image/png", PngOf(2, 1, PNG_FORMAT_RGBA, {255, 0, 0, 255, 0, 0, 0, 0}), 4);
    ASSERT_TRUE(png.ok) << png.error;
    EXPECT_EQ(png.image.rgb, (std::vector<uint8_t>{255, 0, 0, 255, 255, 255}));

    const WmsAnswer gif = ReadWmsAnswer("image/gif", InterlacedGif(3, 11), 33);
    ASSERT_TRUE(gif.ok) << gif.error;
    ASSERT_EQ(gif.image.width, 3);
    ASSERT_EQ(gif.image.height, 11);
    const uint8_t expected[4][3] = {{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {255, 255, 255}};
    for (int y = 0; y < 11; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(std::memcmp(&gif.image.rgb[(y * 3 + x) * 3], expected[(x + y) % 4], 3), 0) << x << ", " << y;
}

TEST(WmsAnswerTest, DamagedOversizedOrOtherAnswersAreNoImage)
{
    const std::string png = PngOf(4, 4, PNG_FORMAT_RGB, std::vector<uint8_t>(48, 128));
    EXPECT_FALSE(ReadWmsAnswer("image/png", png, 15).ok);  // more pixels than asked for
    const WmsAnswer truncated = ReadWmsAnswer("image/png", png.substr(0, png.size() - 20), 16);
    EXPECT_FALSE(truncated.ok);
    EXPECT_NE(truncated.error.find("PNG image is damaged"), std::string::npos) << truncated.error;
    EXPECT_FALSE(ReadWmsAnswer("image/gif", InterlacedGif(3, 11, 2), 1000).ok);  // frame outside the screen
    const std::string gif = InterlacedGif(3, 11);
    EXPECT_FALSE(ReadWmsAnswer("image/gif", gif.substr(0, gif.size() / 2), 33).ok);

    const WmsAnswer empty = ReadWmsAnswer("image/png", "", 16);
    EXPECT_EQ(empty.error, "the answer is empty (content type image/png), not an image");
    const WmsAnswer text = ReadWmsAnswer("", "Bad gateway\r\n\x01", 16);
    EXPECT_EQ(text.error, "the answer is not an image (no content type): \"Bad gateway\"");
}

TEST(WmsAnswerTest, PictureDataBeyondTheDeclaredSizeIsRefusedWithoutInflatingIt)
{
    struct Case {
        uint32_t width, height;
        int bitDepth, colourType, interlace;
        size_t declared;
    };
    const Case cases[] = {
        {5, 3, 8, 2, 0, 3 * (1 + 15)},  // RGB: three rows of a filter byte and 15 bytes
        // 9 x 9 grey, interlaced: the seven passes' rows (count x (filter byte + pixels)).
        {9, 9, 8, 0, 1, 2 * 3 + 2 * 2 + 1 * 4 + 3 * 3 + 2 * 6 + 5 * 5 + 4 * 10},
        {9, 2, 1, 0, 0, 2 * (1 + 2)},  // one bit a pixel: nine pixels take two bytes
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.width * 100 + c.bitDepth);
        const size_t pixels = static_cast<size_t>(c.width) * c.height;
        const auto png = [&](size_t bytes) {
            return ZeroPng(c.width, c.height, c.bitDepth, c.colourType, c.interlace, bytes);
        };
        const WmsAnswer exact = ReadWmsAnswer("image/png", png(c.declared), pixels);
        ASSERT_TRUE(exact.ok) << exact.error;
        EXPECT_EQ(exact.image.rgb, std::vector<uint8_t>(pixels * 3, 0));
        for (const size_t surplus : {size_t{1}, size_t{16} << 20}) {
            const WmsAnswer answer = ReadWmsAnswer("image/png", png(c.declared + surplus), pixels);
            EXPECT_FALSE(answer.ok);
            EXPECT_NE(answer.error.find("inflates past the " + std::to_string(c.declared) + " bytes"),
                      std::string::npos)
                << answer.error;
        }
    }
}

TEST(WmsMapSourceTest, APiecesAnswerMayHoldTwoBytesAPixelPlusOneMebibyte)
{
    std::vector<size_t> limits;
    const UpstreamFetch endless = [&](const std::string&, size_t maxBodyBytes) {
        limits.push_back(maxBodyBytes);
        UpstreamAnswer answer;
        answer.error = "the answer is larger than " + std::to_string(maxBodyBytes) + " bytes";
        return answer;
    };
    WmsPiecePlan plan;
    plan.degreesPerPixel = 0.01;
    plan.columns = plan.rows = 1;
    plan.pieces.push_back({GeoBox{-99.0, 39.0, -98.0, 40.0}, 100, 100});
    const WmsMapSource source(endless, "http://127.0.0.1:9/wms", "test WMS");
    const WmsMapSource::Result result =
        source.Fetch({"1"}, plan, [](const WmsPiece&, const RgbImage&) { ADD_FAILURE() << "no piece arrived"; });
    EXPECT_EQ(limits, std::vector<size_t>{2 * 100 * 100 + (1u << 20)});
    EXPECT_NE(result.failure.find("The test WMS at http://127.0.0.1:9/wms could not be reached: the answer is larger"),
              std::string::npos)
        << result.failure;
}

TEST(WmsAnswerTest, ServiceExceptionsGiveTheirMessage)
{
    const WmsAnswer answer = ReadWmsAnswer(
        "text/xml",
        "\xEF\xBB\xBF<?xml version='1.0'?><ServiceExceptionReport version=\"1.3.0\"><ServiceException "
        "code=\"LayerNotDefined\"><![CDATA[Layer <Local Roads> is\n not defined]]></ServiceException>"
        "</ServiceExceptionReport>",
        16);
    EXPECT_FALSE(answer.ok);
    EXPECT_EQ(answer.error, "ServiceException: Layer <Local Roads> is not defined");
    EXPECT_EQ(ServiceExceptionMessage("<ServiceExceptionReport><ServiceException code=\"x\"/></ServiceExceptionReport>"),
              "(no message)");
    EXPECT_EQ(ServiceExceptionMessage("<ServiceException>a &amp;lt; b &lt; c</ServiceException>"), "a &lt; b < c");
}

TEST(WmsGetMapTest, ABaseUrlWithAQueryKeepsIt)
{
    WmsPiece piece{GeoBox{-99.5, 39.25, -98.0, 40.5}, 300, 250};
    EXPECT_EQ(WmsGetMapUrl("https://h/WmsServer?map=x", {"States"}, piece).rfind("https://h/WmsServer?map=x&SERVICE", 0),
              0u);
}

TEST(WmsGetMapTest, PiecesReachTheLayersScaleWithinTheLimits)
{
    const GeoBox box{-99.16, 38.98, -97.84, 40.02};
    // Railroads draw only below 1:39 687.5: a fine grid of pieces.
    const WmsPiecePlan fine = PlanWmsPieces(box, 1.0 / 1200, 39687.5, 16);
    EXPECT_LE(WmsScaleDenominator(fine.degreesPerPixel), 39687.5);
    EXPECT_GT(fine.pieces.size(), 4u);
    EXPECT_LE(fine.pieces.size(), 16u);
    for (const WmsPiece& piece : fine.pieces) {
        EXPECT_LE(piece.width, kWmsMaxImageSide);
        EXPECT_LE(piece.height, kWmsMaxImageSide);
    }
    EXPECT_NEAR(fine.pieces.front().box.west, box.west, 1e-12);
    EXPECT_NEAR(fine.pieces.front().box.north, box.north, 1e-12);
    EXPECT_GE(fine.pieces.back().box.east, box.east - 1e-9);
    EXPECT_LE(fine.pieces.back().box.south, box.south + 1e-9);

    // Too fine for the bound: as fine as 4 pieces allow.
    const WmsPiecePlan bounded = PlanWmsPieces(box, 1.0 / 1200, 39687.5, 4);
    EXPECT_LE(bounded.pieces.size(), 4u);
    EXPECT_GT(bounded.degreesPerPixel, fine.degreesPerPixel);
    // Layers without a tight limit: one piece at the map's own resolution.
    const WmsPiecePlan coarse = PlanWmsPieces(box, 1.0 / 1200, 11339285.7, 16);
    EXPECT_EQ(coarse.pieces.size(), 1u);
    EXPECT_DOUBLE_EQ(coarse.degreesPerPixel, 1.0 / 1200);

    // A service that takes smaller images gets more, smaller pieces.
    EXPECT_EQ(WmsMaxImageSide(0, 0), kWmsMaxImageSide);
    EXPECT_EQ(WmsMaxImageSide(2048, 0), 2048);
    EXPECT_EQ(WmsMaxImageSide(8192, 3000), 3000);
    const WmsPiecePlan small = PlanWmsPieces(box, 1.0 / 1200, 614211.3, 16, WmsMaxImageSide(1024, 1024));
    EXPECT_GT(small.pieces.size(), 1u);
    for (const WmsPiece& piece : small.pieces) {
        EXPECT_LE(piece.width, 1024);
        EXPECT_LE(piece.height, 1024);
    }
}

TEST(WmsLayersTest, TheClientsLayerNamesBecomeWmsLayersOfEachService)
{
    const std::string on = "CITIES,GRID,counties,indian,majroads,miscell,places,railroad,shorelin,streets,interstate,"
                           "statehwy,ushwy,states,water";
    const WmsCapabilities titled = ReadWmsCapabilities(StandInCapabilities(Edition::kTitleNames));
    ASSERT_TRUE(titled.ok) << titled.error;
    const WmsLayerSet physical = WmsLayersFor(on, WmsService::kPhysicalFeatures, titled);
    EXPECT_EQ(physical.names,
              (std::vector<std::string>{"Areal Hydrography", "National Park Service Areas", "Military Installations",
                                        "Linear Hydrography", "Local Roads", "Railroads", "Secondary Roads",
                                        "Primary Roads"}));
    EXPECT_DOUBLE_EQ(physical.maxScaleDenominator, 39687.5);
    const WmsLayerSet boundaries = WmsLayersFor(on, WmsService::kBoundaries, titled);
    EXPECT_EQ(boundaries.names, (std::vector<std::string>{"Incorporated Places", "Census Designated Places",
                                                          "Federal American Indian Reservations", "Counties", "States",
                                                          "Incorporated Places Labels"}));
    EXPECT_TRUE(boundaries.missingTitles.empty());
    EXPECT_TRUE(WmsLayersFor("GRID,nonsense", WmsService::kPhysicalFeatures, titled).Empty());
}

TEST(WmsLayersTest, NumberedLayersAreFoundByTitleAndMissingTitlesAreNamed)
{
    const WmsCapabilities numbered =
        ReadWmsCapabilities(StandInCapabilities(Edition::kNumberedFrom40, "Secondary Roads"));
    ASSERT_TRUE(numbered.ok) << numbered.error;
    const WmsLayerSet roads = WmsLayersFor("majroads,interstate,railroad", WmsService::kPhysicalFeatures, numbered);
    ASSERT_EQ(roads.names.size(), 2u);
    EXPECT_EQ(StandInTitleOf(Edition::kNumberedFrom40, roads.names[0]), "Railroads");
    EXPECT_EQ(StandInTitleOf(Edition::kNumberedFrom40, roads.names[1]), "Primary Roads");
    EXPECT_DOUBLE_EQ(roads.maxScaleDenominator, 39687.5);
    EXPECT_EQ(roads.missingTitles, std::vector<std::string>{"Secondary Roads"});
    EXPECT_EQ(numbered.PreferredFormat(), "image/png");
    EXPECT_EQ(numbered.maxWidth, 4096);
}

// The services' own capabilities of older editions, whose names equal their titles.
TEST(WmsCapabilitiesTest, TheReferenceEditionsListTheWantedLayers)
{
    for (const char* file : {"tigerWMS_PhysicalFeatures.capabilities.xml", "tigerWMS_ACS2019.capabilities.xml"}) {
        std::string xml;
        ASSERT_TRUE(ReadCacheFile(std::string(TERRAFETCH_SERVICES_TEST_DATA) + "/" + file, 1u << 20, xml))
            << file;
        const WmsCapabilities read = ReadWmsCapabilities(xml);
        ASSERT_TRUE(read.ok) << file << ": " << read.error;
        EXPECT_EQ(read.maxWidth, 4096);
        EXPECT_EQ(read.maxHeight, 4096);
        EXPECT_EQ(read.PreferredFormat(), "image/png");
        const bool physical = std::string(file).find("Physical") != std::string::npos;
        const WmsService service = physical ? WmsService::kPhysicalFeatures : WmsService::kBoundaries;
        const WmsLayerSet set = WmsLayersFor("streets,majroads,interstate,water,miscell,railroad,states,counties,"
                                             "places,indian",
                                             service, read);
        EXPECT_TRUE(set.missingTitles.empty()) << file << ": " << set.missingTitles.front();
        for (const std::string& name : set.names)
            EXPECT_EQ(read.LayerTitled(name)->name, name) << file;
        EXPECT_GT(set.maxScaleDenominator, 0.0);
    }
}

TEST(WmsCapabilitiesTest, DocumentsThatAreNotCapabilitiesAreRefusedWithAReason)
{
    EXPECT_NE(ReadWmsCapabilities("<html><body>Service unavailable</body></html>").error.find("not a WMS capabilities"),
              std::string::npos);
    EXPECT_NE(ReadWmsCapabilities("{\"error\": 500}").error.find("not XML"), std::string::npos);
    EXPECT_NE(ReadWmsCapabilities("").error.find("not XML"), std::string::npos);
    const WmsCapabilities cut = ReadWmsCapabilities(StandInCapabilities(Edition::kTitleNames).substr(0, 600));
    EXPECT_FALSE(cut.ok);
    EXPECT_NE(cut.error.find("well-formed"), std::string::npos) << cut.error;
    const std::string huge = "<WMS_Capabilities>" + std::string(kMaxWmsCapabilitiesBytes, ' ') + "</WMS_Capabilities>";
    EXPECT_NE(ReadWmsCapabilities(huge).error.find("larger than 8 MiB"), std::string::npos);
    const WmsCapabilities refused = ReadWmsCapabilities(
        "<?xml version=\"1.0\"?><ServiceExceptionReport><ServiceException code=\"InvalidRequest\">No such "
        "service</ServiceException></ServiceExceptionReport>");
    EXPECT_NE(refused.error.find("No such service"), std::string::npos) << refused.error;
}

}  // namespace

#include "mapdraw/MapRenderer.h"
#include "services/ReferenceServices.h"
#include "tests/services/ServiceClient.h"
#include "tests/support/NoWaitServices.h"

#include <gif_lib.h>
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <cmath>
#include <set>
#include <thread>
#include <vector>

namespace {

using Rgb = std::array<int, 3>;

// A GIF decoded with giflib: size and the colour of every pixel.
struct Picture {
    int width = 0, height = 0;
    std::vector<Rgb> pixels;
    Rgb At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

struct Reader {
    const std::string* bytes;
    size_t offset = 0;
};

int ReadBytes(GifFileType* gif, GifByteType* out, int length)
{
    auto* reader = static_cast<Reader*>(gif->UserData);
    const size_t n = std::min(static_cast<size_t>(length), reader->bytes->size() - reader->offset);
    std::memcpy(out, reader->bytes->data() + reader->offset, n);
    reader->offset += n;
    return static_cast<int>(n);
}

bool DecodeGif(const std::string& bytes, Picture& picture)
{
    Reader reader{&bytes};
    int error = 0;
    GifFileType* gif = DGifOpen(&reader, ReadBytes, &error);
    if (!gif)
        return false;
    bool ok = DGifSlurp(gif) == GIF_OK && gif->ImageCount == 1;
    if (ok) {
        const SavedImage& image = gif->SavedImages[0];
        const ColorMapObject* map = image.ImageDesc.ColorMap ? image.ImageDesc.ColorMap : gif->SColorMap;
        picture.width = gif->SWidth;
        picture.height = gif->SHeight;
        ok = map && image.ImageDesc.Width == picture.width && image.ImageDesc.Height == picture.height;
        for (int i = 0; ok && i < picture.width * picture.height; ++i) {
            const int index = image.RasterBits[i];
            ok = index < map->ColorCount;
            if (ok)
                picture.pixels.push_back({map->Colors[index].Red, map->Colors[index].Green, map->Colors[index].Blue});
        }
    }
    DGifCloseFile(gif, &error);
    return ok;
}

std::string MapUrl(int port, double lon, double lat, double wid, double ht, int iwd, int iht, const std::string& on)
{
    char query[256];
    std::snprintf(query, sizeof query, "lon=%0.8f&lat=%0.8f&wid=%0.8f&ht=%0.8f&iwd=%d&iht=%d&on=", lon, lat, wid, ht,
                  iwd, iht);
    return "http://127.0.0.1:" + std::to_string(port) + "/cgi-bin/mapper/map.gif?" + query + on;
}

std::set<Rgb> ColoursOf(const Picture& picture)
{
    return std::set<Rgb>(picture.pixels.begin(), picture.pixels.end());
}

Rgb Colour(MapColor color)
{
    const PaletteColor& c = MapPalette()[color];
    return {c.red, c.green, c.blue};
}

const Rgb kWhite{255, 255, 255};

class MapServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        services = &NoWaitServices();
        ASSERT_NE(services->Port(), 0) << services->Error();
        ASSERT_EQ(services->Error(), "");  // the vendored data loaded
    }

    static Picture Fetch(const std::string& url)
    {
        const HttpAnswer answer = HttpGet(url);
        Picture picture;
        EXPECT_EQ(answer.status, 200) << answer.body;
        EXPECT_EQ(answer.Header("Content-Type"), "image/gif");
        EXPECT_TRUE(DecodeGif(answer.body, picture));
        return picture;
    }

    static ReferenceServices* services;
};

ReferenceServices* MapServiceTest::services = nullptr;

// Columns of the grid colour in a row, as runs' first columns.
std::vector<int> GridColumns(const Picture& picture, int row)
{
    std::vector<int> columns;
    for (int x = 0; x < picture.width; ++x)
        if (picture.At(x, row) == Colour(kColorGrid) && (x == 0 || picture.At(x - 1, row) != Colour(kColorGrid)))
            columns.push_back(x);
    return columns;
}

bool HasColumnNear(const std::vector<int>& columns, double x)
{
    for (const int column : columns)
        if (std::fabs(column - std::floor(x)) <= 1.0)
            return true;
    return false;
}

TEST_F(MapServiceTest, GeometryOfTheDefaultQuadTile)
{
    // The request of the default quad: the quad's north edge is a centred
    // line 1200 cos 40° long in row 24, its south edge 1200 cos 39° in row 1224.
    const Picture picture = Fetch(MapUrl(services->Port(), -98.5, 39.5, 1.0, 1.04, 1200, 1248, "GRID"));
    ASSERT_EQ(picture.width, 1200);
    ASSERT_EQ(picture.height, 1248);
    const double radians = 3.141592653589793 / 180.0;
    // The parallels at 40° and 39° fill rows 24 and 1224 and no row next to them.
    for (const int row : {24, 1224}) {
        for (int x = 0; x < picture.width; ++x)
            ASSERT_EQ(picture.At(x, row), Colour(kColorGrid)) << "row " << row << " column " << x;
        EXPECT_NE(picture.At(10, row - 1), Colour(kColorGrid));
        EXPECT_NE(picture.At(10, row + 1), Colour(kColorGrid));
    }
    // The meridians of the quad's edges meet those rows at the ends of the
    // centred lines (checked in the rows just inside the quad).
    const std::vector<int> top = GridColumns(picture, 25), bottom = GridColumns(picture, 1223);
    EXPECT_TRUE(HasColumnNear(top, (1 - std::cos(40 * radians)) * 600)) << "140.4";
    EXPECT_TRUE(HasColumnNear(top, (1 + std::cos(40 * radians)) * 600)) << "1059.6";
    EXPECT_TRUE(HasColumnNear(bottom, (1 - std::cos(39 * radians)) * 600)) << "133.7";
    EXPECT_TRUE(HasColumnNear(bottom, (1 + std::cos(39 * radians)) * 600)) << "1066.3";
    // The centre meridian is the middle column in every row.
    for (const int row : {100, 600, 1100})
        EXPECT_TRUE(HasColumnNear(GridColumns(picture, row), 600.0)) << row;
}

TEST_F(MapServiceTest, GeometryFollowsLatitudeAndSize)
{
    // A higher latitude and another image size: rows stay linear in latitude
    // and a degree of longitude shrinks with the cosine of the row's latitude.
    const double radians = 3.141592653589793 / 180.0;
    const Picture picture = Fetch(MapUrl(services->Port(), -110.0, 47.0, 2.0, 2.08, 800, 832, "GRID"));
    ASSERT_EQ(picture.width, 800);
    ASSERT_EQ(picture.height, 832);
    // 832 rows span 2.08 degrees: 46° and 48° lie in rows 16 and 816.
    for (const int row : {16, 816})
        EXPECT_EQ(picture.At(5, row), Colour(kColorGrid)) << row;
    EXPECT_TRUE(HasColumnNear(GridColumns(picture, 17), 400 - 400 * std::cos(48 * radians)));
    EXPECT_TRUE(HasColumnNear(GridColumns(picture, 815), 400 + 400 * std::cos(46 * radians)));
}

TEST_F(MapServiceTest, EachLayerSwitchDrawsItsOwnFeaturesOnly)
{
    struct Case {
        const char* name;
        std::vector<MapColor> colours;  // what the layer may draw
        double span = 3.0;              // degrees; streets show only close up
    };
    const Case cases[] = {
        {"CITIES", {kColorCityMarker}},
        {"GRID", {kColorGrid}},
        {"counties", {kColorCounty}},
        {"indian", {kColorIndian}},
        {"majroads", {kColorMajorRoad}},
        {"miscell", {kColorNationalPark, kColorOtherPark, kColorMilitary}},
        {"places", {kColorCity}},
        {"railroad", {kColorRailroad}},
        {"shorelin", {kColorShoreline}},
        {"streets", {kColorStreet}, 0.1},
        {"interstate", {kColorInterstate}},
        {"statehwy", {kColorStateHighway}},
        {"ushwy", {kColorUsHighway}},
        {"states", {kColorStateLine}},
        {"water", {kColorWater}},
    };
    // Around Denver, where every layer has something to show.
    const std::string blank = MapUrl(services->Port(), -104.9, 39.7, 3.0, 3.0, 300, 300, "");
    EXPECT_EQ(ColoursOf(Fetch(blank)), std::set<Rgb>{kWhite});
    std::set<Rgb> all;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::set<Rgb> seen =
            ColoursOf(Fetch(MapUrl(services->Port(), -104.9, 39.7, c.span, c.span, 300, 300, c.name)));
        std::set<Rgb> allowed{kWhite};
        for (const MapColor colour : c.colours)
            allowed.insert(Colour(colour));
        EXPECT_GT(seen.size(), 1u) << "nothing drawn";
        for (const Rgb& colour : seen)
            EXPECT_TRUE(allowed.count(colour)) << colour[0] << "/" << colour[1] << "/" << colour[2];
        all.insert(seen.begin(), seen.end());
    }
    // The area fills carry the colours the texture's combining step tints.
    for (const Rgb& tint : {Rgb{255, 247, 159}, Rgb{175, 215, 127}, Rgb{127, 255, 127}, Rgb{255, 180, 170}})
        EXPECT_TRUE(all.count(tint)) << tint[0] << "/" << tint[1] << "/" << tint[2];
    // The full list the program asks for draws them together.
    const std::set<Rgb> full = ColoursOf(Fetch(MapUrl(
        services->Port(), -104.9, 39.7, 3.0, 3.0, 300, 300,
        "CITIES,GRID,counties,indian,majroads,miscell,places,railroad,shorelin,streets,interstate,statehwy,ushwy,"
        "states,water")));
    EXPECT_GE(full.size(), 12u);
}

TEST_F(MapServiceTest, StateLineOfTheDefaultQuadLiesOnItsNorthEdge)
{
    // Kansas meets Nebraska at 40° N: the real boundary data put the state
    // line at the quad's north edge (row 24), give or take the few pixels the
    // generalised boundary files are off.
    const Picture picture = Fetch(MapUrl(services->Port(), -98.5, 39.5, 1.0, 1.04, 1200, 1248, "states"));
    int near = 0, elsewhere = 0;
    for (int y = 0; y < picture.height; ++y)
        for (int x = 0; x < picture.width; ++x)
            if (picture.At(x, y) == Colour(kColorStateLine))
                (std::abs(y - 24) <= 8 ? near : elsewhere)++;
    EXPECT_GT(near, 1000);
    EXPECT_EQ(elsewhere, 0);
}

TEST_F(MapServiceTest, BadQueriesGet400WithAReason)
{
    const std::string base = "http://127.0.0.1:" + std::to_string(services->Port()) + "/cgi-bin/mapper/map.gif?";
    const char* cases[] = {
        "",
        "lat=39.5&wid=1&ht=1.04&iwd=1200&iht=1248&on=GRID",            // no lon
        "lon=-98.5&lat=39.5&wid=1&ht=1.04&iwd=1200&on=GRID",          // no iht
        "lon=west&lat=39.5&wid=1&ht=1.04&iwd=1200&iht=1248",          // not a number
        "lon=-98.5&lat=39.5&wid=1&ht=1.04&iwd=12.5&iht=1248",         // not whole
        "lon=-98.5&lat=39.5&wid=1&ht=1.04&iwd=0&iht=1248",            // zero size
        "lon=-98.5&lat=39.5&wid=1&ht=1.04&iwd=4001&iht=1248",         // too wide
        "lon=-98.5&lat=39.5&wid=1&ht=1.04&iwd=1200&iht=40000",        // too high
        "lon=-98.5&lat=39.5&wid=1&ht=1.04&iwd=-5&iht=1248",           // negative
        "lon=-98.5&lat=39.5&wid=0&ht=1.04&iwd=1200&iht=1248",         // empty box
        "lon=-98.5&lat=39.5&wid=1&ht=-1&iwd=1200&iht=1248",           // upside down
        "lon=-98.5&lat=89.5&wid=1&ht=2&iwd=100&iht=100",              // past the pole
        "lon=-98.5&lat=39.5&wid=1e300&ht=1&iwd=100&iht=100",          // absurd box
    };
    for (const char* query : cases) {
        SCOPED_TRACE(query);
        const HttpAnswer answer = HttpGet(base + query);
        EXPECT_EQ(answer.status, 400);
        EXPECT_EQ(answer.body.rfind("Error: ", 0), 0u) << answer.body;
    }
    // The largest sides allowed are served.
    for (const char* query : {"lon=-98.5&lat=39.5&wid=0.1&ht=0.1&iwd=4000&iht=3&on=GRID",
                              "lon=-98.5&lat=39.5&wid=0.1&ht=0.1&iwd=3&iht=4000&on=GRID"}) {
        Picture picture;
        const HttpAnswer big = HttpGet(base + query);
        ASSERT_EQ(big.status, 200);
        ASSERT_TRUE(DecodeGif(big.body, picture));
        EXPECT_EQ(picture.width * picture.height, 12000);
    }
}

TEST_F(MapServiceTest, FiftyConcurrentRequestsAllSucceed)
{
    std::atomic<int> good{0};
    std::vector<std::thread> clients;
    for (int i = 0; i < 50; ++i) {
        clients.emplace_back([&, i] {
            const HttpAnswer answer = HttpGet(MapUrl(services->Port(), -98.5 + 0.1 * (i % 7), 39.5, 0.25, 0.26, 300,
                                                     312, "GRID,states,places,water,ushwy"));
            Picture picture;
            if (answer.status == 200 && DecodeGif(answer.body, picture) && picture.width == 300 &&
                picture.height == 312)
                ++good;
        });
    }
    for (std::thread& client : clients)
        client.join();
    EXPECT_EQ(good.load(), 50);
}

TEST(MapLayers, NamesOfTheOnList)
{
    EXPECT_EQ(ParseLayerList(""), 0u);
    EXPECT_EQ(ParseLayerList("CITIES"), kLayerCities);
    EXPECT_EQ(ParseLayerList("cities,Grid,STATES"), kLayerCities | kLayerGrid | kLayerStates);
    EXPECT_EQ(ParseLayerList("unknown,,water,"), kLayerWater);
    EXPECT_EQ(ParseLayerList("CITIES,GRID,counties,indian,majroads,miscell,places,railroad,shorelin,streets,"
                             "interstate,statehwy,ushwy,states,water"),
              (1u << 15) - 1);
}

}  // namespace

#include "services/ReferenceServices.h"
#include "terrain/BilArchive.h"
#include "terrain/ElevationSource.h"
#include "terrain/SyntheticTerrain.h"
#include "tests/services/ServiceClient.h"
#include "tests/support/HgtTestTiles.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdlib>
#include <sstream>
#include <vector>

namespace {

// The phrases the program looks for in status pages, in its order.
const std::vector<std::string> kMarkers = {
    "Adding your request",       "Extracting data",
    "Extracting Metadata",       "Creating the archive file",
    "Producing extract area",    "Raster Extract has completed",
    "The data extraction has completed", "ahead of you",
    "Error"};

std::string FirstMarker(const std::string& page)
{
    for (const std::string& marker : kMarkers)
        if (page.find(marker) != std::string::npos)
            return marker;
    return "";
}

std::string OrderUrl(int port, const std::string& west, const std::string& east, const std::string& north,
                     const std::string& south)
{
    return "http://127.0.0.1:" + std::to_string(port) +
           "/diststatus/servlet/gov.usgs.edc.RequestStatus?siz=1&key=SM3&ras=1&rsp=1&pfm=BIL&imsurl=-1&ms=-1"
           "&att=-1&lay=-1&fid=-1&dlpre=&lft=" + west + "&rgt=" + east + "&top=" + north + "&bot=" + south +
           "&wmd=1&mur=http://127.0.0.1/distmeta/servlet/gov.usgs.edc.MetaBuilder&mcd=SRTM1FIN&mdf=HTML"
           "&arc=ZIP&sde=SRTM.C_US_1_ELEVATION_SHIFT&msd=SRTM.c_national_1_elevation_meta&zun=&prj=0"
           "&csx=0.0002777777778&csy=0.0002777777778&bnd=&bndnm=&RC=0123456789abcdef0123456789abcdef012345";
}

// One order followed the way the program follows it: redirects by their
// Location, status pages by the URL in their Refresh header, until an
// answer without either arrives.
struct Exchange {
    std::vector<std::string> phrases;  // first known phrase of each status page ("" for none)
    std::vector<int> waits;
    std::vector<std::string> nextUrls;
    HttpAnswer final;
    std::string finalUrl;
};

Exchange FollowOrder(const std::string& orderUrl)
{
    Exchange exchange;
    std::string url = orderUrl;
    for (int round = 0; round < 20; ++round) {
        HttpAnswer answer = HttpGet(url);
        const std::string refresh = answer.Header("Refresh");
        std::string next;
        if (answer.status >= 301 && answer.status <= 303) {
            next = answer.Header("Location");
        } else if (answer.status == 200 && refresh.find(';') != std::string::npos) {
            exchange.waits.push_back(std::atoi(refresh.c_str()));
            const size_t http = refresh.find("http://");
            next = http == std::string::npos ? "" : refresh.substr(http);
            exchange.phrases.push_back(FirstMarker(answer.body));
        } else {
            exchange.final = std::move(answer);
            exchange.finalUrl = url;
            return exchange;
        }
        exchange.nextUrls.push_back(next);
        if (next.empty())
            break;
        url = next;
    }
    return exchange;
}

std::map<std::string, std::string> HeaderFields(const std::string& text)
{
    std::map<std::string, std::string> fields;
    std::istringstream in(text);
    std::string key, value;
    while (in >> key >> value)
        fields[key] = value;
    return fields;
}

std::vector<int16_t> BigEndianSamples(const std::string& bytes)
{
    std::vector<int16_t> samples(bytes.size() / 2);
    for (size_t i = 0; i < samples.size(); ++i)
        samples[i] = static_cast<int16_t>((static_cast<uint8_t>(bytes[2 * i]) << 8) |
                                          static_cast<uint8_t>(bytes[2 * i + 1]));
    return samples;
}

// Test tiles hold a function of the absolute position, so neighbouring
// tiles agree on their shared edge, with a void block and a 32767 post.
int16_t TileValue(long x, long y)
{
    if (x % 977 == 5 && y % 613 == 7)
        return 32767;
    if ((x + 100000 * 3600) % 1500 < 4 && (y + 100000 * 3600) % 1100 < 3)
        return -32768;
    return static_cast<int16_t>(100 + (x + 360 * 3600) % 1000 + (y + 180 * 3600) % 777);
}

// A tile of 3601 posts (one arc-second) or 1201 (three arc-seconds) a side.
void WriteTile(const std::string& folder, int latitude, int longitude, int size = 3601)
{
    WriteFileBytes(folder + "/" + HgtTileName(latitude, longitude),
                   MakeHgtTile(latitude, longitude, size, TileValue));
}

int16_t Expected(long x, long y)
{
    const int16_t value = TileValue(x, y);
    return value == -32768 || value == 32767 ? -9999 : value;
}

// The services with synthetic terrain only; TileExtractTest adds two real
// tiles side by side (N39W099, N39W098).
class ExtractServiceTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() { StartServices(false); }
    static void StartServices(bool withTiles)
    {
        tiles = new TempDir;
        if (withTiles) {
            WriteTile(tiles->Path().string(), 39, -99);
            WriteTile(tiles->Path().string(), 39, -98);
            WriteTile(tiles->Path().string(), 40, -99, 1201);
        }
        ReferenceServiceOptions options;
        options.waitSeconds = 0;
        options.dataFolder = tiles->Path().string();
        services = new ReferenceServices(options);
        ASSERT_NE(services->Start(), 0) << services->Error();
        port = services->Port();
    }
    static void TearDownTestSuite()
    {
        delete services;
        delete tiles;
    }

    struct Archive {
        std::string base;
        std::map<std::string, std::string> header;
        std::vector<int16_t> samples;
        std::string statistics;
        int rows = 0, columns = 0;
    };

    // Orders a box and unpacks what arrives; fails the test when the archive
    // is not laid out as B/B.bil, B/B.hdr, B/B.stx.
    static Archive Order(const std::string& west, const std::string& east, const std::string& north,
                         const std::string& south)
    {
        Archive archive;
        const Exchange exchange = FollowOrder(OrderUrl(port, west, east, north, south));
        EXPECT_EQ(exchange.final.status, 200);
        const std::string name = exchange.finalUrl.substr(exchange.finalUrl.rfind('/') + 1);
        EXPECT_EQ(name.substr(name.size() - 4), ".zip");
        archive.base = name.substr(0, name.size() - 4);
        const auto members = UnzipInMemory(exchange.final.body);
        const std::string b = archive.base;
        EXPECT_EQ(members.size(), 4u);
        EXPECT_TRUE(members.count(b + "/"));
        if (!members.count(b + "/" + b + ".bil") || !members.count(b + "/" + b + ".hdr") ||
            !members.count(b + "/" + b + ".stx")) {
            ADD_FAILURE() << "archive members missing";
            return archive;
        }
        archive.header = HeaderFields(members.at(b + "/" + b + ".hdr"));
        archive.samples = BigEndianSamples(members.at(b + "/" + b + ".bil"));
        archive.statistics = members.at(b + "/" + b + ".stx");
        archive.rows = std::atoi(archive.header["NROWS"].c_str());
        archive.columns = std::atoi(archive.header["NCOLS"].c_str());
        return archive;
    }

    static TempDir* tiles;
    static ReferenceServices* services;
    static int port;
};

TempDir* ExtractServiceTest::tiles = nullptr;
ReferenceServices* ExtractServiceTest::services = nullptr;
int ExtractServiceTest::port = 0;

class TileExtractTest : public ExtractServiceTest {
protected:
    static void SetUpTestSuite() { StartServices(true); }
};

TEST_F(ExtractServiceTest, OrderRunsThroughStatusPagesToAnArchive)
{
    const Exchange exchange = FollowOrder(OrderUrl(port, "-99.000000", "-98.900000", "40.000000", "39.900000"));
    // Whatever the size, the same pages lead to the archive.
    const std::vector<std::string> expected = {"Adding your request", "ahead of you", "ahead of you", "",
                                               "Extracting data", "Creating the archive file",
                                               "The data extraction has completed"};
    EXPECT_EQ(exchange.phrases, expected);
    for (const int wait : exchange.waits)
        EXPECT_EQ(wait, 0);
    // Every next URL is absolute and names this server's host and port.
    const std::string self = "http://127.0.0.1:" + std::to_string(port) + "/";
    for (const std::string& next : exchange.nextUrls)
        EXPECT_EQ(next.rfind(self, 0), 0u) << next;
    // The order starts with a redirect and the archive is reached by one.
    ASSERT_EQ(exchange.nextUrls.size(), expected.size() + 2);

    const HttpAnswer& archive = exchange.final;
    EXPECT_EQ(archive.status, 200);
    EXPECT_EQ(archive.Header("Content-Type"), "application/zip");
    EXPECT_EQ(archive.Header("Content-Length"), std::to_string(archive.body.size()));
    EXPECT_TRUE(archive.Header("Refresh").empty());
    const std::string name = exchange.finalUrl.substr(exchange.finalUrl.rfind('/') + 1);
    EXPECT_EQ(name.find_first_not_of("0123456789"), name.size() - 4) << name;
}

// A second order of a quad is answered from the first one's archive, its
// members renamed after the new order, their contents the same.
TEST_F(ExtractServiceTest, ASecondOrderOfTheSameQuadGetsTheSameContentsUnderItsOwnName)
{
    const Archive first = Order("-97.000000", "-96.900000", "38.000000", "37.900000");
    const Archive second = Order("-97.000000", "-96.900000", "38.000000", "37.900000");
    EXPECT_NE(first.base, second.base);
    EXPECT_EQ(second.samples, first.samples);
    EXPECT_EQ(second.header, first.header);
    EXPECT_EQ(second.statistics, first.statistics);
    const Archive elsewhere = Order("-96.900000", "-96.800000", "38.000000", "37.900000");
    EXPECT_NE(elsewhere.samples, first.samples);
}

TEST(RenameBilArchive, RenamesEveryMemberAndRefusesWhatItDidNotMake)
{
    ElevationGrid grid;
    grid.rows = 3;
    grid.columns = 4;
    grid.samples = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    const std::string original = MakeBilArchive("123456789", grid);
    std::string renamed = original;
    ASSERT_TRUE(RenameBilArchive(renamed, "123456789", "987654321"));
    const auto before = UnzipInMemory(original);
    const auto after = UnzipInMemory(renamed);
    ASSERT_EQ(after.size(), 4u);
    EXPECT_EQ(after.at("987654321/"), before.at("123456789/"));
    for (const char* extension : {".bil", ".hdr", ".stx"})
        EXPECT_EQ(after.at(std::string("987654321/987654321") + extension),
                  before.at(std::string("123456789/123456789") + extension)) << extension;

    std::string unchanged = original;
    EXPECT_FALSE(RenameBilArchive(unchanged, "123456789", "98765432")) << "names of another length";
    EXPECT_FALSE(RenameBilArchive(unchanged, "111111111", "987654321")) << "another base name";
    EXPECT_EQ(unchanged, original);
    std::string cut = original.substr(0, original.size() - 5);
    EXPECT_FALSE(RenameBilArchive(cut, "123456789", "987654321"));
}

TEST_F(TileExtractTest, ArchiveOfATileQuadHoldsTheTileWithConsistentHeaderAndStatistics)
{
    const Archive archive = Order("-99.000000", "-98.000000", "40.000000", "39.000000");
    ASSERT_EQ(archive.rows, 3601);
    ASSERT_EQ(archive.columns, 3601);
    std::map<std::string, std::string> header = archive.header;
    EXPECT_EQ(header["BYTEORDER"], "M");
    EXPECT_EQ(header["LAYOUT"], "BIL");
    EXPECT_EQ(header["NBANDS"], "1");
    EXPECT_EQ(header["NBITS"], "16");
    EXPECT_EQ(header["BANDROWBYTES"], "7202");
    EXPECT_EQ(header["TOTALROWBYTES"], "7202");
    EXPECT_EQ(header["BANDGAPBYTES"], "0");
    EXPECT_EQ(header["NODATA"], "-9999");
    EXPECT_DOUBLE_EQ(std::atof(header["ULXMAP"].c_str()), -99.0);
    EXPECT_DOUBLE_EQ(std::atof(header["ULYMAP"].c_str()), 40.0);
    EXPECT_NEAR(std::atof(header["XDIM"].c_str()), 1.0 / 3600, 1e-12);
    EXPECT_NEAR(std::atof(header["YDIM"].c_str()), 1.0 / 3600, 1e-12);
    ASSERT_EQ(archive.samples.size(), 3601u * 3601u);

    int mismatches = 0, voids = 0, minimum = 1 << 20, maximum = -(1 << 20);
    double sum = 0;
    size_t count = 0;
    for (int row = 0; row < 3601; ++row) {
        for (int column = 0; column < 3601; ++column) {
            const int16_t value = archive.samples[static_cast<size_t>(row) * 3601 + column];
            if (value != Expected(-99 * 3600L + column, 40 * 3600L - row))
                ++mismatches;
            if (value == -9999) {
                ++voids;
                continue;
            }
            minimum = std::min<int>(minimum, value);
            maximum = std::max<int>(maximum, value);
            sum += value;
            ++count;
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(voids, 0);

    int band = 0, statMin = 0, statMax = 0;
    double mean = 0, deviation = 0;
    ASSERT_EQ(std::sscanf(archive.statistics.c_str(), "%d %d %d %lf %lf", &band, &statMin, &statMax, &mean,
                          &deviation),
              5);
    EXPECT_EQ(band, 1);
    EXPECT_EQ(statMin, minimum);
    EXPECT_EQ(statMax, maximum);
    EXPECT_NEAR(mean, sum / static_cast<double>(count), 1e-3);
    EXPECT_GT(deviation, 0.0);
}

TEST_F(TileExtractTest, QuadsAreCutFromTilesAndMosaickedAcrossTileEdges)
{
    struct Case {
        const char *west, *east, *north, *south;
        int columns, rows;
    };
    const Case cases[] = {
        {"-98.750000", "-98.600000", "39.500000", "39.400000", 541, 361},  // inside one tile
        {"-98.100000", "-97.900000", "39.800000", "39.600000", 721, 721},  // across the seam at -98
        {"-98.100000", "-98.000000", "39.050000", "39.000000", 361, 181},   // ends on the seam
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.west);
        const Archive archive = Order(c.west, c.east, c.north, c.south);
        ASSERT_EQ(archive.columns, c.columns);
        ASSERT_EQ(archive.rows, c.rows);
        ASSERT_EQ(archive.samples.size(), static_cast<size_t>(c.columns) * c.rows);
        const long x0 = std::lround(std::atof(c.west) * 3600), y0 = std::lround(std::atof(c.north) * 3600);
        int mismatches = 0;
        for (int row = 0; row < c.rows; ++row)
            for (int column = 0; column < c.columns; ++column)
                if (archive.samples[static_cast<size_t>(row) * c.columns + column] != Expected(x0 + column, y0 - row))
                    ++mismatches;
        EXPECT_EQ(mismatches, 0);
    }
}

TEST_F(TileExtractTest, ThreeArcSecondTilesAreInterpolatedBetweenTheirPosts)
{
    const Archive archive = Order("-99.000000", "-98.950000", "40.500000", "40.450000");
    ASSERT_EQ(archive.columns, 181);
    ASSERT_EQ(archive.rows, 181);
    const long x0 = -99 * 3600L, y0 = 40 * 3600L + 1800;
    int exact = 0, between = 0;
    for (int row = 0; row < archive.rows; ++row) {
        for (int column = 0; column < archive.columns; ++column) {
            const int value = archive.samples[static_cast<size_t>(row) * archive.columns + column];
            const long x = x0 + column, y = y0 - row;
            if (x % 3 == 0 && y % 3 == 0) {
                ASSERT_EQ(value, Expected(x, y)) << row << " " << column;
                ++exact;
                continue;
            }
            // Elsewhere the value lies within the four tile posts around it.
            const long left = x - ((x % 3) + 3) % 3, top = y + (3 - ((y % 3) + 3) % 3) % 3;
            const int16_t corners[] = {Expected(left, top), Expected(left + 3, top), Expected(left, top - 3),
                                       Expected(left + 3, top - 3)};
            if (std::find(std::begin(corners), std::end(corners), -9999) != std::end(corners))
                continue;
            EXPECT_GE(value, *std::min_element(std::begin(corners), std::end(corners)));
            EXPECT_LE(value, *std::max_element(std::begin(corners), std::end(corners)));
            ++between;
        }
    }
    EXPECT_EQ(exact, 61 * 61);
    EXPECT_GT(between, 20000);
}

TEST_F(ExtractServiceTest, SyntheticTerrainMatchesAcrossQuadEdges)
{
    // Far from the test tiles: synthetic terrain. Neighbours to the east and
    // to the south share their edge posts exactly, voids included.
    const Archive centre = Order("-105.200000", "-105.150000", "39.800000", "39.750000");
    const Archive east = Order("-105.150000", "-105.100000", "39.800000", "39.750000");
    const Archive south = Order("-105.200000", "-105.150000", "39.750000", "39.700000");
    ASSERT_EQ(centre.columns, 181);
    ASSERT_EQ(east.rows, centre.rows);
    ASSERT_EQ(south.columns, centre.columns);
    for (int row = 0; row < centre.rows; ++row)
        ASSERT_EQ(centre.samples[static_cast<size_t>(row) * 181 + 180], east.samples[static_cast<size_t>(row) * 181])
            << "row " << row;
    for (int column = 0; column < centre.columns; ++column)
        ASSERT_EQ(centre.samples[static_cast<size_t>(centre.rows - 1) * 181 + column], south.samples[column])
            << "column " << column;
    // Not a flat placeholder: the posts vary.
    int low = 1 << 20, high = -(1 << 20);
    for (const int16_t value : centre.samples) {
        if (value == -9999)
            continue;
        low = std::min<int>(low, value);
        high = std::max<int>(high, value);
    }
    EXPECT_GT(high - low, 20);
}

TEST_F(ExtractServiceTest, BadOrdersAreRefusedWithAReason)
{
    struct Case {
        const char* name;
        std::string url;
    };
    const std::string base = "http://127.0.0.1:" + std::to_string(port) +
                             "/diststatus/servlet/gov.usgs.edc.RequestStatus?";
    // A good order with one key's value changed.
    auto Altered = [](const std::string& from, const std::string& to) {
        std::string url = OrderUrl(port, "-99", "-98", "40", "39");
        return url.replace(url.find(from), from.size(), to);
    };
    const Case cases[] = {
        {"no edges", base + "pfm=BIL&arc=ZIP"},
        {"missing bot", base + "lft=-99&rgt=-98&top=40"},
        {"not a number", base + "lft=west&rgt=-98&top=40&bot=39"},
        {"west not west", base + "lft=-98&rgt=-99&top=40&bot=39"},
        {"empty box", base + "lft=-98&rgt=-98&top=40&bot=39"},
        {"south not south", base + "lft=-99&rgt=-98&top=39&bot=40"},
        {"too wide", base + "lft=-99&rgt=-97.5&top=40&bot=39"},
        {"too high", base + "lft=-99&rgt=-98&top=41.5&bot=40"},
        {"smaller than a post", base + "lft=-99&rgt=-98.9999&top=40&bot=39.9"},
        {"format", Altered("pfm=BIL", "pfm=TIF")},
        {"archive", Altered("arc=ZIP", "arc=TGZ")},
        {"cell size", Altered("csx=0.0002777777778", "csx=0.0008333333333")},
        {"latitude range", base + "lft=-99&rgt=-98&top=91&bot=90.5"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const HttpAnswer answer = HttpGet(c.url);
        EXPECT_TRUE(answer.ok);
        EXPECT_EQ(answer.status, 400);
        EXPECT_EQ(answer.body.rfind("Error: ", 0), 0u) << answer.body;
        EXPECT_FALSE(answer.Header("X-Extract-Error").empty());
        EXPECT_TRUE(answer.Header("Location").empty());
    }
    // Unknown orders and archives are not found.
    const std::string host = "http://127.0.0.1:" + std::to_string(port);
    EXPECT_EQ(HttpGet(host + "/diststatus/servlet/gov.usgs.edc.OrderStatus?id=1&page=0").status, 404);
    EXPECT_EQ(HttpGet(host + "/diststatus/servlet/gov.usgs.edc.Download?id=abc").status, 404);
    EXPECT_EQ(HttpGet(host + "/diststatus/archive/1.zip").status, 404);
    EXPECT_EQ(HttpGet(host + "/nothing/here").status, 404);
}

size_t StopAfterFirstBlock(char*, size_t, size_t, void*) { return 0; }

TEST_F(ExtractServiceTest, ClientThatHangsUpMidDownloadLeavesTheServiceWorking)
{
    const Exchange exchange = FollowOrder(OrderUrl(port, "-105.500000", "-105.250000", "40.000000", "39.750000"));
    ASSERT_GT(exchange.final.body.size(), 100000u);
    ASSERT_EQ(exchange.final.status, 200);
    for (int attempt = 0; attempt < 3; ++attempt) {
        CURL* curl = curl_easy_init();
        ASSERT_NE(curl, nullptr);
        curl_easy_setopt(curl, CURLOPT_URL, exchange.finalUrl.c_str());
        curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
        curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, StopAfterFirstBlock);
        EXPECT_EQ(curl_easy_perform(curl), CURLE_WRITE_ERROR);
        curl_easy_cleanup(curl);
    }
    // The same archive is still served whole.
    const HttpAnswer again = HttpGet(exchange.finalUrl);
    EXPECT_EQ(again.status, 200);
    EXPECT_EQ(again.body.size(), exchange.final.body.size());
}

TEST(SyntheticTerrain, RisesFromEastToWestWithVoidsOfTheAskedShare)
{
    struct Region {
        double west, north;
    };
    // Atlantic coastal plain, Kansas plains, Colorado Rockies.
    const Region regions[] = {{-77.0, 38.5}, {-99.0, 39.5}, {-106.0, 40.0}};
    constexpr double kSize = 0.25;
    std::vector<double> means;
    for (const Region& region : regions) {
        ElevationGrid grid;
        ASSERT_TRUE(BuildElevationGrid({"", 0.005}, region.west, region.west + kSize, region.north - kSize,
                                       region.north, grid));
        size_t voids = 0;
        double sum = 0;
        for (const int16_t value : grid.samples) {
            if (value == kNoDataSample) {
                ++voids;
                continue;
            }
            EXPECT_GE(value, 1);  // 0 would read as a hole in the height map
            sum += value;
        }
        EXPECT_GT(voids, 0u);
        means.push_back(sum / static_cast<double>(grid.samples.size() - voids));
    }
    EXPECT_LT(means[0], means[1]);
    EXPECT_LT(means[1], means[2]);
    EXPECT_GT(means[2], 1500.0);

    // Over a whole degree the voids cover about the share asked for.
    for (const double fraction : {0.005, 0.02}) {
        ElevationGrid grid;
        ASSERT_TRUE(ShapeGrid(grid, -99.0, -98.0, 39.0, 40.0));
        std::fill(grid.samples.begin(), grid.samples.end(), int16_t{100});
        StampSyntheticVoids(grid, fraction);
        const double share = static_cast<double>(std::count(grid.samples.begin(), grid.samples.end(), kNoDataSample)) /
                             static_cast<double>(grid.samples.size());
        EXPECT_GT(share, fraction * 0.6);
        EXPECT_LT(share, fraction * 1.4);
    }

    // No voids when none are asked for; the same place gives the same posts.
    ElevationGrid clean, again;
    ASSERT_TRUE(BuildElevationGrid({"", 0.0}, -99.0, -98.9, 39.9, 40.0, clean));
    ASSERT_TRUE(BuildElevationGrid({"", 0.0}, -99.0, -98.9, 39.9, 40.0, again));
    EXPECT_EQ(std::count(clean.samples.begin(), clean.samples.end(), kNoDataSample), 0);
    EXPECT_EQ(clean.samples, again.samples);
    EXPECT_EQ(clean.samples[0], SyntheticHeightAt(-99.0 * 3600, 40.0 * 3600));
}

}  // namespace

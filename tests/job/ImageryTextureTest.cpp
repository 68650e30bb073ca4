#include "job/ImageryTexture.h"
#include "job/JobParameters.h"
#include "job/JobResult.h"
#include "job/RunJob.h"
#include "raster/ImageCache.h"
#include "raster/TGAFile.h"
#include "tests/job/PatternImageryWms.h"
#include "tests/support/NoWaitServices.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace fs = std::filesystem;

namespace {

struct Centroid {
    double column = 0, row = 0;  // continuous, rows from the top
    long pixels = 0;
};

// Where the pattern's red mark lies in a texture.
Centroid MarkIn(const TGAFile& texture)
{
    Centroid found;
    double columns = 0, rows = 0;
    for (int y = 0; y < texture.GetHeight(); ++y) {
        for (int x = 0; x < texture.GetWidth(); ++x) {
            uint8_t bgr[32] = {};
            texture.GetPixel(x, y, bgr);
            const uint8_t rgb[3] = {bgr[2], bgr[1], bgr[0]};
            if (!PatternImageryWms::IsMark(rgb))
                continue;
            columns += x + 0.5;
            rows += texture.GetHeight() - y - 0.5;
            ++found.pixels;
        }
    }
    if (found.pixels > 0)
        found.column = columns / found.pixels, found.row = rows / found.pixels;
    return found;
}

// Where a place lies in a texture of the quad, by the quad's own geometry:
// rows linear in latitude, columns linear in longitude.
Centroid ExpectedPlace(const Quad& quad, int width, int height, const ImageryMark& mark)
{
    Centroid place;
    place.column = (mark.longitude - quad.left) / (quad.right - quad.left) * width;
    place.row = (quad.top - mark.latitude) / (quad.top - quad.bottom) * height;
    return place;
}

bool Logged(const RecordingWindow& window, const std::string& text)
{
    const std::vector<std::string> lines = window.Lines();
    return std::any_of(lines.begin(), lines.end(), [&](const std::string& line) { return line.find(text) != std::string::npos; });
}

JobParameters ImageryJob(const std::string& url, const Quad& quad = {-99.0, -98.0, 40.0, 39.0})
{
    JobParameters job;
    job.quad = quad;
    job.hosts.imagery = url;
    return job;
}

int Make(const JobParameters& job, int height, const std::string& output, RecordingWindow& window,
         const std::atomic<bool>& cancel = std::atomic<bool>{false})
{
    ImageCache images;
    return MakeImageryTexture(window, job, cancel, TextureWidth(job.quad.top, job.quad.bottom, height), height, output,
                              images);
}

TEST(ImageryTexture, TheMarkLandsWhereTheQuadsGeometryPutsItAtEveryHeight)
{
    // Small pieces, so that the mark and the bands' seams meet.
    PatternImageryWms wms(700);
    TempDir folder;
    for (const Quad& quad : {Quad{-99.0, -98.0, 40.0, 39.0}, Quad{-98.35, -98.25, 39.75, 39.65}}) {
        for (int height : {1200, 2400, 4800}) {
            RecordingWindow window;
            const std::string output = folder.File("imagery.tga");
            ASSERT_EQ(Make(ImageryJob(wms.Url(), quad), height, output, window), 0)
                << ::testing::PrintToString(window.Lines());
            TGAFile texture;
            ASSERT_EQ(texture.Open(output), 0);
            const int width = TextureWidth(quad.top, quad.bottom, height);
            ASSERT_EQ(texture.GetWidth(), width);
            ASSERT_EQ(texture.GetHeight(), height);
            const Centroid found = MarkIn(texture);
            const Centroid expected = ExpectedPlace(quad, width, height, ImageryMark{});
            ASSERT_GT(found.pixels, 0) << height;
            EXPECT_NEAR(found.column, expected.column, 2.0) << "height " << height;
            EXPECT_NEAR(found.row, expected.row, 2.0) << "height " << height;
            EXPECT_TRUE(Logged(window, "Imagery: piece 1 of "));
        }
    }
}

TEST(ImageryTexture, EveryWayTheServiceFailsEndsTheStageWithACauseAndNoTexture)
{
    PatternImageryWms wms;
    TempDir folder;
    const std::string output = folder.File("imagery.tga");
    const std::pair<ImageryFailure, const char*> cases[] = {
        {ImageryFailure::NotAnImage, "gave no image for piece 1 of"},
        {ImageryFailure::WrongSize, "for one of"},
        {ImageryFailure::OneColour, "may have no imagery there"},
        {ImageryFailure::ServiceException, "Imagery is being rebuilt"},
    };
    for (const auto& [failure, cause] : cases) {
        wms.Fail(failure);
        RecordingWindow window;
        EXPECT_EQ(Make(ImageryJob(wms.Url()), 1200, output, window), 1);
        EXPECT_TRUE(Logged(window, cause)) << cause << ": " << ::testing::PrintToString(window.Lines());
        EXPECT_TRUE(Logged(window, "--imagery-url") || failure == ImageryFailure::OneColour) << cause;
        EXPECT_FALSE(fs::exists(output)) << cause;
    }

    wms.Fail(ImageryFailure::None);
    JobParameters job = ImageryJob(wms.Url());
    job.hosts.imageryLayer = "Orthoimagery";
    RecordingWindow window;
    EXPECT_EQ(Make(job, 1200, output, window), 1);
    EXPECT_TRUE(Logged(window, "no layer named \"Orthoimagery\" (set by TERRAFETCH_IMAGERY_LAYER)"));

    RecordingWindow unreachable;
    EXPECT_EQ(Make(ImageryJob("http://127.0.0.1:9/wms"), 1200, output, unreachable), 1);
    EXPECT_TRUE(Logged(unreachable, "Check the imagery URL (TERRAFETCH_IMAGERY_URL or --imagery-url)"));
    EXPECT_FALSE(fs::exists(output));
}

TEST(ImageryTexture, KeptPiecesServeTheSameQuadAgainWithoutTheService)
{
    PatternImageryWms wms(1000);
    TempDir folder;
    JobParameters job = ImageryJob(wms.Url());
    job.hosts.imageryCache = folder.File("cache");
    RecordingWindow first, second;
    ASSERT_EQ(Make(job, 1200, folder.File("a.tga"), first), 0);
    const int fetched = wms.GetMaps();
    ASSERT_EQ(Make(job, 1200, folder.File("b.tga"), second), 0);
    EXPECT_EQ(wms.GetMaps(), fetched);
    EXPECT_TRUE(Logged(second, "from the cache"));
    std::ifstream a(folder.File("a.tga"), std::ios::binary), b(folder.File("b.tga"), std::ios::binary);
    std::stringstream aBytes, bBytes;
    aBytes << a.rdbuf();
    bBytes << b.rdbuf();
    EXPECT_TRUE(aBytes.str() == bBytes.str());
}

TEST(ImageryTexture, ACancelledStageStopsAtOnce)
{
    PatternImageryWms wms(300);
    TempDir folder;
    std::atomic<bool> cancel{true};
    RecordingWindow window;
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(Make(ImageryJob(wms.Url()), 4800, folder.File("x.tga"), window, cancel), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    EXPECT_LE(wms.GetMaps(), 1);
    EXPECT_FALSE(fs::exists(folder.File("x.tga")));
}

// Whole jobs on the bundled services, with the pattern as their imagery.
class ImageryJobTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_NE(NoWaitServices().Port(), 0) << NoWaitServices().Error();
        previous_ = fs::current_path();
        fs::current_path(folder_.Path());
    }
    void TearDown() override { fs::current_path(previous_); }

    int Run(TextureKind kind, int height, JobResult& made, bool bundledImagery = false)
    {
        const std::string host = NoWaitServices().HostAndPort();
        JobParameters job;
        job.quad = Quad{-98.4, -98.2, 39.8, 39.6};
        job.textureKind = kind;
        job.textureHeight = height;
        job.hosts = ServiceHosts(host, host, host);
        if (!bundledImagery)
            job.hosts.imagery = wms_.Url();
        return RunJob(window_, job, cancel_, &made);
    }

    static std::string Line(const std::string& file, const std::string& key)
    {
        std::ifstream in(file, std::ios::binary);
        std::string line;
        while (std::getline(in, line))
            if (line.rfind(key + "=", 0) == 0)
                return line.substr(key.size() + 1, line.find('\r') - key.size() - 1);
        return {};
    }

    PatternImageryWms wms_;
    TempDir folder_;
    fs::path previous_;
    RecordingWindow window_;
    std::atomic<bool> cancel_{false};
};

TEST_F(ImageryJobTest, StreetsOverThePhotographShowBothAndTheParameterFilesDescribeTheTexture)
{
    JobResult photo, both;
    ASSERT_EQ(Run(TextureKind::Imagery, 2400, photo), 0) << ::testing::PrintToString(window_.Lines());
    const std::string photoCopy = (folder_.Path() / "photo.tga").string();
    fs::copy_file(photo.texture, photoCopy);
    ASSERT_EQ(Run(TextureKind::ImageryWithMap, 2400, both), 0) << ::testing::PrintToString(window_.Lines());

    TGAFile a, b;
    ASSERT_EQ(a.Open(photoCopy), 0);
    ASSERT_EQ(b.Open(both.texture), 0);
    const int width = TextureWidth(39.8, 39.6, 2400);
    ASSERT_EQ(b.GetWidth(), width);
    ASSERT_EQ(b.GetHeight(), 2400);
    long same = 0, changed = 0;
    for (int y = 0; y < b.GetHeight(); ++y)
        for (int x = 0; x < b.GetWidth(); ++x) {
            uint8_t p[32] = {}, q[32] = {};
            a.GetPixel(x, y, p);
            b.GetPixel(x, y, q);
            (std::equal(p, p + 3, q) ? same : changed) += 1;
        }
    // The map's white ground shows the photograph; its roads and labels cover it.
    EXPECT_GT(same, changed);
    EXPECT_GT(changed, 1000);
    const Centroid found = MarkIn(b);
    EXPECT_GT(found.pixels, 0);

    // Every value the parameter files derive from the texture's size.
    char half[32];
    std::snprintf(half, sizeof half, "%0.6f", width * 0.5);
    EXPECT_EQ(Line(both.secondParameterFile, "BeobXE"), half);
    EXPECT_EQ(Line(both.secondParameterFile, "BeobYE"), "1200.000000");
    EXPECT_EQ(Line(both.firstParameterFile, "HDateiSkalaY"), std::to_string(2400.0 / both.rasterRows).substr(0, 8));
    EXPECT_EQ(Line(both.firstParameterFile, "TDateiname"), both.texture);
    // The photograph under the map is an intermediate, gone with the others.
    for (const auto& entry : fs::directory_iterator(folder_.Path()))
        EXPECT_EQ(entry.path().string().find("_tx_i.tga"), std::string::npos) << entry.path();
}

TEST_F(ImageryJobTest, TheBundledServicesDrawImageryForEveryKind)
{
    for (TextureKind kind : {TextureKind::Imagery, TextureKind::ImageryWithMap}) {
        JobResult made;
        ASSERT_EQ(Run(kind, 1200, made, true), 0) << ::testing::PrintToString(window_.Lines());
        TGAFile texture;
        ASSERT_EQ(texture.Open(made.texture), 0);
        EXPECT_EQ(texture.GetHeight(), 1200);
        // Land is mostly green and brown, never one colour.
        long greenish = 0;
        for (int y = 0; y < texture.GetHeight(); y += 7)
            for (int x = 0; x < texture.GetWidth(); x += 7) {
                uint8_t bgr[32] = {};
                texture.GetPixel(x, y, bgr);
                greenish += bgr[1] >= bgr[0] && bgr[2] < 240;
            }
        EXPECT_GT(greenish, texture.GetWidth() * texture.GetHeight() / 49 / 2);
        EXPECT_TRUE(Logged(window_, kImageryStandInPath));
    }
}

}  // namespace

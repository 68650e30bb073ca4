// Every file of a corpus written by giflib must convert to exactly the
// picture that giflib itself decodes from it.
#include "ConversionTestSupport.h"
#include "GifTestFiles.h"

#include "raster/GifToTga.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace conversiontest {
namespace {

GifImageLayout Image(int width, int height, int colors, int seed, bool interlaced = false, bool localMap = false)
{
    GifImageLayout image;
    image.width = width;
    image.height = height;
    image.interlaced = interlaced;
    image.pixels = TestPicture(width, height, colors, seed);
    if (localMap)
        image.localMap = TestPalette(colors, seed + 50);
    return image;
}

GifFileLayout Screen(int width, int height, int globalColors)
{
    GifFileLayout layout;
    layout.screenWidth = width;
    layout.screenHeight = height;
    if (globalColors > 0)
        layout.globalMap = TestPalette(globalColors, 7);
    return layout;
}

struct CorpusCase {
    const char* name;
    std::function<GifFileLayout()> make;
};

GifFileLayout Single(int width, int height, int colors, bool interlaced)
{
    GifFileLayout layout = Screen(width, height, colors);
    layout.images.push_back(Image(width, height, colors, 1, interlaced));
    return layout;
}

const CorpusCase kCorpus[] = {
    {"OnePixel", [] { return Single(1, 1, 2, false); }},
    {"OnePixelInterlaced", [] { return Single(1, 1, 2, true); }},
    {"ShortInterlacedHeights2", [] { return Single(9, 2, 4, true); }},
    {"ShortInterlacedHeights3", [] { return Single(7, 3, 4, true); }},
    {"ShortInterlacedHeights5", [] { return Single(6, 5, 8, true); }},
    {"Interlaced8Colors", [] { return Single(33, 29, 8, true); }},
    {"Wide2Colors", [] { return Single(1200, 13, 2, false); }},
    {"Code16ColorsWithExtensions",
     [] {
         GifFileLayout layout = Single(64, 40, 16, false);
         layout.comments = {"made for a test", "second comment"};
         layout.applicationExtension = true;
         return layout;
     }},
    {"LocalMapWinsOverGlobal",
     [] {
         GifFileLayout layout = Screen(100, 100, 4);
         layout.images.push_back(Image(100, 100, 32, 2, false, true));
         return layout;
     }},
    {"LocalMapOnly",
     [] {
         GifFileLayout layout = Screen(40, 30, 0);
         layout.images.push_back(Image(40, 30, 16, 3, true, true));
         return layout;
     }},
    {"FirstOfSeveralImages",
     [] {
         GifFileLayout layout = Screen(120, 90, 64);
         layout.images.push_back(Image(120, 90, 64, 4));
         layout.images.push_back(Image(60, 50, 16, 5, true, true));
         // giflib's encoder loses a local map that is followed by an image
         // without one, so the last image has its own.
         layout.images.push_back(Image(120, 90, 64, 6, false, true));
         return layout;
     }},
    {"SmallerAndOffsetImageDrawnTopLeft",
     [] {
         GifFileLayout layout = Screen(50, 40, 16);
         GifImageLayout image = Image(20, 10, 16, 7);
         image.left = 15;
         image.top = 12;
         layout.images.push_back(image);
         return layout;
     }},
    {"LargerImageClipped",
     [] {
         GifFileLayout layout = Screen(30, 20, 128);
         layout.images.push_back(Image(45, 33, 128, 8, true));
         return layout;
     }},
    {"Full256ColorsInterlaced", [] { return Single(300, 200, 256, true); }},
    {"Large256Colors", [] { return Single(2000, 2000, 256, false); }},
};

// giflib's DGifSlurp refuses images that stick out of the screen, so the
// expectation for those is built from the known picture instead.
void ExpectFromLayout(const GifFileLayout& layout, TGAFile& expected)
{
    expected.Create(layout.screenWidth, layout.screenHeight);
    const GifImageLayout& image = layout.images.front();
    const std::vector<GifColor>& map = image.localMap.empty() ? layout.globalMap : image.localMap;
    for (int y = 0; y < image.height; ++y)
        for (int x = 0; x < image.width; ++x) {
            const GifColor c = map[image.pixels[static_cast<size_t>(y) * image.width + x]];
            SetRgb(expected, x, layout.screenHeight - 1 - y, {c.red, c.green, c.blue});
        }
}

class GifCorpusTest : public testing::TestWithParam<CorpusCase> {};

TEST_P(GifCorpusTest, ConvertsLikeTheReferenceDecoder)
{
    ScratchFolder folder;
    const GifFileLayout layout = GetParam().make();
    const std::string gif = folder.Path("in.gif"), tga = folder.Path("out.tga");
    ASSERT_TRUE(WriteGifWithGiflib(gif, layout));

    TGAFile expected;
    const GifImageLayout& first = layout.images.front();
    if (first.width <= layout.screenWidth && first.height <= layout.screenHeight && first.left == 0 && first.top == 0)
        ASSERT_TRUE(ExpectedTgaFromGiflib(gif, expected));
    else
        ExpectFromLayout(layout, expected);

    RecordingWindow log;
    ASSERT_EQ(GifToTga(gif, tga, log), 0);
    EXPECT_EQ(log.Lines().back(), "GIF conversion successful: \"" + tga + "\" written.");
    for (const std::string& line : log.Lines())
        EXPECT_TRUE(line.rfind("Error", 0) != 0 && line.find("Bogus") == std::string::npos) << line;

    TGAFile actual;
    ASSERT_EQ(actual.Open(tga), 0);
    ASSERT_EQ(actual.GetWidth(), expected.GetWidth());
    ASSERT_EQ(actual.GetHeight(), expected.GetHeight());
    for (int y = 0; y < actual.GetHeight(); ++y)
        ASSERT_EQ(std::memcmp(actual.Row(y), expected.Row(y), 3 * static_cast<size_t>(actual.GetWidth())), 0)
            << "row " << y;
}

INSTANTIATE_TEST_SUITE_P(Giflib, GifCorpusTest, testing::ValuesIn(kCorpus),
                         [](const testing::TestParamInfo<CorpusCase>& info) { return std::string(info.param.name); });

TEST(GifCorpus, InterlacedAndPlainStorageGiveTheSamePicture)
{
    ScratchFolder folder;
    RecordingWindow log;
    for (bool interlaced : {false, true}) {
        GifFileLayout layout = Single(37, 23, 16, interlaced);
        const std::string name = interlaced ? "i" : "p";
        ASSERT_TRUE(WriteGifWithGiflib(folder.Path(name + ".gif"), layout));
        ASSERT_EQ(GifToTga(folder.Path(name + ".gif"), folder.Path(name + ".tga"), log), 0);
    }
    TGAFile plain, interlaced;
    ASSERT_EQ(plain.Open(folder.Path("p.tga")), 0);
    ASSERT_EQ(interlaced.Open(folder.Path("i.tga")), 0);
    for (int y = 0; y < plain.GetHeight(); ++y)
        EXPECT_EQ(std::memcmp(plain.Row(y), interlaced.Row(y), 3 * 37), 0) << "row " << y;
}

} // namespace
} // namespace conversiontest

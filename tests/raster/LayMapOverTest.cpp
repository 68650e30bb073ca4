#include "raster/AddTga.h"
#include "raster/CombineTga.h"
#include "raster/LayMapOver.h"
#include "raster/StretchTga.h"
#include "tests/raster/ConversionTestSupport.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

using namespace conversiontest;

// A map tile of white ground, a park and a town (lightened over what lies
// under them) and black roads, in a trapezoid like the map server's.
Rgb TilePixel(int x, int y)
{
    if ((x + 2 * y) % 17 == 0)
        return {0, 0, 0};
    if (x < 40 && y < 50)
        return {127, 255, 127};
    if (x > 80 && y > 60)
        return {255, 247, 159};
    if (x % 29 == 3)
        return {200, 40, 40};
    return {255, 255, 255};
}

Rgb UnderPixel(int x, int y)
{
    return {(x * 7) % 256, (y * 5) % 256, (x + y) % 256};
}

TEST(LayMapOver, GivesWhatStretchingPastingAndCombiningGiveAtEverySize)
{
    ScratchFolder folder;
    const CurrentFolder inFolder(folder.Folder());  // no legend: the default colours
    WriteImage(folder.Path("tile.tga"), 120, 125, TilePixel);
    // Corners like the texture stages' for a quad at 39 to 40 degrees north,
    // reaching a little past the tile so that its outside shows black.
    const StretchCorners corners{120 * (1 - std::cos(0.70)) / 2, 2.4, 120 * (1 + std::cos(0.70)) / 2, 2.4,
                                 -0.6, 126.0, 120.6, 126.0};
    for (const auto& [width, height] : {std::pair{93, 120}, std::pair{185, 240}, std::pair{61, 47}}) {
        RecordingWindow log;
        WriteImage(folder.Path("under.tga"), width, height, UnderPixel);
        ASSERT_EQ(StretchTga(folder.Path("tile.tga"), folder.Path("stretched.tga"), corners, width, height, log), 0);
        ASSERT_EQ(AddTga(folder.Path("stretched.tga"), folder.Path("map.tga"), 0, 0, width, height, log), 0);
        ASSERT_EQ(CombineTga(folder.Path("map.tga"), folder.Path("under.tga"), folder.Path("combined.tga"), log, false),
                  0);
        std::remove(folder.Path("map.tga").c_str());

        TGAFile under, combined;
        ASSERT_EQ(under.Open(folder.Path("under.tga")), 0);
        ASSERT_EQ(LayMapOver(folder.Path("tile.tga"), corners, under, log), 0);
        ASSERT_EQ(combined.Open(folder.Path("combined.tga")), 0);
        int differing = 0;
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                differing += !(PixelOf(under, x, y) == PixelOf(combined, x, y));
        EXPECT_EQ(differing, 0) << width << " x " << height;
    }
}

TEST(LayMapOver, ATileThatCannotBeReadOrCornersThatFixNothingFailWithALine)
{
    ScratchFolder folder;
    TGAFile image;
    ASSERT_EQ(image.Create(10, 10), 0);
    RecordingWindow log;
    EXPECT_EQ(LayMapOver(folder.Path("missing.tga"), {0, 0, 10, 0, 0, 10, 10, 10}, image, log), 1);
    EXPECT_EQ(log.Lines().back(), "Error in LayMapOver(): Could not open file \"" + folder.Path("missing.tga") + "\".");
    WriteImage(folder.Path("tile.tga"), 4, 4, UnderPixel);
    TGAFile empty;
    EXPECT_NE(LayMapOver(folder.Path("tile.tga"), {0, 0, 10, 0, 0, 10, 10, 10}, empty, log), 0);
}

}  // namespace

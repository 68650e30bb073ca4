#include "ConversionTestSupport.h"

#include "raster/AddTga.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

namespace conversiontest {
namespace {

const Rgb kWhite{255, 255, 255};

Rgb TileColor(int x, int y)
{
    return {x, y, 77};
}

TEST(AddTga, MissingTargetBecomesAWhiteCanvas)
{
    ScratchFolder folder;
    WriteImage(folder.Path("tile.tga"), 256, 256, TileColor);
    RecordingWindow log;
    ASSERT_EQ(AddTga(folder.Path("tile.tga"), folder.Path("t.tga"), 256, 0, 512, 512, log), 0);
    TGAFile target;
    ASSERT_EQ(target.Open(folder.Path("t.tga")), 0);
    ASSERT_EQ(target.GetWidth(), 512);
    ASSERT_EQ(target.GetHeight(), 512);
    for (int y = 0; y < 512; y += 17)
        for (int x = 0; x < 512; x += 13)
            ASSERT_EQ(PixelOf(target, x, y), x >= 256 && y < 256 ? TileColor(x - 256, y) : kWhite) << x << "," << y;
    EXPECT_EQ(PixelOf(target, 511, 255), TileColor(255, 255));
    EXPECT_EQ(log.Lines().back(), "Adding successful: \"" + folder.Path("t.tga") + "\" written.");
}

TEST(AddTga, ExistingTargetKeepsItsSizeAndLaterTilesWin)
{
    ScratchFolder folder;
    WriteImage(folder.Path("t.tga"), 30, 20, [](int, int) { return Rgb{1, 1, 1}; });
    WriteImage(folder.Path("a.tga"), 20, 20, TileColor);
    WriteImage(folder.Path("b.tga"), 20, 20, [](int, int) { return Rgb{9, 9, 9}; });
    RecordingWindow log;
    ASSERT_EQ(AddTga(folder.Path("a.tga"), folder.Path("t.tga"), -10, -10, 500, 500, log), 0);
    ASSERT_EQ(AddTga(folder.Path("b.tga"), folder.Path("t.tga"), 5, 5, 500, 500, log), 0);
    TGAFile target;
    ASSERT_EQ(target.Open(folder.Path("t.tga")), 0);
    EXPECT_EQ(target.GetWidth(), 30);
    EXPECT_EQ(PixelOf(target, 0, 0), TileColor(10, 10));  // the tile's bottom and left 10 dropped
    EXPECT_EQ(PixelOf(target, 4, 9), TileColor(14, 19));
    EXPECT_EQ(PixelOf(target, 5, 5), (Rgb{9, 9, 9}));
    EXPECT_EQ(PixelOf(target, 4, 10), (Rgb{1, 1, 1}));
    EXPECT_EQ(PixelOf(target, 29, 19), (Rgb{1, 1, 1}));
}

TEST(AddTga, TilesBeyondTheCanvasChangeNothingAtAnyOffset)
{
    ScratchFolder folder;
    WriteImage(folder.Path("tile.tga"), 20, 20, TileColor);
    const int offsets[][2] = {{30, 0}, {-20, 0}, {0, 20}, {0, -20}, {INT_MAX, 0}, {INT_MIN, 0}, {0, INT_MAX}, {0, INT_MIN}};
    for (const auto& offset : offsets) {
        RecordingWindow log;
        ASSERT_EQ(AddTga(folder.Path("tile.tga"), folder.Path("t.tga"), offset[0], offset[1], 30, 20, log), 0);
        TGAFile target;
        ASSERT_EQ(target.Open(folder.Path("t.tga")), 0);
        for (int y = 0; y < 20; ++y)
            for (int x = 0; x < 30; ++x)
                ASSERT_EQ(PixelOf(target, x, y), kWhite) << offset[0] << "," << offset[1];
        std::filesystem::remove(folder.Path("t.tga"));
    }
}

TEST(AddTga, FailuresLogTheirLine)
{
    ScratchFolder folder;
    WriteImage(folder.Path("tile.tga"), 2, 2, TileColor);
    struct Case {
        std::string tile, target;
        int width, code;
        std::string line;
    } cases[] = {
        {folder.Path("none.tga"), folder.Path("t.tga"), 4, 1,
         "Error in AddTga(): Could not open file \"" + folder.Path("none.tga") + "\"."},
        {folder.Path("tile.tga"), folder.Path("no/t.tga"), 4, 3,
         "Error in AddTga(): Could not write file \"" + folder.Path("no/t.tga") + "\"."},
        {folder.Path("tile.tga"), folder.Path("t.tga"), -1, 3,
         "Error in AddTga(): Could not create a -1 by 4 canvas for \"" + folder.Path("t.tga") + "\"."},
    };
    for (const Case& c : cases) {
        RecordingWindow log;
        EXPECT_EQ(AddTga(c.tile, c.target, 0, 0, c.width, 4, log), c.code);
        EXPECT_EQ(log.Lines().back(), c.line);
    }
    EXPECT_FALSE(std::filesystem::exists(folder.Path("t.tga")));
}

} // namespace
} // namespace conversiontest

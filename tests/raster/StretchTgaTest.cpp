#include "ConversionTestSupport.h"

#include "raster/SolveLinearSystem.h"
#include "raster/StretchTga.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

namespace conversiontest {
namespace {

// Source pixel (x, y) has a colour that names its position.
Rgb Marker(int x, int y)
{
    return {x % 256, y % 256, (x / 256) * 16 + y / 256};
}

StretchCorners SourceCorners(double w, double h)
{
    return {0, 0, w, 0, 0, h, w, h};
}

TEST(SolveLinearSystem, SolvesWithPivotingAndFlagsSingularSystems)
{
    // Needs a row swap: the first pivot is 0.
    double a[] = {0, 2, 1, 7,  //
                  1, 1, 1, 6,  //
                  2, 1, 0, 4};
    double x[3];
    EXPECT_FALSE(SolveLinearSystem(3, a, x));
    EXPECT_NEAR(x[0], 1.0, 1e-12);
    EXPECT_NEAR(x[1], 2.0, 1e-12);
    EXPECT_NEAR(x[2], 3.0, 1e-12);

    double singular[] = {1, 2, 3,  //
                         2, 4, 6};
    double y[2];
    EXPECT_TRUE(SolveLinearSystem(2, singular, y));
}

TEST(StretchTga, CornerMapsGiveNearestNeighbourScaling)
{
    struct Case {
        int sourceWidth, sourceHeight, width, height;
    } cases[] = {{40, 30, 40, 30}, {100, 4, 300, 4}, {300, 6, 100, 6}, {5, 90, 5, 30}};
    for (const Case& c : cases) {
        ScratchFolder folder;
        WriteImage(folder.Path("s.tga"), c.sourceWidth, c.sourceHeight, Marker);
        RecordingWindow log;
        ASSERT_EQ(StretchTga(folder.Path("s.tga"), folder.Path("t.tga"), SourceCorners(c.sourceWidth, c.sourceHeight),
                             c.width, c.height, log),
                  0);
        TGAFile target;
        ASSERT_EQ(target.Open(folder.Path("t.tga")), 0);
        ASSERT_EQ(target.GetWidth(), c.width);
        for (int i = 0; i < c.height; ++i) {
            for (int j = 0; j < c.width; ++j) {
                const int sx = static_cast<int>(static_cast<double>(j) * c.sourceWidth / c.width + 0.5);
                const int sy = static_cast<int>(static_cast<double>(i) * c.sourceHeight / c.height + 0.5);
                const Rgb expected = sx < c.sourceWidth && sy < c.sourceHeight ? Marker(sx, sy) : Rgb{0, 0, 0};
                ASSERT_EQ(PixelOf(target, j, i), expected) << c.sourceWidth << " to " << c.width << " at " << j << "," << i;
            }
        }
    }
}

TEST(StretchTga, EnlargingLeavesTheLastColumnBlackAndShrinkingPicksEveryThird)
{
    ScratchFolder folder;
    WriteImage(folder.Path("s.tga"), 100, 2, [](int, int) { return Rgb{9, 9, 9}; });
    RecordingWindow log;
    ASSERT_EQ(StretchTga(folder.Path("s.tga"), folder.Path("t.tga"), SourceCorners(100, 2), 300, 2, log), 0);
    TGAFile wide;
    ASSERT_EQ(wide.Open(folder.Path("t.tga")), 0);
    EXPECT_EQ(PixelOf(wide, 298, 0), (Rgb{9, 9, 9}));
    EXPECT_EQ(PixelOf(wide, 299, 0), (Rgb{0, 0, 0}));

    WriteImage(folder.Path("w.tga"), 300, 1, [](int x, int) { return Rgb{x % 256, x / 256, 0}; });
    ASSERT_EQ(StretchTga(folder.Path("w.tga"), folder.Path("n.tga"), SourceCorners(300, 1), 100, 1, log), 0);
    TGAFile narrow;
    ASSERT_EQ(narrow.Open(folder.Path("n.tga")), 0);
    for (int j = 0; j < 100; ++j)
        EXPECT_EQ(PixelOf(narrow, j, 0), (Rgb{(3 * j) % 256, (3 * j) / 256, 0}));
}

TEST(StretchTga, ControlPointsMoveTheWindow)
{
    // Target shows the source from column 10, row 5 (top-based) on, at the
    // same scale; beyond the source's right edge it is black.
    ScratchFolder folder;
    WriteImage(folder.Path("s.tga"), 20, 20, Marker);
    RecordingWindow log;
    ASSERT_EQ(StretchTga(folder.Path("s.tga"), folder.Path("t.tga"), {10, 5, 30, 5, 10, 25, 30, 25}, 20, 20, log), 0);
    TGAFile target;
    ASSERT_EQ(target.Open(folder.Path("t.tga")), 0);
    // Target top row (i = 19, Y = 1) reads source row 20 - (1 + 5) = 14 + 0.5.
    EXPECT_EQ(PixelOf(target, 0, 19), Marker(10, 14));
    EXPECT_EQ(PixelOf(target, 9, 19), Marker(19, 14));
    EXPECT_EQ(PixelOf(target, 10, 19), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelOf(target, 0, 0), (Rgb{0, 0, 0}));  // source row -5
}

TEST(StretchTga, FailuresLeaveNoFileAndLogTheirLine)
{
    ScratchFolder folder;
    WriteImage(folder.Path("s.tga"), 4, 4, Marker);
    struct Case {
        std::string source, target;
        int width, height, code;
        std::string line;
    } cases[] = {
        {folder.Path("s.tga"), folder.Path("t.tga"), 0, 4, 1, "Error in StretchTga(): Indefinite solution in x."},
        {folder.Path("s.tga"), folder.Path("t.tga"), 4, 0, 1, "Error in StretchTga(): Indefinite solution in x."},
        {folder.Path("none.tga"), folder.Path("t.tga"), 4, 4, 3,
         "Error in StretchTga(): Could not open TGA file \"" + folder.Path("none.tga") + "\"."},
        {folder.Path("s.tga"), folder.Path("t.tga"), 70000, 4, 4,
         "Error in StretchTga(): Could not initialize 70000 (w) by 4 (h) TGA file."},
        {folder.Path("s.tga"), folder.Path("no/t.tga"), 4, 4, 5,
         "Error in StretchTga(): Could not write TGA file \"" + folder.Path("no/t.tga") + "\"."},
    };
    for (const Case& c : cases) {
        RecordingWindow log;
        EXPECT_EQ(StretchTga(c.source, c.target, SourceCorners(4, 4), c.width, c.height, log), c.code) << c.line;
        EXPECT_EQ(log.Lines().back(), c.line);
        EXPECT_FALSE(std::filesystem::exists(folder.Path("t.tga")));
    }
}

TEST(StretchTga, FarOffControlPointsGiveBlack)
{
    ScratchFolder folder;
    WriteImage(folder.Path("s.tga"), 4, 4, Marker);
    RecordingWindow log;
    ASSERT_EQ(StretchTga(folder.Path("s.tga"), folder.Path("t.tga"), {1e300, 0, -1e300, 0, 0, 1e12, 0, -1e12}, 3, 3,
                         log),
              0);
    TGAFile target;
    ASSERT_EQ(target.Open(folder.Path("t.tga")), 0);
    EXPECT_EQ(PixelOf(target, 1, 1), (Rgb{0, 0, 0}));
}

} // namespace
} // namespace conversiontest

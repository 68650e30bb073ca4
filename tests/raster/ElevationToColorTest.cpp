#include "ConversionTestSupport.h"

#include "raster/ElevationColorTable.h"
#include "raster/ElevationToColor.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace conversiontest {
namespace {

Rgb Entry(int i)
{
    return {elevationColorTable[i][0], elevationColorTable[i][1], elevationColorTable[i][2]};
}

TEST(ElevationColorTable, HoldsTheKeyColorsAndChangesSmoothly)
{
    const std::pair<int, Rgb> keys[] = {
        {0, {201, 215, 133}},    {1, {200, 215, 133}},    {2, {196, 212, 135}},   {3, {191, 208, 138}},
        {4, {184, 205, 140}},    {50, {178, 206, 176}},   {250, {108, 189, 81}},  {650, {250, 192, 0}},
        {1000, {240, 218, 160}}, {1400, {219, 255, 253}}, {1750, {73, 208, 239}}, {1850, {0, 164, 241}},
        {1950, {0, 106, 248}},   {1999, {0, 80, 250}},
    };
    for (const auto& [index, color] : keys)
        EXPECT_EQ(Entry(index), color) << index;
    for (int i = 1; i < kElevationColorCount; ++i)
        for (int c = 0; c < 3; ++c)
            ASSERT_LE(std::abs(elevationColorTable[i][c] - elevationColorTable[i - 1][c]), 7) << i;
}

TEST(ElevationToColor, PaintsEachHeightWithItsEntry)
{
    const std::pair<int, int> cases[] = {
        {-9999, 0}, {-1, 0}, {0, 0}, {3, 0}, {4, 1}, {401, 100}, {7999, 1999}, {8000, 1999}, {8388607, 1999},
    };
    ScratchFolder folder;
    const int count = static_cast<int>(std::size(cases));
    WriteHeights(folder.Path("h.tga"), count, 2, [&](int x, int) { return cases[x].first; });
    RecordingWindow log;
    ASSERT_EQ(ElevationToColor(folder.Path("h.tga"), folder.Path("c.tga"), log), 0);
    TGAFile colors;
    ASSERT_EQ(colors.Open(folder.Path("c.tga")), 0);
    ASSERT_EQ(colors.GetWidth(), count);
    ASSERT_EQ(colors.GetHeight(), 2);
    for (int x = 0; x < count; ++x)
        for (int y = 0; y < 2; ++y)
            EXPECT_EQ(PixelOf(colors, x, y), Entry(cases[x].second)) << "height " << cases[x].first;
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "Converting elevation \"" + folder.Path("h.tga") + "\" to color \"" +
                                   folder.Path("c.tga") + "\".",
                               "Color conversion successful: \"" + folder.Path("c.tga") + "\" written."}));
}

TEST(ElevationToColor, ReportsUnreadableInputAndUnwritableOutput)
{
    ScratchFolder folder;
    RecordingWindow log;
    EXPECT_EQ(ElevationToColor(folder.Path("none.tga"), folder.Path("c.tga"), log), 2);
    EXPECT_EQ(log.Lines().back(), "Error in ElevationToColor(): Could not read \"" + folder.Path("none.tga") + "\".");
    EXPECT_FALSE(std::filesystem::exists(folder.Path("c.tga")));

    WriteHeights(folder.Path("h.tga"), 2, 2, [](int, int) { return 10; });
    EXPECT_EQ(ElevationToColor(folder.Path("h.tga"), folder.Path("no/c.tga"), log), 1);
    EXPECT_EQ(log.Lines().back(), "Error in ElevationToColor(): Could not write \"" + folder.Path("no/c.tga") + "\".");
}

} // namespace
} // namespace conversiontest

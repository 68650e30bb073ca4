#include "export/ResultPreview.h"
#include "tests/export/ExportTestSupport.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace exporttest;

namespace {

TEST(ResultPreview, RangeAndVoidsAreOfTheWholeMapWhileThePicturesAreReduced)
{
    TempDir folder;
    const std::string heightMap = folder.File("X_el.tga");
    // 1000 × 700 posts rising eastwards; one single void, and a void corner.
    WriteHeightMap(heightMap, 1000, 700, [](int column, int row) {
        if (column == 501 && row == 350)
            return 0;
        if (column < 20 && row < 20)
            return 0;
        return 100 + column;
    });
    ResultPreview preview;
    std::string error;
    ASSERT_TRUE(MakeResultPreview(heightMap, "", Quad{-99, -98.5, 40, 39.65}, 200, preview, error)) << error;
    EXPECT_EQ(preview.columns, 1000);
    EXPECT_EQ(preview.rows, 700);
    EXPECT_EQ(preview.range.minimum, 100);
    EXPECT_EQ(preview.range.maximum, 1099);
    EXPECT_EQ(preview.range.voids, 401);
    EXPECT_EQ(preview.range.heights, 700000 - 401);
    EXPECT_TRUE(preview.texture.isNull());
    // Reduced by 5: a block with a void stays void, so even one void shows.
    ASSERT_EQ(preview.relief.size(), QSize(200, 140));
    EXPECT_EQ(preview.relief.pixel(100, 70), kVoidColour);
    EXPECT_EQ(preview.relief.pixel(0, 0), kVoidColour);
    EXPECT_NE(preview.relief.pixel(150, 100), kVoidColour);
}

TEST(ResultPreview, ReliefIsLitFromTheNorthWest)
{
    // A ridge running north-south: its west face is lit, its east face in shade.
    HeightSamples ridge;
    ridge.columns = 21;
    ridge.rows = 5;
    for (int row = 0; row < ridge.rows; ++row)
        for (int column = 0; column < ridge.columns; ++column)
            ridge.values.push_back(1000 - 40 * std::abs(column - 10));
    const QImage relief = ShadedRelief(ridge, 30, 30, HeightRange{600, 1000, 105, 0});
    EXPECT_GT(qGray(relief.pixel(5, 2)), qGray(relief.pixel(15, 2)) + 40);
}

} // namespace

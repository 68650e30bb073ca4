#include "core/JobFields.h"
#include "core/QuadGeometry.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

TEST(JobFields, StartsWithTheDefaultQuadAndSettings)
{
    unsetenv("tfcScanner");
    JobFields job;
    EXPECT_EQ(job.quadLeft, -99.0);
    EXPECT_EQ(job.quadRight, -98.0);
    EXPECT_EQ(job.quadTop, 40.0);
    EXPECT_EQ(job.quadBottom, 39.0);
    EXPECT_EQ(job.quadSize, 1.0);
    EXPECT_FALSE(job.substituteZ0);
    EXPECT_FALSE(job.alignQuadToGrid);
    EXPECT_TRUE(job.removeIntermediateFiles);
    EXPECT_EQ(job.lineThickness, 1);
    EXPECT_EQ(job.zScale, 0.02);
    EXPECT_EQ(job.httpTimeout, 120);
    EXPECT_EQ(job.namesFromCoordinates, 0);
    EXPECT_TRUE(job.waypoints.empty());
    EXPECT_TRUE(job.waypointFile.empty());
}

TEST(JobFields, ScannerModeIsAskedForWithYesInAnyCase)
{
    for (const char* value : {"yes", "YES", "Yes"}) {
        setenv("tfcScanner", value, 1);
        JobFields job;
        EXPECT_EQ(job.quadSize, 0.25) << value;
        EXPECT_TRUE(job.alignQuadToGrid) << value;
        EXPECT_EQ(job.namesFromCoordinates, 1) << value;
    }
    for (const char* value : {"no", "", "yes ", "1"}) {
        setenv("tfcScanner", value, 1);
        JobFields job;
        EXPECT_EQ(job.quadSize, 1.0) << '"' << value << '"';
    }
    unsetenv("tfcScanner");
}

TEST(JobFields, EdgesFollowTheQuadSize)
{
    JobFields job;
    job.quadSize = 0.25;
    job.SetWestEdge(-99);
    job.SetNorthEdge(40);
    EXPECT_EQ(job.quadRight, -98.75);
    EXPECT_EQ(job.quadBottom, 39.75);
    job.SetWestEdge(0);
    EXPECT_EQ(job.quadRight, 0.25);
}

TEST(QuadGeometry, TextureWidthKeepsDegreesSquareAtTheMidLatitude)
{
    EXPECT_EQ(TextureWidth(40, 39), 926);
    EXPECT_EQ(TextureWidth(45.5, 44.5), 849);
    EXPECT_EQ(TextureWidth(0.5, -0.5), 1200);
    EXPECT_EQ(kMapImageHeight, 1248);
}

TEST(QuadGeometry, QuadFromPointAlignedOrCentred)
{
    const struct {
        double lon, lat, size;
        bool align;
        Quad expected;
    } cases[] = {
        {-98.5, 39.5, 1.0, true, {-99, -98, 40, 39}},
        {-98.0, 40.0, 1.0, true, {-99, -98, 40, 39}},
        {-121.3, 38.6, 0.5, true, {-121.5, -121, 39, 38.5}},
        {-121.5, 38.5, 1.0, false, {-122, -121, 39, 38}},
        {10.0, -5.0, 0.25, false, {9.875, 10.125, -4.875, -5.125}},
    };
    for (const auto& c : cases) {
        const Quad quad = QuadFromPoint(c.lon, c.lat, c.size, c.align);
        EXPECT_DOUBLE_EQ(quad.left, c.expected.left) << c.lon << " " << c.lat;
        EXPECT_DOUBLE_EQ(quad.right, c.expected.right) << c.lon << " " << c.lat;
        EXPECT_DOUBLE_EQ(quad.top, c.expected.top) << c.lon << " " << c.lat;
        EXPECT_DOUBLE_EQ(quad.bottom, c.expected.bottom) << c.lon << " " << c.lat;
    }
    EXPECT_EQ(QuadLogLine({-99, -98, 40, 39}), "  quad: -99.000000, -98.000000, 40.000000, 39.000000");
}

} // namespace

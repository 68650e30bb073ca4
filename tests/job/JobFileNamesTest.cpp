#include "job/JobFileNames.h"

#include <gtest/gtest.h>

namespace {

TEST(JobFileNames, SplitsAPathIntoFolderBaseAndExtension)
{
    const PathParts parts = SplitPath("/home/pat/terrain/83412.zip");
    EXPECT_EQ(parts.drive, "");
    EXPECT_EQ(parts.folder, "/home/pat/terrain/");
    EXPECT_EQ(parts.base, "83412");
    EXPECT_EQ(parts.extension, ".zip");
    EXPECT_EQ(SplitPath("/a.b/c").base, "c");
    EXPECT_EQ(SplitPath("/a.b/c").extension, "");
}

TEST(JobFileNames, NamesEveryFileAfterTheArchive)
{
    const JobFileNames names("/data/83412.zip");
    EXPECT_EQ(names.ExtractionFolder(), "/data/83412");
    EXPECT_EQ(names.BilRaster(), "/data/83412/83412.bil");
    EXPECT_EQ(names.BilHeader(), "/data/83412/83412.hdr");
    EXPECT_EQ(names.BilStatistics(), "/data/83412/83412.stx");
    EXPECT_EQ(names.TileGif(), "/data/83412_tx_00.gif");
    EXPECT_EQ(names.TileTga(), "/data/83412_tx_00.tga");
    EXPECT_EQ(names.TileReprojected(), "/data/83412_tx_r_00.tga");
    EXPECT_EQ(names.MapTexture(), "/data/83412_tx_r.tga");
    EXPECT_EQ(names.ElevationColoring(), "/data/83412_el_c.tga");
    EXPECT_EQ(names.Result(ResultFile::WaypointTexture, false, 40, -99), "/data/83412_tx_cw.tga");
    EXPECT_EQ(names.FramePattern(1), "/data/83412_output_1_%04d.tga");
    EXPECT_EQ(names.FramePattern(2), "/data/83412_output_2_%04d.tga");
    EXPECT_EQ(names.Result(ResultFile::HeightMap, false, 40, -99), "/data/83412_el.tga");
    EXPECT_EQ(names.Result(ResultFile::CombinedTexture, false, 40, -99), "/data/83412_tx_c.tga");
    EXPECT_EQ(names.Result(ResultFile::FirstParameterFile, false, 40, -99), "/data/83412_1.alp");
    EXPECT_EQ(names.Result(ResultFile::SecondParameterFile, false, 40, -99), "/data/83412_2.alp");
}

TEST(JobFileNames, CoordinateNamesCarryHemispheresAndPadding)
{
    const JobFileNames names("/data/83412.zip");
    const struct {
        double top, left;
        ResultFile file;
        const char* expected;
    } cases[] = {
        {40, -99, ResultFile::HeightMap, "/data/40.000000N99.000000W_el.tga"},
        {-33.5, -70.25, ResultFile::CombinedTexture, "/data/33.500000S70.250000W_tx_c.tga"},
        {51.5, 0.5, ResultFile::FirstParameterFile, "/data/51.500000N00.500000E_1.alp"},
        {-5, 5.5, ResultFile::SecondParameterFile, "/data/5.000000S05.500000E_2.alp"},
        {0, 0, ResultFile::HeightMap, "/data/0.000000N00.000000W_el.tga"},
        {-0.5, -120, ResultFile::HeightMap, "/data/0.500000S120.000000W_el.tga"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(names.Result(c.file, true, c.top, c.left), c.expected);
}

} // namespace

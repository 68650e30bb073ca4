#include "export/ExportFileNames.h"
#include "export/ExportFormat.h"
#include "export/HeightMapPlacement.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>

namespace {

TEST(ExportFormats, ListsAreReadInOrderOnceEachAndUnknownNamesRefused)
{
    std::vector<ExportFormat> formats;
    std::string error;
    ASSERT_TRUE(ParseExportFormats("png16,geotiff,r16,png", formats, error));
    EXPECT_EQ(formats, (std::vector<ExportFormat>{ExportFormat::Png16, ExportFormat::GeoTiff, ExportFormat::Raw16,
                                                  ExportFormat::TexturePng}));
    ASSERT_TRUE(ParseExportFormats("png,png", formats, error));
    EXPECT_EQ(formats, (std::vector<ExportFormat>{ExportFormat::TexturePng}));
    for (const char* bad : {"", "tiff", "png16,", "png16,,r16", "PNG"}) {
        EXPECT_FALSE(ParseExportFormats(bad, formats, error)) << bad;
        EXPECT_FALSE(error.empty());
    }
}

TEST(ExportFileNames, TheTextureWithTheRouteWinsUnlessItIsOlder)
{
    TempDir folder;
    const std::string heightMap = folder.File("X_el.tga");
    EXPECT_EQ(TextureBesideHeightMap(heightMap), "");
    WriteFileBytes(folder.File("X_tx_c.tga"), "c");
    EXPECT_EQ(TextureBesideHeightMap(heightMap), folder.File("X_tx_c.tga"));
    WriteFileBytes(folder.File("X_tx_cw.tga"), "cw");
    EXPECT_EQ(TextureBesideHeightMap(heightMap), folder.File("X_tx_cw.tga"));
    std::filesystem::last_write_time(folder.File("X_tx_cw.tga"),
                                     std::filesystem::last_write_time(folder.File("X_tx_c.tga")) - std::chrono::hours(1));
    EXPECT_EQ(TextureBesideHeightMap(heightMap), folder.File("X_tx_c.tga"));
}

TEST(HeightMapPlacement, CoordinateNamesGiveTheQuadInEveryHemisphere)
{
    struct Case {
        const char* name;
        double left, top;
    } cases[] = {{"/a/40.000000N99.000000W_el.tga", -99, 40},
                 {"0.500000S05.500000W_el.tga", -5.5, -0.5},
                 {"5.000000N120.250000E_el.tga", 120.25, 5},
                 {"33.000000S151.000000E_el.tga", 151, -33}};
    for (const Case& c : cases) {
        const std::optional<Quad> quad = QuadFromCoordinateName(c.name, 0.25);
        ASSERT_TRUE(quad) << c.name;
        EXPECT_DOUBLE_EQ(quad->left, c.left) << c.name;
        EXPECT_DOUBLE_EQ(quad->top, c.top) << c.name;
        EXPECT_DOUBLE_EQ(quad->right, c.left + 0.25) << c.name;
        EXPECT_DOUBLE_EQ(quad->bottom, c.top - 0.25) << c.name;
    }
    EXPECT_FALSE(QuadFromCoordinateName("job_el.tga", 1));
    EXPECT_FALSE(QuadFromCoordinateName("40.000000N99.000000W_tx_c.tga", 1));
}

} // namespace

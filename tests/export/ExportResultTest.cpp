#include "core/LogSink.h"
#include "export/ExportFileNames.h"
#include "export/ExportResult.h"
#include "export/HeightMapPlacement.h"
#include "tests/export/ExportTestSupport.h"
#include "tests/support/TempDir.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

using namespace exporttest;

namespace {

class LineRecorder : public LogSink {
public:
    void AddToLog(const std::string& line) override { lines.push_back(line); }
    std::vector<std::string> lines;
};

// A 0.1° quad at 99°W 40°N with posts one arc-second apart: 360 × 360.
constexpr int kPosts = 360;
const Quad kQuad{-99.0, -98.9, 40.0, 39.9};
constexpr double kSecond = 1.0 / 3600.0;

// Heights from below sea level to a summit, with a few voids.
int Height(int column, int row)
{
    if ((column * 7 + row * 3) % 101 == 0)
        return 0;
    const int value = -40 + column * 3 + row * 5 + (column * row) % 17;
    return value == 0 ? 1 : value;
}

std::vector<int32_t> ReadBand(GDALDatasetH dataset, int band, int columns, int rows)
{
    std::vector<int32_t> values(static_cast<size_t>(columns) * rows);
    EXPECT_EQ(GDALRasterIO(GDALGetRasterBand(dataset, band), GF_Read, 0, 0, columns, rows, values.data(), columns,
                           rows, GDT_Int32, 0, 0),
              CE_None);
    return values;
}

QJsonObject ReadJson(const std::string& path)
{
    return QJsonDocument::fromJson(QByteArray::fromStdString(ReadFileBytes(path))).object();
}

class ExportResultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        heightMap_ = folder_.File("40.000000N99.000000W_el.tga");
        texture_ = folder_.File("40.000000N99.000000W_tx_c.tga");
        WriteHeightMap(heightMap_, kPosts, kPosts, Height);
        TGAFile texture;
        texture.Create(4, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 4; ++x) {
                const uint8_t bgr[3] = {static_cast<uint8_t>(x * 60), static_cast<uint8_t>(y * 100), 200};
                texture.SetPixel(x, y, bgr);
            }
        texture.Write(texture_);
    }

    int Export(std::vector<ExportFormat> formats, std::optional<Quad> quad = kQuad)
    {
        return ExportResult(ExportRequest{heightMap_, texture_, quad, std::move(formats)}, log_);
    }

    std::vector<std::string> FolderNames() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder_.Path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    TempDir folder_;
    std::string heightMap_;
    std::string texture_;
    LineRecorder log_;
};

TEST_F(ExportResultTest, AllFormatsAreWrittenBesideTheHeightMapNamedAfterIt)
{
    ASSERT_EQ(Export({kAllExportFormats, kAllExportFormats + 4}), 0);
    EXPECT_EQ(FolderNames(), (std::vector<std::string>{
                                 "40.000000N99.000000W_el.json", "40.000000N99.000000W_el.png",
                                 "40.000000N99.000000W_el.r16", "40.000000N99.000000W_el.tga",
                                 "40.000000N99.000000W_el.tif", "40.000000N99.000000W_tx.png",
                                 "40.000000N99.000000W_tx_c.tga"}));
    ASSERT_EQ(log_.lines.size(), 5u);
    EXPECT_EQ(log_.lines[0], "Export written: \"" + folder_.File("40.000000N99.000000W_el.png") + "\".");
}

TEST_F(ExportResultTest, GeoTiffPutsEveryPostWhereTheHeightMapHasIt)
{
    ASSERT_EQ(Export({ExportFormat::GeoTiff}), 0);
    Dataset tiff = OpenWithGdal(ExportNamesFor(heightMap_).geoTiff);
    ASSERT_TRUE(tiff);
    ASSERT_EQ(GDALGetRasterXSize(tiff.get()), kPosts);
    ASSERT_EQ(GDALGetRasterYSize(tiff.get()), kPosts);
    GDALRasterBandH band = GDALGetRasterBand(tiff.get(), 1);
    EXPECT_EQ(GDALGetRasterDataType(band), GDT_Int16);
    int hasNoData = 0;
    EXPECT_EQ(GDALGetRasterNoDataValue(band, &hasNoData), 0.0);
    EXPECT_TRUE(hasNoData);
    EXPECT_STREQ(GDALGetMetadataItem(tiff.get(), GDALMD_AREA_OR_POINT, nullptr), GDALMD_AOP_POINT);
    OGRSpatialReferenceH reference = GDALGetSpatialRef(tiff.get());
    ASSERT_NE(reference, nullptr);
    EXPECT_STREQ(OSRGetAuthorityCode(reference, nullptr), "4326");

    // Pixel centres are the posts: the first one on the west edge one post
    // south of the north edge, the last one on the south-east corner less a
    // post; one arc-second apart.
    double transform[6] = {};
    ASSERT_EQ(GDALGetGeoTransform(tiff.get(), transform), CE_None);
    EXPECT_NEAR(transform[1], kSecond, 1e-12);
    EXPECT_NEAR(transform[5], -kSecond, 1e-12);
    EXPECT_NEAR(transform[0] + 0.5 * transform[1], kQuad.left, 1e-9);
    EXPECT_NEAR(transform[3] + 0.5 * transform[5], kQuad.top - kSecond, 1e-9);
    EXPECT_NEAR(transform[0] + (kPosts - 0.5) * transform[1], kQuad.right - kSecond, 1e-9);
    EXPECT_NEAR(transform[3] + (kPosts - 0.5) * transform[5], kQuad.bottom, 1e-9);

    const std::vector<int32_t> values = ReadBand(tiff.get(), 1, kPosts, kPosts);
    int differences = 0;
    for (int row = 0; row < kPosts; ++row)
        for (int column = 0; column < kPosts; ++column)
            differences += values[static_cast<size_t>(row) * kPosts + column] != Height(column, row);
    EXPECT_EQ(differences, 0);
}

TEST_F(ExportResultTest, SixteenBitGreysTurnBackIntoTheHeightsThroughTheSidecar)
{
    ASSERT_EQ(Export({ExportFormat::Png16, ExportFormat::Raw16}), 0);
    const ExportFileNames names = ExportNamesFor(heightMap_);
    const QJsonObject sidecar = ReadJson(names.sidecar);
    const double offset = sidecar["metresFromGrey"].toObject()["offset"].toDouble();
    const double scale = sidecar["metresFromGrey"].toObject()["scale"].toDouble();
    const int voidGrey = sidecar["voidGrey"].toInt(-1);
    EXPECT_EQ(sidecar["quad"].toObject(), (QJsonObject{{"west", -99.0}, {"east", -98.9}, {"north", 40.0}, {"south", 39.9}}));
    EXPECT_NEAR(sidecar["postSpacingDegrees"].toObject()["longitude"].toDouble(), kSecond, 1e-12);
    EXPECT_NEAR(sidecar["postSpacingDegrees"].toObject()["latitude"].toDouble(), kSecond, 1e-12);
    EXPECT_NEAR(sidecar["firstPost"].toObject()["latitude"].toDouble(), 40.0 - kSecond, 1e-12);

    Dataset png = OpenWithGdal(names.png16);
    ASSERT_TRUE(png);
    EXPECT_EQ(GDALGetRasterDataType(GDALGetRasterBand(png.get(), 1)), GDT_UInt16);
    const std::vector<int32_t> greys = ReadBand(png.get(), 1, kPosts, kPosts);
    const std::string raw = ReadFileBytes(names.raw16);
    ASSERT_EQ(raw.size(), greys.size() * 2);
    int wrong = 0, rawDiffers = 0;
    int32_t lowest = 65535, highest = 0;
    for (int row = 0; row < kPosts; ++row) {
        for (int column = 0; column < kPosts; ++column) {
            const size_t i = static_cast<size_t>(row) * kPosts + column;
            const int32_t grey = greys[i];
            const int height = Height(column, row);
            if (height == 0) {
                wrong += grey != voidGrey;
            } else {
                wrong += std::lround(offset + scale * grey) != height;
                lowest = std::min(lowest, grey);
                highest = std::max(highest, grey);
            }
            rawDiffers += (static_cast<unsigned char>(raw[2 * i]) | static_cast<unsigned char>(raw[2 * i + 1]) << 8) != grey;
        }
    }
    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(rawDiffers, 0);
    // The heights use the whole 16-bit range, above the void grey.
    EXPECT_EQ(lowest, 1);
    EXPECT_EQ(highest, 65535);
}

TEST_F(ExportResultTest, TexturePngShowsTheTextureTheRightWayUp)
{
    ASSERT_EQ(Export({ExportFormat::TexturePng}), 0);
    Dataset png = OpenWithGdal(ExportNamesFor(heightMap_).texturePng);
    ASSERT_TRUE(png);
    ASSERT_EQ(GDALGetRasterCount(png.get()), 3);
    const std::vector<int32_t> red = ReadBand(png.get(), 1, 4, 3);
    const std::vector<int32_t> green = ReadBand(png.get(), 2, 4, 3);
    const std::vector<int32_t> blue = ReadBand(png.get(), 3, 4, 3);
    // PNG row 0 is the TGA's top row (y = 2).
    EXPECT_EQ(red[0], 200);
    EXPECT_EQ(green[0], 200);
    EXPECT_EQ(blue[3], 180);
    EXPECT_EQ(green[8], 0);
}

TEST_F(ExportResultTest, FailuresAreALineEachLeaveNoPartialFileAndDoNotStopTheOthers)
{
    // A folder in the way of the GeoTIFF's final name.
    std::filesystem::create_directory(ExportNamesFor(heightMap_).geoTiff);
    EXPECT_EQ(Export({ExportFormat::GeoTiff, ExportFormat::Png16}), 1);
    const std::string tiff = ExportNamesFor(heightMap_).geoTiff;
    EXPECT_NE(std::find(log_.lines.begin(), log_.lines.end(),
                        "Export written: \"" + ExportNamesFor(heightMap_).png16 + "\"."),
              log_.lines.end());
    ASSERT_EQ(log_.lines.back().rfind("Error in ExportResult(): Could not write \"" + tiff + "\": ", 0), 0u)
        << log_.lines.back();
    for (const std::string& name : FolderNames())
        EXPECT_EQ(name.find(".partial"), std::string::npos) << name;
}

TEST_F(ExportResultTest, WhatCannotBeExportedIsRefusedWithAReason)
{
    // Without the quad nothing can be placed.
    EXPECT_EQ(Export({ExportFormat::GeoTiff}, std::nullopt), 1);
    EXPECT_NE(log_.lines.back().find("the quad of the height map is not known"), std::string::npos);

    // A height beyond 16 bits does not fit a 16-bit GeoTIFF; it is refused
    // rather than cut.
    WriteHeightMap(heightMap_, 3, 2, [](int column, int) { return column == 1 ? 40000 : 12; });
    log_.lines.clear();
    EXPECT_EQ(Export({ExportFormat::GeoTiff}), 1);
    ASSERT_EQ(log_.lines.size(), 1u);
    EXPECT_NE(log_.lines[0].find("the height 40000 m does not fit a 16-bit GeoTIFF"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(ExportNamesFor(heightMap_).geoTiff));

    log_.lines.clear();
    std::filesystem::remove(heightMap_);
    EXPECT_EQ(Export({ExportFormat::Png16}), 1);
    EXPECT_EQ(log_.lines, (std::vector<std::string>{"Error in ExportResult(): cannot read the height map \"" +
                                                    heightMap_ + "\"."}));
}

TEST_F(ExportResultTest, AnExportedHeightMapFindsItsQuadAgainThroughTheSidecar)
{
    const std::string renamed = folder_.File("job_el.tga");
    std::filesystem::copy_file(heightMap_, renamed);
    heightMap_ = renamed;
    EXPECT_FALSE(FindQuadOfHeightMap(renamed, kPosts));
    ASSERT_EQ(Export({ExportFormat::Png16}), 0);
    const std::optional<Quad> quad = FindQuadOfHeightMap(renamed, kPosts);
    ASSERT_TRUE(quad);
    EXPECT_EQ(quad->left, kQuad.left);
    EXPECT_EQ(quad->bottom, kQuad.bottom);
}

} // namespace

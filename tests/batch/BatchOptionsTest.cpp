#include "batch/BatchOptions.h"

#include <gtest/gtest.h>

namespace {

bool Parse(std::vector<std::string> arguments, BatchOptions& options, std::string& error)
{
    return ParseBatchOptions(arguments, options, error);
}

TEST(BatchOptions, TakesEveryOption)
{
    BatchOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--west", "-105.5", "--north", "40", "--size", "0.25", "--substitute-z0", "--align-to-grid",
                       "--keep-intermediates", "--names-from-coordinates", "--waypoints", "route.txt",
                       "--line-thickness", "16", "--z-scale", "0.05", "--timeout", "300", "--scan", "3"},
                      options, error))
        << error;
    EXPECT_EQ(options.west, -105.5);
    EXPECT_EQ(options.north, 40);
    EXPECT_EQ(options.size, 0.25);
    EXPECT_TRUE(options.substituteZ0 && options.alignToGrid && options.keepIntermediates);
    EXPECT_TRUE(options.namesFromCoordinates);
    EXPECT_EQ(options.waypointFile, "route.txt");
    EXPECT_EQ(options.lineThickness, 16);
    EXPECT_EQ(options.zScale, 0.05);
    EXPECT_EQ(options.timeout, 300);
    EXPECT_EQ(options.scanQuads, 3);
    EXPECT_TRUE(options.exports.empty());
    ASSERT_TRUE(Parse({"--export", "geotiff,png"}, options, error)) << error;
    EXPECT_EQ(options.exports, (std::vector<ExportFormat>{ExportFormat::GeoTiff, ExportFormat::TexturePng}));
    EXPECT_TRUE(options.liveSettings.empty());
    ASSERT_TRUE(Parse({"--dem2-url", "none"}, options, error)) << error;
    EXPECT_EQ(options.liveSettings, (std::vector<std::pair<std::string, std::string>>{{"--dem2-url", "none"}}));
    ASSERT_TRUE(Parse({"--texture", "imagery+map", "--texture-height", "9600"}, options, error)) << error;
    EXPECT_EQ(options.textureKind, TextureKind::ImageryWithMap);
    EXPECT_EQ(options.textureHeight, 9600);
}

TEST(BatchOptions, TakesTheLiveSourcesUrlsInOrderAndTheSourceCheck)
{
    BatchOptions options;
    std::string error;
    ASSERT_TRUE(Parse({"--dem-url", "http://a/skadi", "--check-sources", "--wms-url", "http://b/wms",
                       "--wms-boundaries-url", "http://c/wms", "--geocoder-url", "http://d/g", "--dem-url",
                       "http://e/skadi"},
                      options, error))
        << error;
    EXPECT_TRUE(options.checkSources);
    const std::vector<std::pair<std::string, std::string>> expected{
        {"--dem-url", "http://a/skadi"}, {"--wms-url", "http://b/wms"}, {"--wms-boundaries-url", "http://c/wms"},
        {"--geocoder-url", "http://d/g"}, {"--dem-url", "http://e/skadi"}};
    EXPECT_EQ(options.liveSettings, expected) << "the last of a repeated option wins when applied in order";

    EXPECT_FALSE(Parse({"--dem-url"}, options, error));
    EXPECT_NE(error.find("--dem-url needs a URL"), std::string::npos) << error;
    EXPECT_FALSE(Parse({"--wms-url", ""}, options, error));
    EXPECT_FALSE(Parse({"--cache", "/tmp/x"}, options, error)) << "the batch runner's cache follows XDG_CACHE_HOME";
}

TEST(BatchOptions, RefusesValuesTheSettingsWouldRefuse)
{
    const std::vector<std::vector<std::string>> bad = {
        {"--west"},           {"--west", "abc"},          {"--north", "95"},        {"--size", "0.3"},
        {"--timeout", "0"},   {"--timeout", "301"},       {"--timeout", "2.5"},     {"--line-thickness", "3"},
        {"--scan", "0"},      {"--z-scale", "1x"},        {"--frobnicate"},         {"--west", "nan"},
        {"--export", "tif"},  {"--export", ""},           {"--dem2-url", ""},       {"--dem2-url"},
        {"--texture", "photo"}, {"--texture", ""},        {"--texture-height", "3600"}, {"--texture-height", "1200.5"},
    };
    for (const auto& arguments : bad) {
        BatchOptions options;
        std::string error;
        EXPECT_FALSE(Parse(arguments, options, error)) << arguments[0];
        EXPECT_FALSE(error.empty()) << arguments[0];
    }
}

} // namespace

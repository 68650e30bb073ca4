#include "gateway/MapResampler.h"
#include "mapdraw/PaletteReduction.h"

#include <gtest/gtest.h>

#include <cmath>
#include <set>
#include <tuple>

namespace {

TEST(MapResamplerTest, OnePixelLinesOfAFinerSourceStayVisibleOnePixelWide)
{
    const MapView view{.longitude = -98.5, .latitude = 39.5, .width = 1.0, .height = 1.04, .imageWidth = 120,
                       .imageHeight = 125};
    const MapExtent extent = MapExtentOf(view);
    const double perPixel = view.height / view.imageHeight / 10.0;

    // A source ten times finer with one road along a meridian east of the
    // middle, so that its column changes with the latitude.
    WmsPiece piece;
    piece.box = GeoBox{extent.west, extent.south, extent.east, extent.north};
    piece.width = static_cast<int>(std::ceil((extent.east - extent.west) / perPixel));
    piece.height = static_cast<int>(std::ceil((extent.north - extent.south) / perPixel));
    piece.box.east = piece.box.west + piece.width * perPixel;
    piece.box.south = piece.box.north - piece.height * perPixel;
    RgbImage image;
    image.width = piece.width;
    image.height = piece.height;
    image.rgb.assign(static_cast<size_t>(image.width) * image.height * 3, 255);
    const int roadColumn = static_cast<int>((-98.2 - piece.box.west) / perPixel);
    const double roadLongitude = piece.box.west + (roadColumn + 0.5) * perPixel;
    for (int y = 0; y < image.height; ++y) {
        uint8_t* pixel = &image.rgb[(static_cast<size_t>(y) * image.width + roadColumn) * 3];
        pixel[0] = 90, pixel[1] = 90, pixel[2] = 90;
    }

    MapResampler resampler(view, perPixel);
    resampler.Add(piece, image);
    std::vector<uint8_t> rgb(static_cast<size_t>(view.imageWidth) * view.imageHeight * 3, 255);
    resampler.LayOver(rgb);
    for (int row = 0; row < view.imageHeight; ++row) {
        std::set<int> grey;
        for (int column = 0; column < view.imageWidth; ++column)
            if (rgb[(static_cast<size_t>(row) * view.imageWidth + column) * 3] == 90)
                grey.insert(column);
        const double latitude = view.latitude + view.height * 0.5 - (row + 0.5) * view.height / view.imageHeight;
        const double x = MapColumnOf(view, roadLongitude, latitude);
        const int column = static_cast<int>(std::floor(x));
        if (x - column > 0.1 && x - column < 0.9)
            EXPECT_EQ(grey, (std::set<int>{column})) << "row " << row << ", x " << x;
        else
            EXPECT_EQ(grey.size(), 1u) << "row " << row << ", x " << x;
    }
}

TEST(MapResamplerTest, AnAreaTakesOneColourOverAllItsPixelsOrAlongItsEdge)
{
    // 40 × 40 pixels of 0.01 degree at the equator, sampled from a source of
    // the same pixels with a square in an arbitrary colour and a pale wash.
    const MapView view{.longitude = 0.0, .latitude = 0.0, .width = 0.4, .height = 0.4, .imageWidth = 40,
                       .imageHeight = 40};
    const MapExtent extent = MapExtentOf(view);
    WmsPiece piece;
    piece.box = GeoBox{extent.west, extent.south, extent.east, extent.north};
    piece.width = piece.height = 40;
    RgbImage image{40, 40, std::vector<uint8_t>(40 * 40 * 3, 240)};
    EXPECT_FALSE(MapResampler::HasInk(image)) << "a pale wash is no ink";
    for (int y = 10; y < 30; ++y)
        for (int x = 10; x < 30; ++x)
            for (int c = 0; c < 3; ++c)
                image.rgb[(static_cast<size_t>(y) * 40 + x) * 3 + c] = c == 2 ? 200 : 30;
    EXPECT_TRUE(MapResampler::HasInk(image));
    MapResampler resampler(view, (extent.east - extent.west) / 40);
    resampler.Add(piece, image);

    const PaletteColor city = MapPalette()[kColorCity], shore = MapPalette()[kColorShoreline];
    auto count = [](const std::vector<uint8_t>& rgb, const PaletteColor& colour) {
        int pixels = 0;
        for (size_t i = 0; i < rgb.size(); i += 3)
            pixels += rgb[i] == colour.red && rgb[i + 1] == colour.green && rgb[i + 2] == colour.blue;
        return pixels;
    };
    std::vector<uint8_t> filled(40 * 40 * 3, 255), outlined(40 * 40 * 3, 255);
    resampler.LayOverAs(filled, city);
    resampler.OutlineAs(outlined, shore);
    const int area = count(filled, city), edge = count(outlined, shore);
    EXPECT_EQ(area + count(filled, {255, 255, 255}), 40 * 40) << "every pixel is the area's colour or white";
    EXPECT_NEAR(area, 400, 45);
    // The outline is the area's ring of edge pixels: inside it, and empty in the middle.
    EXPECT_NEAR(edge, 76, 10);
    for (size_t i = 0; i < filled.size(); i += 3) {
        if (outlined[i] == shore.red && outlined[i + 1] == shore.green) {
            EXPECT_EQ(filled[i], city.red) << "edge pixel " << i / 3 << " outside the area";
        }
    }
    EXPECT_EQ(outlined[(20 * 40 + 20) * 3], 255);
}

TEST(PaletteReductionTest, TheTintedColoursStayExactAndTheRestFitsTheGifPalette)
{
    std::vector<uint8_t> rgb;
    auto add = [&rgb](int red, int green, int blue, int count) {
        for (int i = 0; i < count; ++i)
            rgb.insert(rgb.end(), {static_cast<uint8_t>(red), static_cast<uint8_t>(green), static_cast<uint8_t>(blue)});
    };
    add(200, 0, 0, 50);     // common: kept as it is
    add(252, 250, 255, 3);  // next to white
    add(253, 245, 160, 3);  // next to the city fill
    add(175, 215, 127, 2);  // the national park fill itself
    for (int i = 0; i < 600; ++i)
        add((i * 37) % 256, (i * 91) % 256, (i * 13) % 200, 1);

    const PaletteImage image = ReduceToPalette(rgb);
    ASSERT_LE(image.palette.size(), 256u);
    ASSERT_EQ(image.indices.size(), rgb.size() / 3);
    auto colourOf = [&image](size_t pixel) {
        const PaletteColor& c = image.palette.at(image.indices[pixel]);
        return std::make_tuple(int(c.red), int(c.green), int(c.blue));
    };
    EXPECT_EQ(colourOf(0), std::make_tuple(200, 0, 0));
    EXPECT_EQ(colourOf(50), std::make_tuple(255, 255, 255));
    EXPECT_EQ(colourOf(53), std::make_tuple(255, 247, 159));
    EXPECT_EQ(colourOf(56), std::make_tuple(175, 215, 127));
    // Every other colour lands on a palette entry not far from it.
    for (size_t pixel = 58; pixel < image.indices.size(); ++pixel) {
        const auto [red, green, blue] = colourOf(pixel);
        const int dr = red - rgb[pixel * 3], dg = green - rgb[pixel * 3 + 1], db = blue - rgb[pixel * 3 + 2];
        EXPECT_LT(dr * dr + dg * dg + db * db, 96 * 96 * 3) << "pixel " << pixel;
    }
}

}  // namespace

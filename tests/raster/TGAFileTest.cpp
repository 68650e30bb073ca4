#include "raster/TGAFile.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <array>

namespace {

// A TGA file: 18 header bytes, then `pixelBytes` as they stand.
std::string TgaBytes(int width, int height, int pixelDepth, uint8_t descriptor, const std::string& pixelBytes,
                     uint8_t imageType = 2, uint8_t colorMapType = 0, const std::string& id = "")
{
    std::string bytes(18, '\0');
    bytes[0] = static_cast<char>(id.size());
    bytes[1] = static_cast<char>(colorMapType);
    bytes[2] = static_cast<char>(imageType);
    bytes[12] = static_cast<char>(width & 0xFF);
    bytes[13] = static_cast<char>(width >> 8);
    bytes[14] = static_cast<char>(height & 0xFF);
    bytes[15] = static_cast<char>(height >> 8);
    bytes[16] = static_cast<char>(pixelDepth);
    bytes[17] = static_cast<char>(descriptor);
    return bytes + id + pixelBytes;
}

std::array<uint8_t, 3> PixelOf(const TGAFile& image, int x, int y)
{
    std::array<uint8_t, 3> pixel{};
    image.GetPixel(x, y, pixel.data());
    return pixel;
}

TEST(TGAFile, RowStrideRoundsEveryRowUpToFourBytes)
{
    EXPECT_EQ(TGAFile::RowStrideFor(3, 4), 12);
    EXPECT_EQ(TGAFile::RowStrideFor(3, 5), 16);
    EXPECT_EQ(TGAFile::RowStrideFor(3, 1), 4);
    EXPECT_EQ(TGAFile::RowStrideFor(4, 3), 12);
}

TEST(TGAFile, HeightEncodingIsSigned24BitLittleEndian)
{
    TGAFile image;
    ASSERT_EQ(image.Create(2, 1), 0);
    EXPECT_EQ(image.GetValue(0, 0), -1) << "a created image is white, which reads as -1";

    const struct {
        std::array<uint8_t, 3> bytes;
        int value;
    } cases[] = {
        {{255, 255, 255}, -1},       {{0, 0, 128}, -8388608}, {{255, 255, 127}, 8388607},
        {{241, 216, 255}, -9999},    {{0, 0, 0}, 0},          {{56, 255, 255}, -200},
    };
    for (const auto& c : cases) {
        image.SetPixel(0, 0, c.bytes.data());
        EXPECT_EQ(image.GetValue(0, 0), c.value);
        image.SetValue(1, 0, c.value);
        EXPECT_EQ(PixelOf(image, 1, 0), c.bytes) << c.value;
        EXPECT_EQ(image.GetElevation(1, 0), c.value);
    }
}

TEST(TGAFile, AccessorsClipOutsideTheImage)
{
    TGAFile image;
    ASSERT_EQ(image.Create(3, 2), 0);
    const uint8_t black[3] = {0, 0, 0};
    for (auto [x, y] : {std::pair{-1, 0}, {3, 0}, {0, -1}, {0, 2}}) {
        image.SetPixel(x, y, black);
        image.SetValue(x, y, 5);
        std::array<uint8_t, 3> untouched{1, 2, 3};
        image.GetPixel(x, y, untouched.data());
        EXPECT_EQ(untouched, (std::array<uint8_t, 3>{1, 2, 3}));
        EXPECT_EQ(image.GetValue(x, y), 0);
    }
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x)
            EXPECT_EQ(image.GetValue(x, y), -1) << "a clipped write landed inside at " << x << "," << y;
}

TEST(TGAFile, WritesBottomUpAndReadsBack)
{
    TempDir dir;
    TGAFile image;
    ASSERT_EQ(image.Create(5, 3), 0);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            image.SetValue(x, y, y * 100 + x - 150);
    ASSERT_EQ(image.Write(dir.File("a.tga")), 0);

    const std::string bytes = ReadFileBytes(dir.File("a.tga"));
    ASSERT_EQ(bytes.size(), 18u + 5 * 3 * 3) << "rows are not padded in the file";
    EXPECT_EQ(bytes[2], 2);
    EXPECT_EQ(bytes[16], 24);
    EXPECT_EQ(bytes[17], 0);

    TGAFile reread;
    ASSERT_EQ(reread.Open(dir.File("a.tga")), 0);
    EXPECT_EQ(reread.GetWidth(), 5);
    EXPECT_EQ(reread.GetHeight(), 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x)
            EXPECT_EQ(reread.GetValue(x, y), y * 100 + x - 150);
}

TEST(TGAFile, TopToBottomFileIsRewrittenBottomUpShowingTheSamePicture)
{
    TempDir dir;
    // Two rows: the file's first row (top) red, the second (bottom) blue.
    const std::string top = std::string("\x00\x00\xff", 3) + std::string("\x00\x00\xff", 3);
    const std::string bottom = std::string("\xff\x00\x00", 3) + std::string("\xff\x00\x00", 3);
    WriteFileBytes(dir.File("top.tga"), TgaBytes(2, 2, 24, 0x20, top + bottom, 2, 0, "id!"));

    TGAFile image;
    ASSERT_EQ(image.Open(dir.File("top.tga")), 0);
    EXPECT_EQ(PixelOf(image, 0, 1), (std::array<uint8_t, 3>{0, 0, 255}));
    EXPECT_EQ(PixelOf(image, 1, 0), (std::array<uint8_t, 3>{255, 0, 0}));
    ASSERT_EQ(image.Write(dir.File("bottom.tga")), 0);

    EXPECT_EQ(ReadFileBytes(dir.File("bottom.tga")), TgaBytes(2, 2, 24, 0x00, bottom + top));
}

TEST(TGAFile, OpenReportsEachKindOfBadFile)
{
    TempDir dir;
    const std::string pixels(2 * 2 * 3, '\x10');
    const struct {
        const char* name;
        std::string bytes;
        int code;
    } cases[] = {
        {"short-header", std::string(17, '\0'), 4},
        {"run-length", TgaBytes(2, 2, 24, 0, pixels, 10), 5},
        {"colour-mapped", TgaBytes(2, 2, 24, 0, pixels, 1, 1), 5},
        {"truncated", TgaBytes(2, 2, 24, 0, pixels.substr(0, 11)), 7},
        {"no-rows", TgaBytes(2, 0, 24, 0, ""), 7},
        {"huge-claim", TgaBytes(65535, 65535, 24, 0, pixels), 7},
    };
    for (const auto& c : cases) {
        WriteFileBytes(dir.File(c.name), c.bytes);
        TGAFile image;
        EXPECT_EQ(image.Open(dir.File(c.name)), c.code) << c.name;
        EXPECT_TRUE(image.IsEmpty()) << c.name;
        EXPECT_EQ(image.GetWidth(), 0) << c.name;
    }

    TGAFile image;
    EXPECT_EQ(image.Open(""), 8);
    EXPECT_EQ(image.Open(dir.File("missing.tga")), 2);
}

TEST(TGAFile, OpensOtherPixelDepthsAndEmptyRows)
{
    TempDir dir;
    WriteFileBytes(dir.File("rgba.tga"), TgaBytes(2, 1, 32, 8, std::string("\x01\x02\x03\x04\x05\x06\x07\x08", 8)));
    TGAFile rgba;
    ASSERT_EQ(rgba.Open(dir.File("rgba.tga")), 0);
    EXPECT_EQ(rgba.BytesPerPixel(), 4);
    EXPECT_EQ(rgba.RowStride(), 8);
    uint8_t pixel[4] = {};
    rgba.GetPixel(1, 0, pixel);
    EXPECT_EQ(pixel[3], 8);

    WriteFileBytes(dir.File("zero-width.tga"), TgaBytes(0, 3, 24, 0, ""));
    TGAFile empty;
    EXPECT_EQ(empty.Open(dir.File("zero-width.tga")), 0);
    EXPECT_EQ(empty.GetHeight(), 3);
}

TEST(TGAFile, FailedWriteIsReportedAndLeavesNoFile)
{
    TempDir dir;
    TGAFile image;
    ASSERT_EQ(image.Create(4, 4), 0);
    EXPECT_EQ(image.Write(dir.File("no-such-folder/a.tga")), 2);
    EXPECT_NE(image.Write("/dev/full"), 0) << "a full disk must not pass as success";

    TGAFile nothing;
    EXPECT_NE(nothing.Write(dir.File("empty.tga")), 0);
    EXPECT_FALSE(std::filesystem::exists(dir.File("empty.tga")));
}

TEST(TGAFile, CreateRefusesSizesAHeaderCannotHold)
{
    TGAFile image;
    EXPECT_EQ(image.Create(-1, 5), 6);
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_EQ(image.Create(70000, 1), 6);
    EXPECT_EQ(image.Create(0, 0), 0);
}

} // namespace

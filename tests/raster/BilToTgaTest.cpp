#include "raster/BilToTga.h"

#include "raster/TGAFile.h"
#include "tests/support/RecordingWindow.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

// A BIL raster with its header and statistics in a temporary folder.
class BilFixture : public ::testing::Test {
protected:
    std::string Data() const { return dir.File("r.bil"); }
    std::string Header() const { return dir.File("r.hdr"); }
    std::string Statistics() const { return dir.File("r.stx"); }
    std::string Output() const { return dir.File("r_el.tga"); }

    void Write16(int rows, int columns, const std::vector<int16_t>& samples, bool bigEndian = true)
    {
        std::string bytes;
        for (int16_t sample : samples) {
            const auto bits = static_cast<uint16_t>(sample);
            const char high = static_cast<char>(bits >> 8);
            const char low = static_cast<char>(bits & 0xFF);
            bytes += bigEndian ? std::string{high, low} : std::string{low, high};
        }
        WriteFileBytes(Data(), bytes);
        WriteHeader(rows, columns, 16, bigEndian ? "BYTEORDER      M" : "BYTEORDER      I");
        WriteFileBytes(Statistics(), "1 -200 9000 312.5 40.25\r\n");
    }

    void WriteHeader(int rows, int columns, int bits, const std::string& byteOrderLine)
    {
        WriteFileBytes(Header(), byteOrderLine + "\r\nLAYOUT       BIL\r\nNROWS         " + std::to_string(rows)
                                     + "\r\nNCOLS         " + std::to_string(columns) + "\r\nNBANDS        1\r\n"
                                     + "NBITS         " + std::to_string(bits) + "\r\n");
    }

    int Convert() { return BilToTga(Data(), Header(), Statistics(), Output(), window, size); }

    TGAFile OpenOutput()
    {
        TGAFile image;
        EXPECT_EQ(image.Open(Output()), 0);
        return image;
    }

    TempDir dir;
    RecordingWindow window;
    RasterSize size;
};

TEST_F(BilFixture, DropsTheNorthRowAndEastColumnKeepingNorthUp)
{
    // Data rows north to south: 11 12 13 / 21 22 23 / 31 32 33.
    Write16(3, 3, {11, 12, 13, 21, 22, 23, 31, 32, 33});
    ASSERT_EQ(Convert(), 0);
    TGAFile image = OpenOutput();
    EXPECT_EQ(image.GetWidth(), 2);
    EXPECT_EQ(image.GetHeight(), 2);
    EXPECT_EQ(image.GetValue(0, 0), 31);
    EXPECT_EQ(image.GetValue(1, 0), 32);
    EXPECT_EQ(image.GetValue(0, 1), 21);
    EXPECT_EQ(image.GetValue(1, 1), 22);
    EXPECT_EQ(size.rows, 2);
    EXPECT_EQ(size.columns, 2);
    EXPECT_EQ(window.Lines(), (std::vector<std::string>{
                                  "Converting \"" + Data() + "\" to \"" + Output() + "\".",
                                  "BIL import successful: \"" + Output() + "\" written."}));
}

TEST_F(BilFixture, DecodesByteOrdersAndNoData)
{
    Write16(2, 3, {0, 0, 0, -200, -9999, 0});
    ASSERT_EQ(Convert(), 0);
    TGAFile image = OpenOutput();
    uint8_t pixel[3];
    image.GetPixel(0, 0, pixel);
    EXPECT_EQ(std::vector<uint8_t>(pixel, pixel + 3), (std::vector<uint8_t>{56, 255, 255}));
    EXPECT_EQ(image.GetValue(1, 0), 0) << "-9999 is no data";

    Write16(2, 2, {0, 0, 0x1234, 0}, false);
    ASSERT_EQ(Convert(), 0);
    EXPECT_EQ(OpenOutput().GetValue(0, 0), 0x1234);
}

TEST_F(BilFixture, ByteOrderKeywordIsMatchedWithoutCaseAndDefaultsToLeastSignificantFirst)
{
    const std::string bytes("\x00\x00\x00\x00\x01\x02\x00\x00", 8);  // second row starts 01 02
    const struct {
        const char* line;
        int expected;
    } cases[] = {{"byteorder m", 0x0102}, {"BYTEORDER I", 0x0201}, {"LAYOUT BIL", 0x0201}, {"byteorder\tm", 0x0201}};
    for (const auto& c : cases) {
        WriteFileBytes(Data(), bytes);
        WriteHeader(2, 2, 16, c.line);
        WriteFileBytes(Statistics(), "1 0 10 1 1\n");
        ASSERT_EQ(Convert(), 0) << c.line;
        EXPECT_EQ(OpenOutput().GetValue(0, 0), c.expected) << c.line;
    }
}

TEST_F(BilFixture, EightBitSamplesAboveTheMaximumAreNegative)
{
    WriteFileBytes(Data(), std::string("\x00\x00\x00\xc8\x96\x00", 6));
    WriteHeader(2, 3, 8, "BYTEORDER M");
    WriteFileBytes(Statistics(), "1 0 150 20.0 3.0\n");
    ASSERT_EQ(Convert(), 0);
    TGAFile image = OpenOutput();
    EXPECT_EQ(image.GetValue(0, 0), -56);
    EXPECT_EQ(image.GetValue(1, 0), 150);
}

TEST_F(BilFixture, FloatSamplesRoundHalfUpTowardZero)
{
    const float samples[] = {0, 0, 0, 0, 0, 0, 0, 123.4f, 123.5f, -0.7f, -3.7f, -9999.0f, 1e9f, 0};
    std::string bytes;
    for (float sample : samples) {
        uint32_t bits;
        std::memcpy(&bits, &sample, 4);
        for (int shift = 24; shift >= 0; shift -= 8)
            bytes += static_cast<char>(bits >> shift);
    }
    WriteFileBytes(Data(), bytes);
    WriteHeader(2, 7, 32, "BYTEORDER M");
    WriteFileBytes(Statistics(), "1 0 150 20.0 3.0\n");
    ASSERT_EQ(Convert(), 0);
    TGAFile image = OpenOutput();
    const int expected[] = {123, 124, 0, -3, 0, 8388607};
    for (int x = 0; x < 6; ++x)
        EXPECT_EQ(image.GetValue(x, 0), expected[x]) << x;
}

TEST_F(BilFixture, MissingOrUnreadableInputsFailWithTheirLine)
{
    Write16(2, 2, {1, 2, 3, 4});
    std::remove(Header().c_str());
    EXPECT_EQ(Convert(), 1);
    EXPECT_EQ(window.Lines().back(), "Error in BilToTga(): Could not open \"" + Header() + "\".");

    Write16(2, 2, {1, 2, 3, 4});
    WriteFileBytes(Statistics(), "1 0 150 20.0\n");
    EXPECT_EQ(Convert(), 1);
    EXPECT_EQ(window.Lines().back(), "Error in BilToTga(): Could not read data from \"" + Statistics() + "\".");

    std::remove(Statistics().c_str());
    EXPECT_EQ(Convert(), 1);
    EXPECT_EQ(window.Lines().back(), "Error in BilToTga(): Could not open \"" + Statistics() + "\".");

    Write16(2, 2, {1, 2, 3, 4});
    std::remove(Data().c_str());
    EXPECT_EQ(Convert(), 1);
    EXPECT_EQ(window.Lines().back(), "Error in BilToTga(): Could not open \"" + Data() + "\".");
    EXPECT_FALSE(std::filesystem::exists(Output()));
}

TEST_F(BilFixture, HeadersThatCannotBeConvertedFailCleanly)
{
    const struct {
        const char* name;
        std::string header;
        std::string data;
    } cases[] = {
        {"no size", "NBITS 16\n", std::string(8, '\0')},
        {"one row", "NROWS 1\nNCOLS 4\nNBITS 16\n", std::string(8, '\0')},
        {"negative", "NROWS -5\nNCOLS 4\nNBITS 16\n", std::string(8, '\0')},
        {"twelve bits", "NROWS 2\nNCOLS 2\nNBITS 12\n", std::string(8, '\0')},
        {"short data", "NROWS 3\nNCOLS 3\nNBITS 16\n", std::string(17, '\0')},
        {"absurd size", "NROWS 2000000000\nNCOLS 2000000000\nNBITS 32\n", std::string(8, '\0')},
        {"garbage", std::string("\x7f\x45\x4c\x46\x00\x01 \xff\xfe", 10), std::string(8, '\0')},
    };
    for (const auto& c : cases) {
        WriteFileBytes(Header(), c.header);
        WriteFileBytes(Data(), c.data);
        WriteFileBytes(Statistics(), "1 0 150 20.0 3.0\n");
        EXPECT_EQ(Convert(), 1) << c.name;
        EXPECT_EQ(window.Lines().back().rfind("Error in BilToTga(): ", 0), 0u) << c.name;
        EXPECT_FALSE(std::filesystem::exists(Output())) << c.name;
    }
}

TEST_F(BilFixture, RasterFarBeyondAnyQuadIsRefusedBeforeAllocation)
{
    // A complete (sparse) data file, so only the size itself can stop it.
    WriteHeader(8000, 8000, 8, "BYTEORDER M");
    WriteFileBytes(Data(), "");
    std::filesystem::resize_file(Data(), 8000ull * 8000);
    WriteFileBytes(Statistics(), "1 0 150 20.0 3.0\n");
    EXPECT_EQ(Convert(), 1);
    EXPECT_EQ(window.Lines().back(), "Error in BilToTga(): The header \"" + Header()
                                         + "\" describes 8000 x 8000 samples, more than the 25934402 of the "
                                           "largest quad's raster.");
    EXPECT_FALSE(std::filesystem::exists(Output()));
}

TEST_F(BilFixture, RasterSizeIsClearedAtTheStartAndSetOnlyOnSuccess)
{
    size.rows = 77;
    size.columns = 77;
    WriteFileBytes(Header(), "NROWS 5\nNCOLS 6\nNBITS 16\n");
    WriteFileBytes(Statistics(), "bad\n");
    EXPECT_EQ(Convert(), 1);
    EXPECT_EQ(size.rows, 0) << "a failed conversion reports no size";
    EXPECT_EQ(size.columns, 0);
}

} // namespace

// The GIF reader on hand-made files: result codes and log lines for broken
// structure, extension handling, and hostile code streams that must end in a
// logged problem instead of a crash or an endless loop.
#include "ConversionTestSupport.h"
#include "GifTestFiles.h"

#include "raster/GifDecoder.h"
#include "raster/GifToTga.h"
#include "tests/support/RecordingWindow.h"

#include <gtest/gtest.h>

namespace conversiontest {
namespace {

// Code stream for a 2 × 2 image with a 2-bit minimum code size: the given
// four indices as literal codes (3 bits wide), a clear code first and the
// end code last.
std::vector<uint8_t> FourPixelData(std::vector<int> indices, int blockSize = 255)
{
    CodePacker codes;
    codes.Put(4, 3);
    // Table entries 6 and 7 are added after the second and third code; the
    // width grows to 4 bits once entry 7 exists.
    int width = 3, added = 0;
    for (size_t i = 0; i < indices.size(); ++i) {
        codes.Put(indices[i], width);
        if (i > 0 && ++added == 2)
            width = 4;
    }
    codes.Put(5, width);
    std::vector<uint8_t> out = {2};
    Append(out, SubBlocks(codes.Bytes(), blockSize));
    return out;
}

std::vector<uint8_t> TwoByTwoGif(std::vector<int> indices, int mapBits = 1)
{
    std::vector<uint8_t> gif = GifHeader(2, 2, mapBits);
    Append(gif, ImageDescriptor(2, 2));
    Append(gif, FourPixelData(std::move(indices)));
    gif.push_back(';');
    return gif;
}

struct ReadResult {
    int code;
    std::vector<std::string> lines;
    TGAFile image;
};

void Read(const std::vector<uint8_t>& bytes, ReadResult& result, GifDecoderOptions options = {}, int imageNumber = 1)
{
    ScratchFolder folder;
    WriteBytes(folder.Path("t.gif"), bytes);
    RecordingWindow log;
    GifDecoder decoder(log, options);
    result.code = decoder.ReadGIFFile(folder.Path("t.gif"), imageNumber, result.image);
    result.lines = log.Lines();
}

std::vector<uint8_t> Bytes(const std::string& text)
{
    return std::vector<uint8_t>(text.begin(), text.end());
}

struct StructureCase {
    const char* name;
    std::vector<uint8_t> bytes;
    int code;
    std::vector<std::string> lines;
};

std::vector<uint8_t> HeaderThen(std::vector<uint8_t> tail, int mapBits = 1)
{
    std::vector<uint8_t> gif = GifHeader(2, 2, mapBits);
    Append(gif, tail);
    return gif;
}

TEST(GifDecoder, StructuralProblemsGiveTheirCodeAndLines)
{
    std::vector<uint8_t> shortGlobalMap = GifHeader(2, 2, 2);
    shortGlobalMap.resize(13 + 10);
    std::vector<uint8_t> shortLocalMap = HeaderThen(ImageDescriptor(2, 2));
    shortLocalMap.back() = 0x81;  // a local map of 4 entries follows
    Append(shortLocalMap, {1, 2, 3, 4, 5});

    const StructureCase cases[] = {
        {"short magic", Bytes("GIF8"), 2, {"Error in ReadGIFFile(): Failed to read magic number."}},
        {"not a GIF", Bytes("PNG89a1234567"), 3, {"Error in ReadGIFFile(): Not a GIF file."}},
        {"version 88a", Bytes("GIF88a1234567"), 4, {"Error in ReadGIFFile(): Not a 87a or 89a GIF file."}},
        {"short screen", Bytes("GIF87a12345"), 5, {"Error in ReadGIFFile(): Failed to read screen descriptor."}},
        {"short global map",
         shortGlobalMap,
         6,
         {"Error in ReadColorMap(): Bad colormap.", "Error in ReadGIFFile(): Error reading global colormap."}},
        {"no trailer", HeaderThen({}), 7, {"Error in ReadGIFFile(): EOF/read error on image data."}},
        {"extensions only",
         HeaderThen({'!', 0xF9, 4, 0, 0, 0, 0, 0, ';'}),
         8,
         {"Error in ReadGIFFile(): Only 0 image found in file."}},
        {"extension label missing", HeaderThen({'!'}), 9,
         {"Error in ReadGIFFile(): OF/read error on extention function code."}},
        {"short image descriptor", HeaderThen({',', 0, 0, 0}), 10,
         {"Error in ReadGIFFile(): Couldn't read left/top/width/height."}},
        {"short local map",
         shortLocalMap,
         11,
         {"Error in ReadColorMap(): Bad colormap.", "Error in ReadGIFFile(): Error reading local colormap."}},
    };
    for (const StructureCase& c : cases) {
        ReadResult result;
        Read(c.bytes, result);
        EXPECT_EQ(result.code, c.code) << c.name;
        EXPECT_EQ(result.lines, c.lines) << c.name;
    }
}

TEST(GifDecoder, CountsImagesInTheShortageLine)
{
    std::vector<uint8_t> gif = GifHeader(2, 2, 1);
    for (int i = 0; i < 2; ++i) {
        Append(gif, ImageDescriptor(2, 2));
        Append(gif, FourPixelData({0, 1, 1, 0}));
    }
    gif.push_back(';');
    ReadResult result;
    Read(gif, result, {}, 3);
    EXPECT_EQ(result.code, 8);
    EXPECT_EQ(result.lines, std::vector<std::string>{"Error in ReadGIFFile(): Only 2 images found in file."});
}

TEST(GifDecoder, MissingFileAndFailedReadsMakeGifToTgaFail)
{
    ScratchFolder folder;
    RecordingWindow log;
    EXPECT_EQ(GifToTga(folder.Path("none.gif"), folder.Path("out.tga"), log), 2);
    EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                               "Converting \"" + folder.Path("none.gif") + "\" to \"" + folder.Path("out.tga") + "\".",
                               "Error in GifToTga(): Cannot read GIF file \"" + folder.Path("none.gif") + "\"."}));
    EXPECT_FALSE(std::filesystem::exists(folder.Path("out.tga")));

    WriteBytes(folder.Path("ok.gif"), TwoByTwoGif({0, 1, 1, 0}));
    EXPECT_EQ(GifToTga(folder.Path("ok.gif"), folder.Path("missing/out.tga"), log), 1);
    EXPECT_EQ(log.Lines().back(), "Error in GifToTga(): Cannot write TGA file \"" + folder.Path("missing/out.tga") + "\".");
}

TEST(GifDecoder, AspectWarningNamesTheScaleToFix)
{
    const std::pair<int, std::string> cases[] = {
        {17, "Error in ReadGIFFile(): To fix do a 'pnmscale -xscale 2'."},
        {113, "Error in ReadGIFFile(): To fix do a 'pnmscale -yscale 2'."},
    };
    for (const auto& [aspect, line] : cases) {
        std::vector<uint8_t> gif = TwoByTwoGif({0, 1, 1, 0});
        gif[12] = static_cast<uint8_t>(aspect);
        ReadResult result;
        Read(gif, result);
        EXPECT_EQ(result.code, 0);
        EXPECT_EQ(result.lines,
                  (std::vector<std::string>{"Error in ReadGIFFile(): Warning - non-square pixels", line}));
    }
    for (int aspect : {0, 49}) {
        std::vector<uint8_t> gif = TwoByTwoGif({0, 1, 1, 0});
        gif[12] = static_cast<uint8_t>(aspect);
        ReadResult result;
        Read(gif, result);
        EXPECT_TRUE(result.lines.empty()) << aspect;
    }
}

TEST(GifDecoder, ExtensionsAndStrayBytesAreLoggedAndSkipped)
{
    std::vector<uint8_t> gif = GifHeader(2, 2, 1);
    Append(gif, {'!', 0xFE, 5, 'h', 'e', 'l', 'l', 'o', 3, 'a', 'b', 'c', 0});
    Append(gif, {'!', 0xF9, 4, 1, 0, 0, 0, 0});
    Append(gif, {'!', 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1, 0, 0, 0});
    Append(gif, {'!', 0x01, 2, 9, 9, 0, '!', 0x42, 0, 0x00});
    Append(gif, ImageDescriptor(2, 2));
    Append(gif, FourPixelData({0, 1, 1, 0}));
    gif.push_back(';');
    ReadResult result;
    Read(gif, result);
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.lines, (std::vector<std::string>{
                                "DoExtension(): GIF comment: hello.",
                                "DoExtension(): GIF comment: abc.",
                                "DoExtension(): Got a \"Application Extension\" extension.",
                                "DoExtension(): Got a \"Plain Text Extension\" extension.",
                                "DoExtension(): Got a \"UNKNOWN (0x42)\" extension.",
                                "ReadGIFFile(): Bogus character 0x00, ignoring.",
                            }));
    EXPECT_EQ(PixelOf(result.image, 1, 1), (Rgb{1, 2, 3}));

    Read(gif, result, {.logComments = false});
    EXPECT_EQ(result.lines.size(), 4u);
}

TEST(GifDecoder, EndlessCommentsAreLoggedAThousandTimesAndThenCounted)
{
    std::vector<uint8_t> gif = GifHeader(2, 2, 1);
    for (int i = 0; i < 1500; ++i)
        Append(gif, {'!', 0xFE, 1, 'x', 0});
    Append(gif, {'!', 0x42, 0});
    Append(gif, ImageDescriptor(2, 2));
    Append(gif, FourPixelData({0, 1, 1, 0}));
    gif.push_back(';');
    ReadResult result;
    Read(gif, result);
    EXPECT_EQ(result.code, 0);
    ASSERT_EQ(result.lines.size(), 1001u);
    EXPECT_EQ(result.lines[999], "DoExtension(): GIF comment: x.");
    EXPECT_EQ(result.lines.back(),
              "ReadGIFFile(): 501 more lines about comments, extensions and stray bytes left out.");
    EXPECT_EQ(PixelOf(result.image, 1, 1), (Rgb{1, 2, 3})) << "the image is still read";

    Read(gif, result);
    EXPECT_EQ(result.lines.size(), 1001u) << "each read counts afresh";
}

TEST(GifDecoder, DetailLinesOnlyWhenAsked)
{
    std::vector<uint8_t> gif = GifHeader(2, 2, 1);
    for (int i = 0; i < 2; ++i) {
        Append(gif, ImageDescriptor(2, 2, i == 1));
        Append(gif, FourPixelData({0, 1, 1, 0}));
    }
    gif.push_back(';');
    ReadResult result;
    Read(gif, result);
    EXPECT_TRUE(result.lines.empty());
    Read(gif, result, {.logComments = true, .logDetails = true});
    EXPECT_EQ(result.lines, (std::vector<std::string>{"ReadImage(): Reading 2 by 2 GIF image.",
                                                      "ReadImage(): Writing a color file.",
                                                      "ReadImage(): Skipping image..."}));
}

TEST(GifDecoder, PixelsLandTopDownWithTheirColors)
{
    ReadResult result;
    Read(TwoByTwoGif({0, 1, 1, 0}, 2), result);
    ASSERT_EQ(result.code, 0);
    // GIF row 0 (indices 0, 1) becomes the TGA's top row, y = 1.
    EXPECT_EQ(PixelOf(result.image, 0, 1), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelOf(result.image, 1, 1), (Rgb{1, 2, 3}));
    EXPECT_EQ(PixelOf(result.image, 0, 0), (Rgb{1, 2, 3}));
    EXPECT_EQ(PixelOf(result.image, 1, 0), (Rgb{0, 0, 0}));
}

TEST(GifDecoder, IndicesWithoutAColorAreBlack)
{
    // A 2-entry map with indices 2 and 3; and a file without any map.
    ReadResult result;
    Read(TwoByTwoGif({2, 3, 1, 3}, 0), result);
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(PixelOf(result.image, 0, 1), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelOf(result.image, 0, 0), (Rgb{1, 2, 3}));

    Read(TwoByTwoGif({1, 1, 1, 1}, -1), result);
    ASSERT_EQ(result.code, 0);
    EXPECT_EQ(PixelOf(result.image, 1, 1), (Rgb{0, 0, 0}));
}

TEST(GifDecoder, TinySubBlocksAreJoined)
{
    std::vector<uint8_t> gif = GifHeader(2, 2, 1);
    Append(gif, ImageDescriptor(2, 2));
    Append(gif, FourPixelData({0, 1, 1, 0}, 1));
    gif.push_back(';');
    ReadResult result;
    Read(gif, result);
    ASSERT_EQ(result.code, 0);
    EXPECT_TRUE(result.lines.empty());
    EXPECT_EQ(PixelOf(result.image, 0, 0), (Rgb{1, 2, 3}));
    EXPECT_EQ(PixelOf(result.image, 1, 0), (Rgb{0, 0, 0}));
}

TEST(GifDecoder, SurplusDataIsSkippedUpToTheNextBlock)
{
    std::vector<uint8_t> gif = GifHeader(2, 1, 1);
    Append(gif, ImageDescriptor(2, 1));
    Append(gif, FourPixelData({1, 0, 1, 1}));
    Append(gif, {'!', 0xFE, 2, 'o', 'k', 0, ';'});
    ReadResult result;
    Read(gif, result);
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"ReadImage(): Too much input data, ignoring extra...",
                                                      "DoExtension(): GIF comment: ok."}));
}

TEST(GifDecoder, EarlyEndOfDataKeepsWhatWasDecoded)
{
    // The end code after two of four pixels, then a surplus sub-block.
    std::vector<uint8_t> gif = GifHeader(2, 2, 1);
    Append(gif, ImageDescriptor(2, 2));
    CodePacker codes;
    codes.Put(4, 3);
    codes.Put(1, 3);
    codes.Put(1, 3);
    codes.Put(5, 3);
    gif.push_back(2);
    Append(gif, SubBlocks(codes.Bytes(), 255, false));
    Append(gif, {2, 0xAA, 0xBB, 0, ';'});
    ReadResult result;
    Read(gif, result);
    EXPECT_EQ(result.code, 0);
    EXPECT_TRUE(result.lines.empty());
    EXPECT_EQ(PixelOf(result.image, 1, 1), (Rgb{1, 2, 3}));
    EXPECT_EQ(PixelOf(result.image, 0, 0), (Rgb{255, 255, 255}));
}

TEST(GifDecoder, HostileCodeStreamsEndTheImageOnly)
{
    // A self-referencing table entry: code 7 read before entry 7 exists
    // makes entry 7 its own prefix, then code 7 is used.
    CodePacker circular;
    circular.Put(4, 3);
    circular.Put(0, 3);
    circular.Put(7, 3);
    circular.Put(7, 3);
    circular.Put(7, 4);
    circular.Put(5, 4);
    std::vector<uint8_t> circularGif = GifHeader(4, 4, 1);
    Append(circularGif, ImageDescriptor(4, 4));
    circularGif.push_back(2);
    Append(circularGif, SubBlocks(circular.Bytes()));
    circularGif.push_back(';');

    // Minimum code sizes past 11 are refused; the image data is skipped.
    std::vector<uint8_t> wideCodes = GifHeader(2, 2, 1);
    Append(wideCodes, ImageDescriptor(2, 2));
    Append(wideCodes, {12, 3, 1, 2, 3, 0, ';'});

    // Data cut off inside a sub-block.
    std::vector<uint8_t> truncated = GifHeader(2, 2, 1);
    Append(truncated, ImageDescriptor(2, 2));
    Append(truncated, {2, 10, 0x44});

    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
        int code;
        std::string line;
    } cases[] = {
        {"circular", circularGif, 0, "Error in LWZReadByte(): Circular table entry (BIG ERROR)."},
        {"code size 12", wideCodes, 0, "Error in ReadImage(): Error reading image."},
        {"truncated", truncated, 7, "Error in GetDataBlock(): Error in reading DataBlock."},
    };
    for (const Case& c : cases) {
        ReadResult result;
        Read(c.bytes, result);
        EXPECT_EQ(result.code, c.code) << c.name;
        EXPECT_NE(std::find(result.lines.begin(), result.lines.end(), c.line), result.lines.end()) << c.name;
    }
}

TEST(GifDecoder, LastCodeRunningPastTheEndIsLoggedAndNotDrawn)
{
    // One data byte holds the clear code and index 0; the second pixel's
    // code would need a bit past it, and the next block is the terminator.
    std::vector<uint8_t> gif = GifHeader(2, 1, 1);
    Append(gif, ImageDescriptor(2, 1));
    Append(gif, {2, 1, 0x04, 0, ';'});
    ReadResult result;
    Read(gif, result);
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.lines, std::vector<std::string>{"GetCode(): Ran off the end of my bits."});
    EXPECT_EQ(PixelOf(result.image, 0, 0), (Rgb{0, 0, 0}));
    EXPECT_EQ(PixelOf(result.image, 1, 0), (Rgb{255, 255, 255}));
}

// Codes that each repeat the previous string plus one pixel, then the
// longest entry over and over: a few bytes per thousands of pixels.
std::vector<uint8_t> ExpandingCodes(int repeats)
{
    CodePacker codes;
    codes.Put(4, 3);
    codes.Put(0, 3);
    int width = 3;
    for (int next = 6; next < 4096; ++next) {
        codes.Put(next, width);
        if (next + 1 == (1 << width) && width < 12)
            ++width;
    }
    for (int i = 0; i < repeats; ++i)
        codes.Put(4095, 12);
    codes.Put(5, 12);
    std::vector<uint8_t> out = {2};
    Append(out, SubBlocks(codes.Bytes()));
    return out;
}

TEST(GifDecoder, DeclaredSizesAndExpandingCodesAreBounded)
{
    std::vector<uint8_t> hugeImage = GifHeader(2, 2, 1);
    Append(hugeImage, ImageDescriptor(4096, 4097));
    Append(hugeImage, ExpandingCodes(10));
    hugeImage.push_back(';');
    ReadResult result;
    Read(hugeImage, result);
    EXPECT_EQ(result.code, 13);
    EXPECT_EQ(result.lines.back(),
              "Error in ReadGIFFile(): Image 1 of 4096 by 4097 pixels is larger than the 16777216 pixels allowed.");

    // A small image followed by codes worth a billion pixels, and a second
    // image with the same stream: both are passed over as blocks, and the
    // comment behind them is still found.
    std::vector<uint8_t> expanding = GifHeader(2, 2, 1);
    for (int image = 0; image < 2; ++image) {
        Append(expanding, ImageDescriptor(2, 2));
        Append(expanding, ExpandingCodes(250000));
    }
    Append(expanding, {'!', 0xFE, 3, 'e', 'n', 'd', 0, ';'});
    Read(expanding, result);
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.lines, (std::vector<std::string>{"ReadImage(): Too much input data, ignoring extra...",
                                                      "DoExtension(): GIF comment: end."}));
    EXPECT_EQ(PixelOf(result.image, 0, 1), (Rgb{0, 0, 0}));
}

TEST(GifDecoder, OddScreenSizes)
{
    // A zero-sized screen keeps nothing; a huge one cannot be allocated.
    std::vector<uint8_t> empty = GifHeader(0, 0, 1);
    Append(empty, ImageDescriptor(2, 2));
    Append(empty, FourPixelData({0, 1, 1, 0}));
    empty.push_back(';');
    ReadResult result;
    Read(empty, result);
    EXPECT_EQ(result.code, 0);
    EXPECT_EQ(result.image.GetWidth(), 0);

    std::vector<uint8_t> huge = TwoByTwoGif({0, 1, 1, 0});
    huge[6] = huge[7] = huge[8] = huge[9] = 0xFF;
    Read(huge, result);
    EXPECT_EQ(result.code, 12);
    EXPECT_EQ(result.lines, std::vector<std::string>{
                                "Error in ReadGIFFile(): A 65535 by 65535 screen is larger than the 16777216 pixels "
                                "allowed."});
    EXPECT_TRUE(result.image.IsEmpty());
}

} // namespace
} // namespace conversiontest

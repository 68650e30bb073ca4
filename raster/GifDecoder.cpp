#include "raster/GifDecoder.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "core/FileHandle.h"
#include "raster/TGAFile.h"

#include <cstring>
#include <memory>

namespace {

bool ReadBytes(std::FILE* file, uint8_t* bytes, size_t count)
{
    return std::fread(bytes, 1, count, file) == count;
}

const char* KindName(int kind)
{
    switch (kind) {
    case GifDecoder::kMonochrome:
        return "monochrome";
    case GifDecoder::kGrayscale:
        return "grayscale";
    case GifDecoder::kColor:
        return "color";
    default:
        return "unknown";
    }
}

// Next row of an image: interlaced images come in four passes starting at
// rows 0, 4, 2, 1 with steps 8, 8, 4, 2. Passes that start below the
// image's last row are skipped, so short images keep all their rows.
// False when the image is complete.
bool NextRow(int& y, int& pass, int height, bool interlaced)
{
    if (!interlaced)
        return ++y < height;
    static constexpr int kStart[4] = {0, 4, 2, 1};
    static constexpr int kStep[4] = {8, 8, 4, 2};
    y += kStep[pass];
    while (y >= height) {
        if (++pass > 3)
            return false;
        y = kStart[pass];
    }
    return true;
}

} // namespace

GifDecoder::GifDecoder(LogSink& log, GifDecoderOptions options) : log_(log), options_(options) {}

void GifDecoder::Log(const std::string& line)
{
    log_.AddToLog(line);
}

void GifDecoder::LogRepeatable(const std::string& line)
{
    if (repeatedLines_++ < kMaxRepeatedLines)
        Log(line);
}

int GifDecoder::ReadGIFFile(const std::string& path, int imageNumber, TGAFile& image)
{
    FileHandle file = OpenFile(path.c_str(), "rb");
    if (!file)
        return 1;
    return ReadGIFStream(file.get(), imageNumber, image);
}

int GifDecoder::ReadGIFStream(std::FILE* file, int imageNumber, TGAFile& image)
{
    repeatedLines_ = 0;
    const int result = ReadStream(file, imageNumber, image);
    if (repeatedLines_ > kMaxRepeatedLines)
        Log(StringPrintf("ReadGIFFile(): %d more lines about comments, extensions and stray bytes left out.",
                         repeatedLines_ - kMaxRepeatedLines));
    return result;
}

int GifDecoder::ReadStream(std::FILE* file, int imageNumber, TGAFile& image)
{
    uint8_t bytes[16];
    if (!ReadBytes(file, bytes, 6)) {
        Log("Error in ReadGIFFile(): Failed to read magic number.");
        return 2;
    }
    if (std::memcmp(bytes, "GIF", 3) != 0) {
        Log("Error in ReadGIFFile(): Not a GIF file.");
        return 3;
    }
    if (std::memcmp(bytes + 3, "87a", 3) != 0 && std::memcmp(bytes + 3, "89a", 3) != 0) {
        Log("Error in ReadGIFFile(): Not a 87a or 89a GIF file.");
        return 4;
    }
    if (!ReadBytes(file, bytes, 7)) {
        Log("Error in ReadGIFFile(): Failed to read screen descriptor.");
        return 5;
    }
    const int screenWidth = bytes[0] + 256 * bytes[1];
    const int screenHeight = bytes[2] + 256 * bytes[3];
    const int screenPacked = bytes[4];
    const int aspect = bytes[6];

    auto globalMap = std::make_unique<ColorMap>();
    if ((screenPacked & 0x80) && ReadColorMap(file, 2 << (screenPacked & 7), *globalMap) != 0) {
        Log("Error in ReadGIFFile(): Error reading global colormap.");
        return 6;
    }
    if (aspect != 0 && aspect != 49) {
        const double r = (aspect + 15.0) / 64.0;
        Log("Error in ReadGIFFile(): Warning - non-square pixels");
        Log(StringPrintf("Error in ReadGIFFile(): To fix do a 'pnmscale -%cscale %g'.", r < 1.0 ? 'x' : 'y',
                         r < 1.0 ? 1.0 / r : r));
    }
    if (static_cast<long long>(screenWidth) * screenHeight > options_.maxPixels) {
        Log(StringPrintf("Error in ReadGIFFile(): A %d by %d screen is larger than the %d pixels allowed.",
                         screenWidth, screenHeight, options_.maxPixels));
        image.Close();
        return 12;
    }
    if (image.Create(screenWidth, screenHeight) != 0) {
        image.Close();
        Log(StringPrintf("Error in ReadGIFFile(): Cannot allocate a %d by %d image.", screenWidth, screenHeight));
        return 12;
    }

    auto localMap = std::make_unique<ColorMap>();
    int imageCount = 0;
    for (;;) {
        const int c = std::getc(file);
        if (c == EOF) {
            Log("Error in ReadGIFFile(): EOF/read error on image data.");
            return 7;
        }
        if (c == ';') {
            if (imageCount < imageNumber) {
                Log(StringPrintf("Error in ReadGIFFile(): Only %d image%s found in file.", imageCount,
                                 imageCount > 1 ? "s" : ""));
                return 8;
            }
            return 0;
        }
        if (c == '!') {
            const int label = std::getc(file);
            if (label == EOF) {
                Log("Error in ReadGIFFile(): OF/read error on extention function code.");
                return 9;
            }
            DoExtension(file, label);
            continue;
        }
        if (c != ',') {
            LogRepeatable(StringPrintf("ReadGIFFile(): Bogus character 0x%02x, ignoring.", c));
            continue;
        }

        ++imageCount;
        if (!ReadBytes(file, bytes, 9)) {
            Log("Error in ReadGIFFile(): Couldn't read left/top/width/height.");
            return 10;
        }
        const int width = bytes[4] + 256 * bytes[5];
        const int height = bytes[6] + 256 * bytes[7];
        const int packed = bytes[8];
        // Every pixel of an image is decoded, drawn or not, so its size
        // bounds the work that a small file can ask for.
        if (static_cast<long long>(width) * height > options_.maxPixels) {
            Log(StringPrintf("Error in ReadGIFFile(): Image %d of %d by %d pixels is larger than the %d pixels "
                             "allowed.", imageCount, width, height, options_.maxPixels));
            return 13;
        }
        const ColorMap* map = globalMap.get();
        if (packed & 0x80) {
            *localMap = ColorMap{};
            if (ReadColorMap(file, 1 << ((packed & 7) + 1), *localMap) != 0) {
                Log("Error in ReadGIFFile(): Error reading local colormap.");
                return 11;
            }
            map = localMap.get();
        }
        ReadImage(file, width, height, *map, (packed & 0x40) != 0, imageCount != imageNumber, image);
    }
}

int GifDecoder::ReadColorMap(std::FILE* file, int count, ColorMap& map)
{
    map.kind = count == 2 ? kMonochrome : kGrayscale;
    for (int i = 0; i < count; ++i) {
        uint8_t rgb[3];
        if (!ReadBytes(file, rgb, 3)) {
            Log("Error in ReadColorMap(): Bad colormap.");
            return 1;
        }
        map.bgr[i][0] = rgb[2];
        map.bgr[i][1] = rgb[1];
        map.bgr[i][2] = rgb[0];
        if (rgb[0] != rgb[1] || rgb[1] != rgb[2])
            map.kind = kColor;
    }
    return 0;
}

int GifDecoder::DoExtension(std::FILE* file, int label)
{
    uint8_t buffer[256];
    std::string name;
    switch (label) {
    case 0x01:
        name = "Plain Text Extension";
        break;
    case 0xF9: {
        // Disposal, user input, delay and transparency are not applied to
        // the output; an empty first block already ends the extension.
        if (GetDataBlock(file, buffer) > 0)
            SkipDataBlocks(file);
        return 0;
    }
    case 0xFE: {
        int count;
        while ((count = GetDataBlock(file, buffer)) > 0) {
            if (options_.logComments) {
                const std::string text(reinterpret_cast<const char*>(buffer),
                                       strnlen(reinterpret_cast<const char*>(buffer), count));
                LogRepeatable(StringPrintf("DoExtension(): GIF comment: %s.", text.c_str()));
            }
        }
        return 0;
    }
    case 0xFF:
        name = "Application Extension";
        break;
    default:
        name = StringPrintf("UNKNOWN (0x%02x)", label);
        break;
    }
    LogRepeatable(StringPrintf("DoExtension(): Got a \"%s\" extension.", name.c_str()));
    SkipDataBlocks(file);
    return 0;
}

int GifDecoder::GetDataBlock(std::FILE* file, uint8_t* buffer)
{
    const int count = std::getc(file);
    if (count == EOF) {
        Log("Error in GetDataBlock(): Error in getting DataBlock size.");
        return -1;
    }
    emptyBlockSeen_ = count == 0;
    if (count > 0 && !ReadBytes(file, buffer, static_cast<size_t>(count))) {
        Log("Error in GetDataBlock(): Error in reading DataBlock.");
        return -1;
    }
    return count;
}

void GifDecoder::SkipDataBlocks(std::FILE* file)
{
    uint8_t buffer[256];
    while (GetDataBlock(file, buffer) > 0) {
    }
}

void GifDecoder::ReadImage(std::FILE* file, int width, int height, const ColorMap& map, bool interlaced,
                           bool ignore, TGAFile& image)
{
    const int codeSize = std::getc(file);
    if (codeSize == EOF) {
        Log("Error in ReadImage(): EOF/read error on image data.");
        return;
    }
    if (LWZReadByte(file, true, codeSize) < 0) {
        Log("Error in ReadImage(): Error reading image.");
        SkipDataBlocks(file);  // keeps the reader at the next block
        return;
    }
    if (ignore || width == 0 || height == 0) {
        if (ignore && options_.logDetails)
            Log("ReadImage(): Skipping image...");
        const long long pixels = static_cast<long long>(width) * height;
        for (long long count = 0; count < pixels && LWZReadByte(file, false, codeSize) >= 0; ++count) {
        }
        SkipRestOfImage(file);
        return;
    }
    if (options_.logDetails)
        Log(StringPrintf("ReadImage(): Reading %d by %d%s GIF image.", width, height, interlaced ? " interlaced" : ""));

    DrawPixels(file, width, height, map, interlaced, image);

    if (LWZReadByte(file, false, codeSize) >= 0) {
        Log("ReadImage(): Too much input data, ignoring extra...");
        SkipRestOfImage(file);
    }
    if (options_.logDetails)
        Log(StringPrintf("ReadImage(): Writing a %s file.", KindName(map.kind)));
}

void GifDecoder::DrawPixels(std::FILE* file, int width, int height, const ColorMap& map, bool interlaced,
                            TGAFile& image)
{
    // GIF rows run top-down, TGA rows bottom-up; rows and columns past the
    // screen are dropped.
    const int screenWidth = image.GetWidth();
    const int screenHeight = image.GetHeight();
    auto rowFor = [&](int y) { return y < screenHeight ? image.Row(screenHeight - 1 - y) : nullptr; };
    const int visibleWidth = width < screenWidth ? width : screenWidth;

    int x = 0, y = 0, pass = 0;
    uint8_t* row = rowFor(0);
    int v;
    while ((v = LWZReadByte(file, false, 0)) >= 0) {
        for (;;) {
            if (row && x < visibleWidth)
                std::memcpy(row + 3 * x, map.bgr[v], 3);
            if (++x == width) {
                x = 0;
                if (!NextRow(y, pass, height, interlaced))
                    return;
                row = rowFor(y);
            }
            // The rest of a decoded string waits on the stack; it is drawn
            // here, as LWZReadByte would hand it out, without a call per pixel.
            if (endResult_ < 0 || stackTop_ == 0)
                break;
            v = stack_[--stackTop_];
        }
    }
}

// The LZW decoder: one palette index per call; 0 after initialisation,
// -2 at the end code, another negative value when the codes have run out or
// the stream is broken.
int GifDecoder::LWZReadByte(std::FILE* file, bool initialise, int inputCodeSize)
{
    if (initialise) {
        // Beyond 11 bits the clear code would reach the 4,096-entry table.
        if (inputCodeSize < 0 || inputCodeSize > 11)
            return -1;
        setCodeSize_ = inputCodeSize;
        clearCode_ = 1 << setCodeSize_;
        endCode_ = clearCode_ + 1;
        ResetCodeTable();
        GetCode(file, 0, true);
        fresh_ = true;
        endResult_ = 0;
        return 0;
    }
    if (endResult_ < 0)
        return endResult_;
    if (stackTop_ > 0)
        return stack_[--stackTop_];
    if (fresh_) {
        fresh_ = false;
        int code;
        do
            code = GetCode(file, codeSize_, false);
        while (code == clearCode_);
        return StartString(file, code);
    }

    const int code = GetCode(file, codeSize_, false);
    if (code < 0)
        return EndStream(code);
    if (code == clearCode_) {
        ResetCodeTable();
        return StartString(file, GetCode(file, codeSize_, false));
    }
    if (code == endCode_)
        return EndOfData(file);
    return DecodeCode(file, code);
}

// The first code after a clear code is a palette index as it stands.
int GifDecoder::StartString(std::FILE* file, int code)
{
    if (code < 0)
        return EndStream(code);
    if (code == endCode_)
        return EndOfData(file);
    firstCode_ = previousCode_ = code;
    return code;
}

// The end code: reads on to the empty block that ends the image's data,
// unless the bit reader has met it already.
int GifDecoder::EndOfData(std::FILE* file)
{
    if (emptyBlockSeen_)
        return EndStream(-2);
    uint8_t block[256];
    int count;
    while ((count = GetDataBlock(file, block)) > 0) {
    }
    if (count != 0)
        Log("LWZReadByte(): Missing EOD in data stream (common occurence).");
    return EndStream(-2);
}

// Expands one data code onto the stack and adds the next table entry.
int GifDecoder::DecodeCode(std::FILE* file, int code)
{
    const int incoming = code;
    if (code >= maxCode_) {
        stack_[stackTop_++] = firstCode_;
        code = previousCode_;
    }
    while (code >= clearCode_) {
        // A chain longer than the stack can only come from a circle of
        // table entries that a hostile stream has built.
        if (prefix_[code] == code || stackTop_ >= kStackSize - 1) {
            Log("Error in LWZReadByte(): Circular table entry (BIG ERROR).");
            stackTop_ = 0;
            if (!done_)
                SkipDataBlocks(file);  // the rest of this image's data
            return EndStream(-3);
        }
        stack_[stackTop_++] = suffix_[code];
        code = prefix_[code];
    }
    firstCode_ = suffix_[code];
    stack_[stackTop_++] = firstCode_;
    if (maxCode_ < kMaxCodes) {
        prefix_[maxCode_] = previousCode_;
        suffix_[maxCode_] = firstCode_;
        ++maxCode_;
        if (maxCode_ >= maxCodeSize_ && maxCodeSize_ < kMaxCodes) {
            maxCodeSize_ *= 2;
            ++codeSize_;
        }
    }
    previousCode_ = incoming;
    return stack_[--stackTop_];
}

// Codes past an image's last pixel could expand without bound, so they are
// skipped as sub-blocks instead of being decoded.
void GifDecoder::SkipRestOfImage(std::FILE* file)
{
    if (endResult_ == 0 && !done_)
        SkipDataBlocks(file);
    EndStream(-2);
}

void GifDecoder::ResetCodeTable()
{
    for (int i = 0; i < clearCode_; ++i) {
        prefix_[i] = 0;
        suffix_[i] = i;
    }
    std::memset(prefix_ + clearCode_, 0, sizeof(int) * (kMaxCodes - clearCode_));
    std::memset(suffix_ + clearCode_, 0, sizeof(int) * (kMaxCodes - clearCode_));
    codeSize_ = setCodeSize_ + 1;
    maxCodeSize_ = 2 * clearCode_;
    maxCode_ = clearCode_ + 2;
    stackTop_ = 0;
}

int GifDecoder::EndStream(int result)
{
    endResult_ = result;
    return result;
}

// The next code of `codeSize` bits, least significant bit first across the
// sub-blocks; -1 when the data has run out.
int GifDecoder::GetCode(std::FILE* file, int codeSize, bool initialise)
{
    if (initialise) {
        currentBit_ = 0;
        lastBit_ = 0;
        lastByte_ = 2;
        done_ = false;
        return 0;
    }
    if (currentBit_ + codeSize >= lastBit_) {
        if (done_) {
            if (currentBit_ >= lastBit_)
                Log("GetCode(): Ran off the end of my bits.");
            return -1;
        }
        // Sub-blocks may be shorter than a code: read on until one fits.
        do {
            if (!FillBits(file))
                return -1;
        } while (currentBit_ + codeSize > lastBit_ && !done_);
        // The last code runs past the terminating empty block: its missing
        // bits are not made up, so it is not drawn.
        if (currentBit_ + codeSize > lastBit_) {
            Log("GetCode(): Ran off the end of my bits.");
            return -1;
        }
    }
    const int byte = currentBit_ >> 3;
    const uint32_t bits = buffer_[byte] | (buffer_[byte + 1] << 8) | (buffer_[byte + 2] << 16);
    const int code = static_cast<int>((bits >> (currentBit_ & 7)) & ((1u << codeSize) - 1));
    currentBit_ += codeSize;
    return code;
}

// Keeps the last two bytes (which hold every bit not yet used) and reads the
// next sub-block behind them. A read error ends the data like the
// terminating empty block.
bool GifDecoder::FillBits(std::FILE* file)
{
    buffer_[0] = buffer_[lastByte_ - 2];
    buffer_[1] = buffer_[lastByte_ - 1];
    const int count = GetDataBlock(file, buffer_ + 2);
    if (count < 0) {
        done_ = true;
        return false;
    }
    if (count == 0)
        done_ = true;
    lastByte_ = 2 + count;
    currentBit_ = currentBit_ - lastBit_ + 16;
    lastBit_ = (2 + count) * 8;
    return true;
}

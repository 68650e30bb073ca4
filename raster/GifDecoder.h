#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

class LogSink;
class TGAFile;

struct GifDecoderOptions {
    bool logComments = true;  // comment extensions go to the log
    bool logDetails = false;  // lines on reading, skipping and writing each image
    // Largest screen and largest image, in pixels, that a file may declare;
    // a job's map tiles are 1200 × 1248.
    int maxPixels = 4096 * 4096;
};

// A GIF87a/GIF89a reader with its own LZW decoder. One object holds the
// whole decoder state of one conversion, so conversions never share state
// and may run on several threads at once.
//
// The reader faces files from the network: every length, code and index
// from the file is checked before use. Problems inside one image's pixel
// data are logged and end that image (keeping the pixels decoded so far);
// problems with the file's structure fail the read with a result code.
class GifDecoder {
public:
    GifDecoder(LogSink& log, GifDecoderOptions options = {});

    // Draws image `imageNumber` (1-based) of the file into `image`, which
    // becomes a white picture of the logical screen's size. 0 on success;
    // 1 when the file does not open; 2 to 11 for the structural problems,
    // each logged; 12 when the screen-sized image is larger than allowed or
    // cannot be allocated; 13 when an image is larger than allowed.
    int ReadGIFFile(const std::string& path, int imageNumber, TGAFile& image);
    // The same on an open stream, which stays open.
    int ReadGIFStream(std::FILE* file, int imageNumber, TGAFile& image);

    bool EmptyBlockSeen() const { return emptyBlockSeen_; }

    // Colour map kinds, as told in the detail lines.
    enum ColorMapKind { kMonochrome = 0, kGrayscale = 1, kColor = 2 };

private:
    // Up to 256 entries read from the file; entries past those filled, and
    // every index a broken code stream can produce up to 4095, stay black.
    struct ColorMap {
        uint8_t bgr[4096][3] = {};
        int kind = kGrayscale;
    };

    int ReadColorMap(std::FILE* file, int count, ColorMap& map);
    int DoExtension(std::FILE* file, int label);
    void ReadImage(std::FILE* file, int width, int height, const ColorMap& map, bool interlaced, bool ignore,
                   TGAFile& image);
    void DrawPixels(std::FILE* file, int width, int height, const ColorMap& map, bool interlaced, TGAFile& image);
    int GetDataBlock(std::FILE* file, uint8_t* buffer);
    void SkipDataBlocks(std::FILE* file);
    int LWZReadByte(std::FILE* file, bool initialise, int inputCodeSize);
    int StartString(std::FILE* file, int code);
    int EndOfData(std::FILE* file);
    int DecodeCode(std::FILE* file, int code);
    void SkipRestOfImage(std::FILE* file);
    void ResetCodeTable();
    int EndStream(int result);
    int GetCode(std::FILE* file, int codeSize, bool initialise);
    bool FillBits(std::FILE* file);
    void Log(const std::string& line);
    // Lines a file can repeat without end (comments, extensions, stray
    // bytes): the first kMaxRepeatedLines are logged, the rest only counted.
    void LogRepeatable(const std::string& line);
    int ReadStream(std::FILE* file, int imageNumber, TGAFile& image);

    static constexpr int kMaxRepeatedLines = 1000;

    LogSink& log_;
    int repeatedLines_ = 0;
    GifDecoderOptions options_;
    bool emptyBlockSeen_ = false;

    // LZW state of the image being decoded.
    static constexpr int kMaxCodes = 4096;
    static constexpr int kStackSize = 8192;
    int prefix_[kMaxCodes] = {};
    int suffix_[kMaxCodes] = {};
    int stack_[kStackSize] = {};
    int stackTop_ = 0;
    int setCodeSize_ = 0;
    int codeSize_ = 0;
    int clearCode_ = 0;
    int endCode_ = 0;
    int maxCode_ = 0;
    int maxCodeSize_ = 0;
    int firstCode_ = 0;
    int previousCode_ = 0;
    bool fresh_ = false;
    // Once the code stream has ended (end code, no more data, a broken
    // table) every further call gives this negative result without reading.
    int endResult_ = 0;

    // Bit reader over the current sub-block, with the two bytes before it.
    uint8_t buffer_[280] = {};
    int currentBit_ = 0;
    int lastBit_ = 0;
    int lastByte_ = 2;
    bool done_ = false;
};

#pragma once

#include "core/FileReplacement.h"
#include "raster/PixelBuffer.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

// The 18-byte header of a TGA file, field by field (stored little-endian in
// the file, without gaps).
struct TGAFILEHEADER {
    uint8_t idLength = 0;
    uint8_t colorMapType = 0;
    uint8_t imageType = 2;
    uint16_t colorMapFirst = 0;
    uint16_t colorMapLength = 0;
    uint8_t colorMapEntrySize = 24;
    uint16_t xOrigin = 0;
    uint16_t yOrigin = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint8_t pixelDepth = 24;
    uint8_t descriptor = 0;  // alphaBits 0-3, rightToLeft 4, topToBottom 5, interleave 6-7

    static constexpr size_t kSize = 18;
    static constexpr uint8_t kTopToBottom = 0x20;

    void Decode(const uint8_t (&bytes)[kSize]);
    void Encode(uint8_t (&bytes)[kSize]) const;
};

// An uncompressed true-colour TGA image held in memory, rows bottom-up,
// pixel bytes blue, green, red. A pixel is either a colour or a signed 24-bit
// height (least significant byte in blue; 0 means no data).
//
// Diagnostics go to standard error; every operation returns an int code,
// 0 for success. Pixel accessors clip: outside the image setters do nothing
// and getters leave the destination untouched (or give 0).
class TGAFile {
public:
    TGAFile() = default;
    TGAFile(const TGAFile&) = delete;
    TGAFile& operator=(const TGAFile&) = delete;
    TGAFile(TGAFile&&) = default;
    TGAFile& operator=(TGAFile&&) = default;

    int Open(const std::string& path);  // "-" reads standard input
    int Create(int width, int height);  // every pixel (255/255/255)
    // The same without the fill, for stages that write every pixel next.
    int CreateUnfilled(int width, int height);
    int Write(const std::string& path); // "-" writes standard output

    // The steps of Write to a file, for writers that make the rows while
    // they write them: open (no stream on failure, with Write's message),
    // the header (which first has the whole file's space set aside), rows
    // [begin, end) in file order, and the commit, which gives Write's result
    // and removes the file when anything failed.
    static FileReplacement OpenForWriting(const std::string& path);
    bool WriteHeader(std::FILE* file);
    bool WriteRows(std::FILE* file, int begin, int end) const;
    static int FinishWriting(FileReplacement& file, bool written);
    void Close();

    bool IsEmpty() const { return !pixels_; }
    int GetWidth() const { return header_ ? header_->width : 0; }
    int GetHeight() const { return header_ ? header_->height : 0; }
    int BytesPerPixel() const { return bytesPerPixel_; }
    int RowStride() const { return rowStride_; }
    const TGAFILEHEADER* Header() const { return header_ ? &*header_ : nullptr; }
    // Gives a 24-bit image the header Create gives, keeping its size and
    // pixels, so that an image read from a file can be reused in place of a
    // created one and be written the same.
    void ResetHeader();

    bool Contains(int x, int y) const
    {
        return pixels_ && x >= 0 && y >= 0 && x < GetWidth() && y < GetHeight();
    }

    void GetPixel(int x, int y, uint8_t* destination) const
    {
        if (Contains(x, y))
            std::memcpy(destination, PixelAt(x, y), bytesPerPixel_);
    }
    void SetPixel(int x, int y, const uint8_t* source)
    {
        if (Contains(x, y))
            std::memcpy(PixelAt(x, y), source, bytesPerPixel_);
    }
    int GetValue(int x, int y) const { return Contains(x, y) ? DecodeHeight(PixelAt(x, y)) : 0; }
    double GetElevation(int x, int y) const { return GetValue(x, y); }
    void SetValue(int x, int y, int value)
    {
        if (Contains(x, y))
            EncodeHeight(value, PixelAt(x, y));
    }

    // Unchecked access to row y (0 = bottom) for loops that stay inside the
    // image; the row holds GetWidth() × BytesPerPixel() bytes.
    uint8_t* Row(int y) { return pixels_.get() + static_cast<size_t>(y) * rowStride_; }
    const uint8_t* Row(int y) const { return pixels_.get() + static_cast<size_t>(y) * rowStride_; }

    // The height encoding of a pixel's bytes, for `BytesPerPixel()` bytes.
    int DecodeHeight(const uint8_t* pixel) const
    {
        uint32_t value = 0;
        const int count = bytesPerPixel_ < 4 ? bytesPerPixel_ : 4;
        for (int i = 0; i < count; ++i)
            value |= static_cast<uint32_t>(pixel[i]) << (8 * i);
        int64_t height = value;
        if (height > 8388607)
            height -= 16777216;
        return static_cast<int>(height);
    }
    void EncodeHeight(int value, uint8_t* pixel) const
    {
        const int count = bytesPerPixel_ < 4 ? bytesPerPixel_ : 4;
        const auto bits = static_cast<uint32_t>(value);
        for (int i = 0; i < count; ++i)
            pixel[i] = static_cast<uint8_t>(bits >> (8 * i));
    }

    // The height encoding of a 24-bit pixel, for loops over 24-bit images
    // that stay clear of the general pixel size.
    static int ReadHeight24(const uint8_t* pixel)
    {
        const int value = pixel[0] | (pixel[1] << 8) | (pixel[2] << 16);
        return value > 8388607 ? value - 16777216 : value;
    }
    static void WriteHeight24(int value, uint8_t* pixel)
    {
        pixel[0] = static_cast<uint8_t>(value);
        pixel[1] = static_cast<uint8_t>(value >> 8);
        pixel[2] = static_cast<uint8_t>(value >> 16);
    }

    // Bytes per row in memory for a width and pixel size: rounded up to 4.
    static int RowStrideFor(int bytesPerPixel, int width);

    // Largest pixel buffer an image may have; bigger headers are refused
    // like an allocation failure instead of exhausting memory.
    static constexpr size_t kMaxPixelBytes = size_t(256) << 20;

private:
    uint8_t* PixelAt(int x, int y) { return Row(y) + static_cast<size_t>(x) * bytesPerPixel_; }
    const uint8_t* PixelAt(int x, int y) const { return Row(y) + static_cast<size_t>(x) * bytesPerPixel_; }
    bool AllocatePixels();
    int CreateImage(int width, int height, bool fill);
    bool ReadPixels(std::FILE* file, bool topToBottom);

    std::optional<TGAFILEHEADER> header_;
    PixelBuffer pixels_;
    int bytesPerPixel_ = 0;
    int rowStride_ = 0;
};

#include "raster/TGAFile.h"

#include "core/FileSystem.h"
#include "core/FileHandle.h"

#include <sys/stat.h>

#include <new>

namespace {

uint16_t ReadLittle16(const uint8_t* bytes)
{
    return static_cast<uint16_t>(bytes[0] | (bytes[1] << 8));
}

void WriteLittle16(uint16_t value, uint8_t* bytes)
{
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}

// Bytes left to read in a regular file, or -1 when that cannot be known
// (a pipe, standard input).
long long BytesLeft(std::FILE* file)
{
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode))
        return -1;
    const long position = std::ftell(file);
    return position < 0 ? -1 : static_cast<long long>(info.st_size) - position;
}

bool SkipBytes(std::FILE* file, size_t count)
{
    uint8_t scratch[256];
    while (count > 0) {
        const size_t chunk = count < sizeof scratch ? count : sizeof scratch;
        if (std::fread(scratch, 1, chunk, file) != chunk)
            return false;
        count -= chunk;
    }
    return true;
}

} // namespace

void TGAFILEHEADER::Decode(const uint8_t (&bytes)[kSize])
{
    idLength = bytes[0];
    colorMapType = bytes[1];
    imageType = bytes[2];
    colorMapFirst = ReadLittle16(bytes + 3);
    colorMapLength = ReadLittle16(bytes + 5);
    colorMapEntrySize = bytes[7];
    xOrigin = ReadLittle16(bytes + 8);
    yOrigin = ReadLittle16(bytes + 10);
    width = ReadLittle16(bytes + 12);
    height = ReadLittle16(bytes + 14);
    pixelDepth = bytes[16];
    descriptor = bytes[17];
}

void TGAFILEHEADER::Encode(uint8_t (&bytes)[kSize]) const
{
    bytes[0] = idLength;
    bytes[1] = colorMapType;
    bytes[2] = imageType;
    WriteLittle16(colorMapFirst, bytes + 3);
    WriteLittle16(colorMapLength, bytes + 5);
    bytes[7] = colorMapEntrySize;
    WriteLittle16(xOrigin, bytes + 8);
    WriteLittle16(yOrigin, bytes + 10);
    WriteLittle16(width, bytes + 12);
    WriteLittle16(height, bytes + 14);
    bytes[16] = pixelDepth;
    bytes[17] = descriptor;
}

int TGAFile::RowStrideFor(int bytesPerPixel, int width)
{
    return ((bytesPerPixel * width - 1) / 4) * 4 + 4;
}

bool TGAFile::AllocatePixels()
{
    const size_t size = static_cast<size_t>(GetHeight()) * static_cast<size_t>(rowStride_);
    if (size > kMaxPixelBytes)
        return false;
    pixels_ = PixelBuffer::Allocate(size);
    return static_cast<bool>(pixels_);
}

void TGAFile::Close()
{
    pixels_.reset();
    header_.reset();
    bytesPerPixel_ = 0;
    rowStride_ = 0;
}

int TGAFile::Create(int width, int height)
{
    return CreateImage(width, height, true);
}

int TGAFile::CreateUnfilled(int width, int height)
{
    return CreateImage(width, height, false);
}

void TGAFile::ResetHeader()
{
    if (!header_ || bytesPerPixel_ != 3)
        return;
    TGAFILEHEADER fresh;
    fresh.width = header_->width;
    fresh.height = header_->height;
    header_ = fresh;
}

int TGAFile::CreateImage(int width, int height, bool fill)
{
    Close();
    header_.emplace();
    bytesPerPixel_ = 3;
    if (width < 0 || height < 0 || width > 65535 || height > 65535) {
        std::fputs("TGAFile::Open(): Cannot allocate memory for TGA data.\n", stderr);
        return 6;
    }
    header_->width = static_cast<uint16_t>(width);
    header_->height = static_cast<uint16_t>(height);
    rowStride_ = RowStrideFor(bytesPerPixel_, width);
    if (!AllocatePixels()) {
        std::fputs("TGAFile::Open(): Cannot allocate memory for TGA data.\n", stderr);
        return 6;
    }
    if (fill)
        std::memset(pixels_.get(), 255, static_cast<size_t>(height) * rowStride_);
    return 0;
}

int TGAFile::Open(const std::string& path)
{
    Close();
    if (path.empty()) {
        std::fputs("TGAFile::Open(): Empty filename.\n", stderr);
        return 8;
    }
    FileHandle owned;
    std::FILE* file = stdin;
    if (path != "-") {
        owned = OpenFile(path.c_str(), "rb");
        if (!owned) {
            std::fprintf(stderr, "TGAFile::Open(): Cannot open file \"%s\".\n", path.c_str());
            return 2;
        }
        file = owned.get();
    }

    uint8_t headerBytes[TGAFILEHEADER::kSize];
    if (std::fread(headerBytes, 1, sizeof headerBytes, file) != sizeof headerBytes) {
        std::fputs("TGAFile::Open(): Cannot read TGAFILEHEADER.\n", stderr);
        return 4;
    }
    header_.emplace();
    header_->Decode(headerBytes);
    if (header_->colorMapType != 0 || header_->imageType != 2) {
        Close();
        std::fputs("TGAFile::Open(): TGA file is not uncompressed RGB.\n", stderr);
        return 5;
    }

    bytesPerPixel_ = header_->pixelDepth / 8;
    rowStride_ = RowStrideFor(bytesPerPixel_, GetWidth());
    const size_t rowBytes = static_cast<size_t>(bytesPerPixel_) * GetWidth();
    const size_t dataBytes = rowBytes * GetHeight();
    const long long left = BytesLeft(file);
    // A file too short for its rows fails like a short read, before a
    // hostile header can make us allocate its claimed size.
    const bool shortFile = left >= 0 && static_cast<unsigned long long>(left) < header_->idLength + dataBytes;
    const bool noRows = GetHeight() == 0 && rowBytes > 0;
    if (!shortFile && !AllocatePixels()) {
        Close();
        std::fputs("TGAFile::Open(): Cannot allocate memory for TGA data.\n", stderr);
        return 6;
    }

    const bool topToBottom = (header_->descriptor & TGAFILEHEADER::kTopToBottom) != 0;
    const bool complete =
        !shortFile && !noRows && SkipBytes(file, header_->idLength) && ReadPixels(file, topToBottom);
    if (!complete) {
        Close();
        std::fputs("TGAFile::Open(): Error reading TGA file.\n", stderr);
        return 7;
    }
    return 0;
}

// Rows stored bottom-up without padding arrive in one read; others row by row.
bool TGAFile::ReadPixels(std::FILE* file, bool topToBottom)
{
    const size_t rowBytes = static_cast<size_t>(bytesPerPixel_) * GetWidth();
    if (!topToBottom && rowBytes == static_cast<size_t>(rowStride_)) {
        const size_t total = rowBytes * GetHeight();
        return std::fread(pixels_.get(), 1, total, file) == total;
    }
    for (int row = 0; row < GetHeight(); ++row) {
        const int y = topToBottom ? GetHeight() - 1 - row : row;
        if (std::fread(Row(y), 1, rowBytes, file) != rowBytes)
            return false;
    }
    return true;
}

bool TGAFile::WriteHeader(std::FILE* file)
{
    // The ID bytes of a file that was read are not held, so none are written.
    header_->descriptor &= static_cast<uint8_t>(~TGAFILEHEADER::kTopToBottom);
    header_->idLength = 0;
    uint8_t headerBytes[TGAFILEHEADER::kSize];
    header_->Encode(headerBytes);
    const auto rowBytes = static_cast<unsigned long long>(bytesPerPixel_) * GetWidth();
    ReserveFileSpace(fileno(file), sizeof headerBytes + rowBytes * GetHeight());
    return std::fwrite(headerBytes, 1, sizeof headerBytes, file) == sizeof headerBytes;
}

bool TGAFile::WriteRows(std::FILE* file, int begin, int end) const
{
    const size_t rowBytes = static_cast<size_t>(bytesPerPixel_) * GetWidth();
    if (rowBytes == static_cast<size_t>(rowStride_)) {
        const size_t total = rowBytes * (end - begin);
        return std::fwrite(Row(begin), 1, total, file) == total;
    }
    for (int y = begin; y < end; ++y)
        if (std::fwrite(Row(y), 1, rowBytes, file) != rowBytes)
            return false;
    return true;
}

int TGAFile::Write(const std::string& path)
{
    if (!header_ || !pixels_) {
        std::fputs("TGAFile::Write(): No image to write.\n", stderr);
        return 3;
    }
    if (path == "-") {
        const bool written = WriteHeader(stdout) && WriteRows(stdout, 0, GetHeight());
        if (std::fflush(stdout) == 0 && written)
            return 0;
        std::fprintf(stderr, "TGAFile::Write(): Cannot write file \"%s\".\n", path.c_str());
        return 3;
    }
    FileReplacement file = OpenForWriting(path);
    if (!file.Stream())
        return 2;
    return FinishWriting(file, WriteHeader(file.Stream()) && WriteRows(file.Stream(), 0, GetHeight()));
}

FileReplacement TGAFile::OpenForWriting(const std::string& path)
{
    FileReplacement file = FileReplacement::ForResult(path);
    if (!file.Open())
        std::fprintf(stderr, "TGAFile::Write(): Cannot open file \"%s\".\n", path.c_str());
    return file;
}

int TGAFile::FinishWriting(FileReplacement& file, bool written)
{
    if (file.Commit(written))
        return 0;
    std::fprintf(stderr, "TGAFile::Write(): Cannot write file \"%s\".\n", file.Path().c_str());
    return 3;
}

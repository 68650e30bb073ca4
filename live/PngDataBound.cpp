#include "live/PngDataBound.h"

#include <zlib.h>

#include <array>
#include <cstdint>
#include <cstring>

namespace {

constexpr size_t kSignatureBytes = 8;
constexpr uint64_t kMaxDeclaredBytes = uint64_t{1} << 34;

uint32_t BigEndian32(const std::string& bytes, size_t at)
{
    const auto byte = [&](size_t i) { return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + i])); };
    return byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
}

int ChannelsOf(int colourType)
{
    switch (colourType) {
    case 0: return 1;  // grey
    case 2: return 3;  // RGB
    case 3: return 1;  // palette
    case 4: return 2;  // grey and alpha
    case 6: return 4;  // RGBA
    default: return 0;
    }
}

// Inflated bytes of one pass of `width` × `height` pixels: a filter byte per row.
uint64_t PassBytes(uint64_t width, uint64_t height, uint64_t bitsPerPixel)
{
    if (width == 0 || height == 0)
        return 0;
    return height * (1 + (width * bitsPerPixel + 7) / 8);
}

// The inflated size the header declares, or 0 when it makes no sense.
uint64_t DeclaredBytes(uint32_t width, uint32_t height, int bitDepth, int colourType, int interlace)
{
    const int channels = ChannelsOf(colourType);
    if (channels == 0 || bitDepth <= 0 || bitDepth > 16 || width == 0 || height == 0)
        return 0;
    const uint64_t bits = static_cast<uint64_t>(channels) * static_cast<uint64_t>(bitDepth);
    if (interlace == 0)
        return PassBytes(width, height, bits);
    // Adam7: each pass takes every n-th pixel from an offset, in both directions.
    static constexpr std::array<std::array<int, 4>, 7> kPasses{{
        {0, 8, 0, 8}, {4, 8, 0, 8}, {0, 4, 4, 8}, {2, 4, 0, 4}, {0, 2, 2, 4}, {1, 2, 0, 2}, {0, 1, 1, 2}}};
    uint64_t total = 0;
    for (const auto& [x0, dx, y0, dy] : kPasses) {
        const uint64_t passWidth = width > static_cast<uint32_t>(x0) ? (width - x0 + dx - 1) / dx : 0;
        const uint64_t passHeight = height > static_cast<uint32_t>(y0) ? (height - y0 + dy - 1) / dy : 0;
        total += PassBytes(passWidth, passHeight, bits);
    }
    return total;
}

class BoundedInflate {
public:
    explicit BoundedInflate(uint64_t limit) : limit_(limit) { ok_ = inflateInit(&stream_) == Z_OK; }
    ~BoundedInflate()
    {
        if (ok_)
            inflateEnd(&stream_);
    }
    BoundedInflate(const BoundedInflate&) = delete;
    BoundedInflate& operator=(const BoundedInflate&) = delete;

    // Feeds compressed bytes; false once the stream has ended, broke or ran past the limit.
    bool Feed(const unsigned char* data, size_t size)
    {
        stream_.next_in = const_cast<unsigned char*>(data);
        stream_.avail_in = static_cast<uInt>(size);
        while (ok_ && !ended_ && !overrun_ && stream_.avail_in > 0) {
            std::array<unsigned char, 1 << 16> scratch;
            stream_.next_out = scratch.data();
            stream_.avail_out = static_cast<uInt>(scratch.size());
            const int result = inflate(&stream_, Z_NO_FLUSH);
            produced_ += scratch.size() - stream_.avail_out;
            if (produced_ > limit_)
                overrun_ = true;
            else if (result == Z_STREAM_END)
                ended_ = true;
            else if (result != Z_OK)
                ok_ = false;
        }
        return ok_ && !ended_ && !overrun_;
    }

    bool Overrun() const { return overrun_; }

private:
    z_stream stream_{};
    uint64_t limit_;
    uint64_t produced_ = 0;
    bool ok_ = false, ended_ = false, overrun_ = false;
};

}  // namespace

std::string PngDataOverrun(const std::string& png)
{
    constexpr size_t kHeaderEnd = kSignatureBytes + 8 + 13;
    if (png.size() < kHeaderEnd || png.compare(kSignatureBytes + 4, 4, "IHDR") != 0)
        return {};
    const size_t header = kSignatureBytes + 8;
    const uint64_t declared = DeclaredBytes(BigEndian32(png, header), BigEndian32(png, header + 4),
                                            static_cast<unsigned char>(png[header + 8]),
                                            static_cast<unsigned char>(png[header + 9]),
                                            static_cast<unsigned char>(png[header + 12]));
    if (declared == 0 || declared > kMaxDeclaredBytes)
        return {};
    BoundedInflate inflater(declared);
    for (size_t at = kSignatureBytes; png.size() - at >= 12;) {
        const uint32_t length = BigEndian32(png, at);
        if (length > png.size() - at - 12)
            break;
        if (png.compare(at + 4, 4, "IDAT") == 0 &&
            !inflater.Feed(reinterpret_cast<const unsigned char*>(png.data() + at + 8), length))
            break;
        at += 12 + static_cast<size_t>(length);
    }
    if (inflater.Overrun())
        return "the PNG image's data inflates past the " + std::to_string(declared) + " bytes its size declares";
    return {};
}

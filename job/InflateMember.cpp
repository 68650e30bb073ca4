#include "job/InflateMember.h"

#include <libdeflate.h>

#include <memory>

namespace {

struct MemberCloser {
    void operator()(zip_file_t* member) const { zip_fclose(member); }
};
struct DecompressorFreer {
    void operator()(libdeflate_decompressor* decompressor) const { libdeflate_free_decompressor(decompressor); }
};

constexpr zip_uint64_t kNeeded = ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD | ZIP_STAT_CRC;

bool ReadRaw(zip_t* archive, zip_uint64_t index, uint8_t* raw, size_t size)
{
    std::unique_ptr<zip_file_t, MemberCloser> member(zip_fopen_index(archive, index, ZIP_FL_COMPRESSED));
    if (!member)
        return false;
    size_t done = 0;
    while (done < size) {
        const zip_int64_t count = zip_fread(member.get(), raw + done, size - done);
        if (count <= 0)
            return false;
        done += static_cast<size_t>(count);
    }
    return true;
}

} // namespace

bool InflateWholeMember(zip_t* archive, zip_uint64_t index, unsigned long long limit, InflatedMember& content)
{
    zip_stat_t info;
    zip_stat_init(&info);
    if (zip_stat_index(archive, index, 0, &info) != 0 || (info.valid & kNeeded) != kNeeded
        || info.comp_method != ZIP_CM_DEFLATE || info.size > limit || info.comp_size > limit)
        return false;
    const auto rawSize = static_cast<size_t>(info.comp_size);
    const PixelBuffer raw = PixelBuffer::Allocate(rawSize);
    if (!raw || !ReadRaw(archive, index, raw.get(), rawSize))
        return false;
    std::unique_ptr<libdeflate_decompressor, DecompressorFreer> decompressor(libdeflate_alloc_decompressor());
    if (!decompressor)
        return false;
    const auto size = static_cast<size_t>(info.size);
    PixelBuffer inflated = PixelBuffer::Allocate(size);
    size_t produced = 0;
    if (!inflated
        || libdeflate_deflate_decompress(decompressor.get(), raw.get(), rawSize, inflated.get(), size, &produced)
               != LIBDEFLATE_SUCCESS
        || produced != size || libdeflate_crc32(0, inflated.get(), size) != info.crc)
        return false;
    content.bytes = std::move(inflated);
    content.size = size;
    return true;
}

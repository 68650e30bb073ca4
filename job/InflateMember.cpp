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

bool ReadRaw(zip_t* archive, zip_uint64_t index, std::vector<uint8_t>& raw)
{
    std::unique_ptr<zip_file_t, MemberCloser> member(zip_fopen_index(archive, index, ZIP_FL_COMPRESSED));
    if (!member)
        return false;
    size_t done = 0;
    while (done < raw.size()) {
        const zip_int64_t count = zip_fread(member.get(), raw.data() + done, raw.size() - done);
        if (count <= 0)
            return false;
        done += static_cast<size_t>(count);
    }
    return true;
}

} // namespace

bool InflateWholeMember(zip_t* archive, zip_uint64_t index, unsigned long long limit, std::vector<uint8_t>& content)
{
    zip_stat_t info;
    zip_stat_init(&info);
    if (zip_stat_index(archive, index, 0, &info) != 0 || (info.valid & kNeeded) != kNeeded
        || info.comp_method != ZIP_CM_DEFLATE || info.size > limit || info.comp_size > limit)
        return false;
    std::vector<uint8_t> raw(static_cast<size_t>(info.comp_size));
    if (!ReadRaw(archive, index, raw))
        return false;
    std::unique_ptr<libdeflate_decompressor, DecompressorFreer> decompressor(libdeflate_alloc_decompressor());
    if (!decompressor)
        return false;
    std::vector<uint8_t> inflated(static_cast<size_t>(info.size));
    size_t produced = 0;
    if (libdeflate_deflate_decompress(decompressor.get(), raw.data(), raw.size(), inflated.data(), inflated.size(),
                                      &produced) != LIBDEFLATE_SUCCESS
        || produced != inflated.size() || libdeflate_crc32(0, inflated.data(), inflated.size()) != info.crc)
        return false;
    content = std::move(inflated);
    return true;
}

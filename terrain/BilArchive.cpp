#include "terrain/BilArchive.h"

#include <zip.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

struct ZipSourceDeleter {
    void operator()(zip_source_t* source) const { zip_source_free(source); }
};
using ZipSource = std::unique_ptr<zip_source_t, ZipSourceDeleter>;

bool AddMember(zip_t* archive, const std::string& name, const void* data, size_t size, int level)
{
    zip_source_t* source = zip_source_buffer(archive, data, size, 0);
    if (!source)
        return false;
    const zip_int64_t index = zip_file_add(archive, name.c_str(), source, ZIP_FL_ENC_UTF_8);
    if (index < 0) {
        zip_source_free(source);
        return false;
    }
    if (level == 0)
        return zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_STORE, 0) == 0;
    return zip_set_file_compression(archive, static_cast<zip_uint64_t>(index), ZIP_CM_DEFLATE,
                                    static_cast<zip_uint32_t>(level)) == 0;
}

}  // namespace

std::string BilHeaderText(const ElevationGrid& grid)
{
    char text[1024];
    const int rowBytes = grid.columns * 2;
    std::snprintf(text, sizeof text,
                  "BYTEORDER      M\n"
                  "LAYOUT         BIL\n"
                  "NROWS          %d\n"
                  "NCOLS          %d\n"
                  "NBANDS         1\n"
                  "NBITS          16\n"
                  "BANDROWBYTES   %d\n"
                  "TOTALROWBYTES  %d\n"
                  "BANDGAPBYTES   0\n"
                  "NODATA         %d\n"
                  "ULXMAP         %.12f\n"
                  "ULYMAP         %.12f\n"
                  "XDIM           %.13f\n"
                  "YDIM           %.13f\n",
                  grid.rows, grid.columns, rowBytes, rowBytes, kNoDataSample, grid.west,
                  grid.north, kArcSecond, kArcSecond);
    return text;
}

std::string BilStatisticsText(const ElevationGrid& grid)
{
    int minimum = 0, maximum = 0;
    double sum = 0.0, squares = 0.0;
    size_t count = 0;
    for (const int16_t value : grid.samples) {
        if (value == kNoDataSample)
            continue;
        if (count == 0 || value < minimum)
            minimum = value;
        if (count == 0 || value > maximum)
            maximum = value;
        sum += value;
        squares += static_cast<double>(value) * value;
        ++count;
    }
    double mean = 0.0, deviation = 0.0;
    if (count > 0) {
        mean = sum / static_cast<double>(count);
        deviation = std::sqrt(std::max(0.0, squares / static_cast<double>(count) - mean * mean));
    }
    char text[160];
    std::snprintf(text, sizeof text, "1 %d %d %.6f %.6f\n", minimum, maximum, mean, deviation);
    return text;
}

std::string BilRasterBytes(const ElevationGrid& grid)
{
    std::string bytes(grid.samples.size() * 2, '\0');
    for (size_t i = 0; i < grid.samples.size(); ++i) {
        const auto value = static_cast<uint16_t>(grid.samples[i]);
        bytes[2 * i] = static_cast<char>(value >> 8);
        bytes[2 * i + 1] = static_cast<char>(value & 0xff);
    }
    return bytes;
}

namespace {

// The archive of a raster's bytes, its header and its statistics line.
std::string PackArchive(const std::string& baseName, const void* raster, size_t rasterBytes,
                        const std::string& header, const std::string& statistics, int compressionLevel)
{
    zip_error_t error;
    zip_error_init(&error);
    ZipSource buffer(zip_source_buffer_create(nullptr, 0, 0, &error));
    if (!buffer) {
        zip_error_fini(&error);
        return {};
    }
    zip_t* archive = zip_open_from_source(buffer.get(), ZIP_TRUNCATE, &error);
    zip_error_fini(&error);
    if (!archive)
        return {};
    // The archive takes over one reference when it closes; keep ours to read
    // the finished bytes.
    zip_source_keep(buffer.get());

    const std::string folder = baseName + "/";
    bool ok = zip_dir_add(archive, baseName.c_str(), ZIP_FL_ENC_UTF_8) >= 0;
    ok = ok && AddMember(archive, folder + baseName + ".bil", raster, rasterBytes, compressionLevel);
    ok = ok && AddMember(archive, folder + baseName + ".hdr", header.data(), header.size(), compressionLevel);
    ok = ok && AddMember(archive, folder + baseName + ".stx", statistics.data(), statistics.size(),
                         compressionLevel);
    if (!ok) {
        zip_discard(archive);
        return {};
    }
    if (zip_close(archive) != 0) {
        zip_discard(archive);
        return {};
    }

    zip_stat_t stat;
    if (zip_source_stat(buffer.get(), &stat) != 0 || !(stat.valid & ZIP_STAT_SIZE))
        return {};
    std::string bytes(static_cast<size_t>(stat.size), '\0');
    if (zip_source_open(buffer.get()) != 0)
        return {};
    const zip_int64_t read = zip_source_read(buffer.get(), bytes.data(), stat.size);
    zip_source_close(buffer.get());
    if (read < 0 || static_cast<zip_uint64_t>(read) != stat.size)
        return {};
    return bytes;
}

}  // namespace

std::string MakeBilArchive(const std::string& baseName, const ElevationGrid& grid, int compressionLevel)
{
    const std::string raster = BilRasterBytes(grid);
    return PackArchive(baseName, raster.data(), raster.size(), BilHeaderText(grid), BilStatisticsText(grid),
                       compressionLevel);
}

std::string MakeBilArchive(const std::string& baseName, ElevationGrid&& grid, int compressionLevel)
{
    const std::string header = BilHeaderText(grid);
    const std::string statistics = BilStatisticsText(grid);
    // Each sample becomes its two big-endian bytes where it lies.
    auto* bytes = reinterpret_cast<uint8_t*>(grid.samples.data());
    for (size_t i = 0; i < grid.samples.size(); ++i) {
        const auto value = static_cast<uint16_t>(grid.samples[i]);
        bytes[2 * i] = static_cast<uint8_t>(value >> 8);
        bytes[2 * i + 1] = static_cast<uint8_t>(value & 0xff);
    }
    std::string archive = PackArchive(baseName, bytes, grid.samples.size() * 2, header, statistics, compressionLevel);
    grid.samples = {};
    return archive;
}

namespace {

uint32_t Little(const std::string& bytes, size_t at, int count)
{
    uint32_t value = 0;
    for (int i = count; i-- > 0;)
        value = (value << 8) | static_cast<uint8_t>(bytes[at + static_cast<size_t>(i)]);
    return value;
}

// The member name at `at` with `length` bytes, renamed when it is the base
// folder or a file in it; false when it is neither.
bool RenameName(std::string& bytes, size_t at, size_t length, const std::string& from, const std::string& to)
{
    if (at + length > bytes.size() || length < from.size() + 1 || bytes.compare(at, from.size(), from) != 0
        || bytes[at + from.size()] != '/')
        return false;
    bytes.replace(at, from.size(), to);
    // A file in the folder is named after the base too: "B/B.ext".
    const size_t file = at + from.size() + 1;
    if (length > from.size() + 1) {
        if (length < 2 * from.size() + 1 || bytes.compare(file, from.size(), from) != 0)
            return false;
        bytes.replace(file, from.size(), to);
    }
    return true;
}

} // namespace

bool RenameBilArchive(std::string& archive, const std::string& from, const std::string& to)
{
    constexpr size_t kEndRecord = 22, kCentralHeader = 46, kLocalHeader = 30;
    if (from.size() != to.size() || from.empty() || archive.size() < kEndRecord)
        return false;
    std::string bytes = archive;
    // MakeBilArchive writes no archive comment: the end record closes the file.
    const size_t end = bytes.size() - kEndRecord;
    if (Little(bytes, end, 4) != 0x06054b50)
        return false;
    const uint32_t entries = Little(bytes, end + 10, 2);
    size_t central = Little(bytes, end + 16, 4);
    for (uint32_t i = 0; i < entries; ++i) {
        if (central + kCentralHeader > end || Little(bytes, central, 4) != 0x02014b50)
            return false;
        const size_t nameLength = Little(bytes, central + 28, 2);
        const size_t extraLength = Little(bytes, central + 30, 2);
        const size_t commentLength = Little(bytes, central + 32, 2);
        const size_t local = Little(bytes, central + 42, 4);
        if (local + kLocalHeader > central || Little(bytes, local, 4) != 0x04034b50
            || Little(bytes, local + 26, 2) != nameLength
            || !RenameName(bytes, central + kCentralHeader, nameLength, from, to)
            || !RenameName(bytes, local + kLocalHeader, nameLength, from, to))
            return false;
        central += kCentralHeader + nameLength + extraLength + commentLength;
    }
    archive = std::move(bytes);
    return true;
}

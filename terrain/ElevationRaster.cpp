#include "terrain/ElevationRaster.h"

#include "live/GdalDataset.h"

#include "terrain/ElevationGrid.h"
#include "terrain/ElevationSource.h"

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <mutex>
#include <set>
#include <utility>

namespace fs = std::filesystem;

namespace {

constexpr double kTolerance = 1e-6;

bool IsVoid(int16_t value) { return value == ElevationRaster::kVoidPost; }

std::string Lower(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

// Each skipped file is named once per process, not once per order.
void ReportSkippedFile(const std::string& path, const std::string& reason)
{
    static std::mutex mutex;
    static std::set<std::string> reported;
    std::lock_guard lock(mutex);
    if (reported.insert(path).second)
        std::fprintf(stderr, "terrafetch-services: skipping \"%s\" in the data folder: %s\n", path.c_str(),
                     reason.c_str());
}

void EnsureGdalDrivers()
{
    static std::once_flag once;
    std::call_once(once, [] {
        GDALAllRegister();
        // Blocks read for a window are not kept for long: a small cache keeps
        // a large raster from filling memory with blocks of earlier orders.
        if (GDALGetCacheMax64() > (GIntBig{64} << 20))
            GDALSetCacheMax64(GIntBig{64} << 20);
    });
}

// Why the dataset is no elevation raster this source can place; empty when
// it is one.
std::string RejectionReason(GDALDatasetH dataset, const double (&transform)[6])
{
    if (GDALGetRasterCount(dataset) < 1)
        return "it holds no raster band";
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    if (GDALDataTypeIsComplex(GDALGetRasterDataType(band)))
        return "its values are complex numbers";
    const GDALColorInterp colour = GDALGetRasterColorInterpretation(band);
    if (colour == GCI_PaletteIndex || colour == GCI_RedBand || colour == GCI_GreenBand || colour == GCI_BlueBand ||
        colour == GCI_AlphaBand || colour == GCI_HueBand || colour == GCI_YCbCr_YBand)
        return "it is a picture, not elevation";
    if (transform[2] != 0.0 || transform[4] != 0.0)
        return "its grid is rotated";
    if (!(transform[1] > 0.0) || !(transform[5] < 0.0))
        return "its rows do not run north to south";
    OGRSpatialReferenceH reference = GDALGetSpatialRef(dataset);
    if (reference && !OSRIsGeographic(reference))
        return "it is not in longitude and latitude";
    const double west = transform[0];
    const double east = transform[0] + GDALGetRasterXSize(dataset) * transform[1];
    const double north = transform[3];
    const double south = transform[3] + GDALGetRasterYSize(dataset) * transform[5];
    if (!reference && (west < -180.5 || east > 180.5 || south < -90.5 || north > 90.5))
        return "it has no coordinate system and does not fit longitude and latitude";
    return "";
}

int16_t PostFromValue(double value, bool hasNoData, double noData)
{
    if (std::isnan(value) || (hasNoData && value == noData))
        return ElevationRaster::kVoidPost;
    // -32768 marks a void and 32767 is a void in .hgt tiles, so real heights
    // stay inside them.
    return static_cast<int16_t>(std::clamp(std::floor(value + 0.5), -32767.0, 32766.0));
}

enum class WindowRead { Loaded, Outside, Failed };

// How many source pixels make one post along an axis of `spacingDegrees`:
// posts finer than an arc-second serve no order better, so a finer raster is
// read at every k-th pixel and never costs more than arc-second posts do.
int PixelsPerPost(double spacingDegrees)
{
    const double perArcSecond = 1.0 / (std::fabs(spacingDegrees) * 3600.0);
    return std::max(1, static_cast<int>(std::floor(perArcSecond + 1e-6)));
}

// The pixel from `first` on whose centre lies nearest to a whole arc-second,
// so that the posts read from a finer raster sit on the arc-second grid.
int FirstPixelOnTheGrid(double origin, double step, int first, int pixelsPerPost)
{
    if (pixelsPerPost == 1)
        return first;
    const double centre = (origin + (first + 0.5) * step) * 3600.0;
    const double post = step > 0 ? std::ceil(centre - 1e-6) : std::floor(centre + 1e-6);
    return std::max(first, static_cast<int>(std::lround((post / 3600.0 - origin) / step - 0.5)));
}

// Reads the posts of `dataset` within the box (degrees) and one post around
// it, at most one post per arc-second.
WindowRead ReadWindow(GDALDatasetH dataset, const double (&transform)[6], double west, double east, double south,
                double north, ElevationRaster& raster)
{
    const int width = GDALGetRasterXSize(dataset);
    const int height = GDALGetRasterYSize(dataset);
    // Pixel centres are the posts (GDAL has already moved a pixel-is-point
    // raster's transform by half a pixel).
    auto column = [&](double longitude) { return (longitude - transform[0]) / transform[1] - 0.5; };
    auto row = [&](double latitude) { return (latitude - transform[3]) / transform[5] - 0.5; };
    const int kx = PixelsPerPost(transform[1]), ky = PixelsPerPost(transform[5]);
    const double first = std::max(0.0, std::floor(column(west)) - kx);
    const double last = std::min(width - 1.0, std::ceil(column(east)) + kx);
    const double top = std::max(0.0, std::floor(row(north)) - ky);
    const double bottom = std::min(height - 1.0, std::ceil(row(south)) + ky);
    if (last - first < 1 || bottom - top < 1)
        return WindowRead::Outside;
    // Every kx-th pixel of every ky-th row, starting on the arc-second grid.
    const int x0 = FirstPixelOnTheGrid(transform[0], transform[1], static_cast<int>(first), kx);
    const int y0 = FirstPixelOnTheGrid(transform[3], transform[5], static_cast<int>(top), ky);
    raster.columns = x0 > last ? 0 : (static_cast<int>(last) - x0) / kx + 1;
    raster.rows = y0 > bottom ? 0 : (static_cast<int>(bottom) - y0) / ky + 1;
    if (raster.columns < 2 || raster.rows < 2)
        return WindowRead::Outside;
    raster.spacingX = transform[1] * kx * 3600.0;
    raster.spacingY = -transform[5] * ky * 3600.0;
    raster.westPost = (transform[0] + (x0 + 0.5) * transform[1]) * 3600.0;
    raster.northPost = (transform[3] + (y0 + 0.5) * transform[5]) * 3600.0;
    raster.posts.resize(static_cast<size_t>(raster.columns) * raster.rows);
    GDALRasterBandH band = GDALGetRasterBand(dataset, 1);
    int hasNoData = 0;
    const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
    const int span = (raster.columns - 1) * kx + 1;
    std::vector<double> line(static_cast<size_t>(span));
    for (int r = 0; r < raster.rows; ++r) {
        if (GDALRasterIO(band, GF_Read, x0, y0 + r * ky, span, 1, line.data(), span, 1, GDT_Float64, 0, 0) !=
            CE_None)
            return WindowRead::Failed;
        for (int c = 0; c < raster.columns; ++c)
            raster.posts[static_cast<size_t>(r) * raster.columns + c] =
                PostFromValue(line[static_cast<size_t>(c) * kx], hasNoData != 0, noData);
    }
    return WindowRead::Loaded;
}

} // namespace

bool ElevationRaster::CoversLatitude(double y) const
{
    const double dy = northPost - y;
    return dy >= -kTolerance && dy <= (rows - 1) * spacingY + kTolerance;
}

bool ElevationRaster::Covers(double x, double y) const
{
    const double dx = x - westPost;
    return dx >= -kTolerance && dx <= (columns - 1) * spacingX + kTolerance && CoversLatitude(y);
}

int ElevationRaster::Sample(double x, double y) const
{
    const double fx = (x - westPost) / spacingX;
    const double fy = (northPost - y) / spacingY;
    const double rx = std::floor(fx + 0.5);
    const double ry = std::floor(fy + 0.5);
    const int lastColumn = columns - 1;
    const int lastRow = rows - 1;
    auto nearest = [&] {
        const int16_t v =
            Post(std::clamp(static_cast<int>(rx), 0, lastColumn), std::clamp(static_cast<int>(ry), 0, lastRow));
        return IsVoid(v) ? kNoDataSample : v;
    };
    if (std::fabs(fx - rx) < kTolerance && std::fabs(fy - ry) < kTolerance)
        return nearest();
    const int cx = std::clamp(static_cast<int>(std::floor(fx)), 0, lastColumn - 1);
    const int cy = std::clamp(static_cast<int>(std::floor(fy)), 0, lastRow - 1);
    const double wx = std::clamp(fx - cx, 0.0, 1.0);
    const double wy = std::clamp(fy - cy, 0.0, 1.0);
    const int16_t a = Post(cx, cy), b = Post(cx + 1, cy);
    const int16_t c = Post(cx, cy + 1), d = Post(cx + 1, cy + 1);
    if (IsVoid(a) || IsVoid(b) || IsVoid(c) || IsVoid(d))
        return nearest();
    const double upper = a + (b - a) * wx;
    const double lower = c + (d - c) * wx;
    return static_cast<int>(std::lround(upper + (lower - upper) * wy));
}

namespace {

// The first and last post of a side of `size` posts that lie within
// [low, high] (in posts from the side's start) or one post around it.
std::pair<int, int> PostSpan(double low, double high, int size)
{
    const int first = std::clamp(static_cast<int>(std::floor(low + kTolerance)) - 1, 0, size - 1);
    const int last = std::clamp(static_cast<int>(std::ceil(high - kTolerance)) + 1, 0, size - 1);
    return {first, std::max(first, last)};
}

}  // namespace

bool LoadHgtFile(const std::string& path, int latitude, int longitude, ElevationRaster& raster, const HgtBox* box)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    std::fseek(file, 0, SEEK_END);
    const long bytes = std::ftell(file);
    int size = 0;
    if (bytes == 3601L * 3601L * 2L)
        size = 3601;
    else if (bytes == 1201L * 1201L * 2L)
        size = 1201;
    const double postsPerDegree = size - 1;
    // Only the rows and columns of the box are read: a quad across four
    // cells then holds a quarter of each tile, not four whole tiles.
    auto [firstRow, lastRow] = box ? PostSpan((latitude + 1 - box->north) * postsPerDegree,
                                              (latitude + 1 - box->south) * postsPerDegree, size)
                                   : std::pair{0, size - 1};
    auto [firstColumn, lastColumn] = box ? PostSpan((box->west - longitude) * postsPerDegree,
                                                    (box->east - longitude) * postsPerDegree, size)
                                         : std::pair{0, size - 1};
    const int columns = lastColumn - firstColumn + 1;
    std::vector<unsigned char> raw(size > 0 ? static_cast<size_t>(columns) * 2 : 0);
    bool read = size > 0;
    if (read) {
        raster.posts.resize(static_cast<size_t>(lastRow - firstRow + 1) * columns);
        for (int row = firstRow; read && row <= lastRow; ++row) {
            read = std::fseek(file, (static_cast<long>(row) * size + firstColumn) * 2, SEEK_SET) == 0 &&
                   std::fread(raw.data(), 1, raw.size(), file) == raw.size();
            int16_t* out = raster.posts.data() + static_cast<size_t>(row - firstRow) * columns;
            for (int i = 0; read && i < columns; ++i) {
                const auto value = static_cast<int16_t>((raw[2 * i] << 8) | raw[2 * i + 1]);
                out[i] = value == 32767 ? ElevationRaster::kVoidPost : value;
            }
        }
    }
    std::fclose(file);
    if (!read) {
        raster.posts.clear();
        ReportSkippedFile(path, size == 0 ? "an .hgt tile must hold 3601 or 1201 posts square" : "it cannot be read");
        return false;
    }
    raster.name = path;
    raster.columns = columns;
    raster.rows = lastRow - firstRow + 1;
    raster.spacingX = raster.spacingY = 3600.0 / (size - 1);
    raster.westPost = longitude * 3600.0 + firstColumn * raster.spacingX;
    raster.northPost = (latitude + 1) * 3600.0 - firstRow * raster.spacingY;
    return true;
}

bool LoadHgtTile(const std::string& folder, int latitude, int longitude, ElevationRaster& raster)
{
    const std::string name = HgtTileName(latitude, longitude);
    for (const std::string& candidate : {name, Lower(name)})
        if (LoadHgtFile(folder + "/" + candidate, latitude, longitude, raster, nullptr))
            return true;
    return false;
}

namespace {

// The formats a user drops into a data folder as single files (or, for an
// ESRI binary grid, a folder of its own). Formats that point at other files
// or URLs (VRT and the like) are never opened, so nothing outside the folder
// is read.
const char* const kDataFolderDrivers[] = {"GTiff", "AIG", "AAIGrid", "EHdr", "USGSDEM", "SRTMHGT", "GSAG", "GSBG",
                                          nullptr};

// Why an entry of the data folder is not opened at all, or an empty text:
// only regular files and folders inside the data folder are, so a FIFO or a
// device can never block a read and a link cannot lead elsewhere.
std::string WhyNotOpened(const fs::path& entry, const fs::path& canonicalFolder)
{
    std::error_code error;
    const fs::file_status status = fs::status(entry, error);
    if (error)
        return "it cannot be examined";
    if (!fs::is_regular_file(status) && !fs::is_directory(status))
        return "it is no regular file";
    if (fs::is_symlink(fs::symlink_status(entry, error))) {
        const fs::path target = fs::canonical(entry, error);
        const auto [end, unused] = std::mismatch(canonicalFolder.begin(), canonicalFolder.end(), target.begin(),
                                                 target.end());
        if (error || end != canonicalFolder.end())
            return "it is a link to a place outside the data folder";
    }
    return {};
}

}  // namespace

std::vector<ElevationRaster> LoadFolderRasters(const std::string& folder, double west, double east, double south,
                                               double north)
{
    std::error_code error;
    std::vector<fs::path> entries;
    for (const auto& entry : fs::directory_iterator(folder, error)) {
        const std::string name = entry.path().filename().string();
        if (!name.empty() && name[0] != '.' && Lower(entry.path().extension().string()) != ".hgt")
            entries.push_back(entry.path());
    }
    std::sort(entries.begin(), entries.end());

    EnsureGdalDrivers();
    QuietGdalErrors quiet;
    std::vector<ElevationRaster> rasters;
    std::set<std::string> companions;  // files GDAL read as part of another raster
    std::vector<std::pair<std::string, std::string>> rejected;
    const fs::path canonicalFolder = fs::canonical(folder, error);
    for (const fs::path& entry : entries) {
        const std::string path = entry.string();
        // GDAL reads paths that begin with /vsi as virtual file systems
        // (archives, URLs): the data folder holds plain files only.
        if (const std::string why = path.rfind("/vsi", 0) == 0 ? "GDAL would read it as a virtual file system"
                                                                : WhyNotOpened(entry, canonicalFolder);
            !why.empty()) {
            rejected.emplace_back(path, why);
            continue;
        }
        const bool isFolder = fs::is_directory(entry, error);
        GdalDataset dataset(
            GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, kDataFolderDrivers, nullptr, nullptr));
        if (!dataset) {
            if (!isFolder)  // a folder that is no raster (such as an ESRI grid's info/) is no file to name
                rejected.emplace_back(path, "it is no raster of the formats read here (GeoTIFF, ESRI grid, "
                                            "BIL with header, USGS DEM, height file, Surfer grid)");
            continue;
        }
        char** files = GDALGetFileList(dataset.get());
        for (char** file = files; file && *file; ++file)
            if (path != *file)
                companions.insert(fs::path(*file).lexically_normal().string());
        CSLDestroy(files);

        double transform[6] = {};
        std::string reason = GDALGetGeoTransform(dataset.get(), transform) == CE_None
                                 ? RejectionReason(dataset.get(), transform)
                                 : "it has no georeferencing";
        if (!reason.empty()) {
            rejected.emplace_back(path, reason);
            continue;
        }
        ElevationRaster raster;
        raster.name = path;
        const WindowRead read = ReadWindow(dataset.get(), transform, west, east, south, north, raster);
        if (read == WindowRead::Loaded)
            rasters.push_back(std::move(raster));
        else if (read == WindowRead::Failed)
            rejected.emplace_back(path, "reading its posts failed");
    }
    for (const auto& [path, reason] : rejected)
        if (!companions.count(fs::path(path).lexically_normal().string()))
            ReportSkippedFile(path, reason);
    return rasters;
}

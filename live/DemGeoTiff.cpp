#include "live/DemGeoTiff.h"
#include "live/GdalDataset.h"

#include <cpl_error.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <vector>

namespace {

constexpr int kPosts = 3601;
constexpr double kPostSpacing = 1.0 / 3600.0;
// Rounding noise of the geotransform, in pixels.
constexpr double kPixelTolerance = 1e-4;
// Larger rasters are no 1" tile of one cell (a real one is 3612 a side).
constexpr int kLargestSide = 8000;

GdalDataset OpenGeoTiff(const std::string& path)
{
    static std::once_flag once;
    std::call_once(once, [] { GDALAllRegister(); });
    const char* const onlyGeoTiff[] = {"GTiff", nullptr};
    return GdalDataset(GDALOpenEx(path.c_str(), GDAL_OF_RASTER | GDAL_OF_READONLY, onlyGeoTiff, nullptr, nullptr));
}

bool IsAcceptedDatum(const std::string& datum)
{
    for (const char* known : {"North_American_Datum_1983", "NAD83", "NAD_1983", "WGS_1984", "WGS84"})
        if (datum.find(known) != std::string::npos)
            return true;
    return false;
}

std::string CrsProblem(GDALDatasetH dataset)
{
    OGRSpatialReferenceH srs = GDALGetSpatialRef(dataset);
    if (!srs)
        return "it has no coordinate system";
    if (!OSRIsGeographic(srs))
        return "its coordinates are not geographic (longitude/latitude)";
    const char* datum = OSRGetAttrValue(srs, "DATUM", 0);
    if (!datum || !IsAcceptedDatum(datum))
        return std::string("its datum is ") + (datum ? datum : "unknown") + ", not NAD83 or WGS84";
    return {};
}

// Where the posts of a cell fall among the file's pixel centres.
struct PixelGrid {
    double x0 = 0, y0 = 0;        // pixel coordinates of post (0, 0), the north-west corner
    double stepX = 0, stepY = 0;  // pixels per post along each axis
};

std::string GridProblem(GDALDatasetH dataset, const HgtCell& cell, PixelGrid& grid)
{
    double t[6];
    if (GDALGetGeoTransform(dataset, t) != CE_None)
        return "it has no geotransform";
    if (!std::all_of(t, t + 6, [](double v) { return std::isfinite(v); }))
        return "its geotransform is not finite";
    if (t[2] != 0.0 || t[4] != 0.0 || !(t[1] > 0.0) || !(t[5] < 0.0))
        return "it is not north-up";
    if (std::fabs(t[1] - kPostSpacing) > kPostSpacing * 0.01 || std::fabs(-t[5] - kPostSpacing) > kPostSpacing * 0.01)
        return "its pixels are not 1 arc-second";
    const int columns = GDALGetRasterXSize(dataset);
    const int rows = GDALGetRasterYSize(dataset);
    if (columns < 2 || rows < 2 || columns > kLargestSide || rows > kLargestSide)
        return "it is " + std::to_string(columns) + " x " + std::to_string(rows) + " pixels, no tile of one cell";
    grid.x0 = (cell.longitude - t[0]) / t[1] - 0.5;
    grid.y0 = (cell.latitude + 1 - t[3]) / t[5] - 0.5;
    grid.stepX = kPostSpacing / t[1];
    grid.stepY = kPostSpacing / -t[5];
    const double x1 = grid.x0 + (kPosts - 1) * grid.stepX;
    const double y1 = grid.y0 + (kPosts - 1) * grid.stepY;
    if (grid.x0 < -kPixelTolerance || grid.y0 < -kPixelTolerance || x1 > columns - 1 + kPixelTolerance ||
        y1 > rows - 1 + kPixelTolerance)
        return "its " + std::to_string(columns) + " x " + std::to_string(rows) +
               " pixels do not cover the cell " + HgtCellName(cell);
    return {};
}

// Two neighbouring rows of the band, read as they are needed: the posts go
// north to south, so each row is read once or twice, never the whole band.
class RowWindow {
public:
    RowWindow(GDALRasterBandH band, int columns) : band_(band), columns_(columns)
    {
        for (Row& row : rows_)
            row.values.resize(static_cast<size_t>(columns));
    }

    // Row `index`, reading it into the slot that does not hold row `keep`.
    const double* Read(int index, int keep)
    {
        for (Row& row : rows_)
            if (row.index == index)
                return row.values.data();
        Row& slot = rows_[0].index == keep ? rows_[1] : rows_[0];
        slot.index = -1;
        if (GDALRasterIO(band_, GF_Read, 0, index, columns_, 1, slot.values.data(), columns_, 1, GDT_Float64, 0,
                         0) != CE_None)
            return nullptr;
        slot.index = index;
        return slot.values.data();
    }

private:
    struct Row {
        int index = -1;
        std::vector<double> values;
    };
    GDALRasterBandH band_;
    int columns_;
    Row rows_[2];
};

// The pixel at or below `at` and the weight of the next one; on a centre
// (within rounding noise) the weight is 0 so the pixel is taken as it is.
void Split(double at, int last, int& index, double& weight)
{
    index = std::clamp(static_cast<int>(std::floor(at + kPixelTolerance)), 0, last);
    weight = std::clamp(at - index, 0.0, 1.0);
    if (weight < kPixelTolerance)
        weight = 0.0;
}

int16_t ToPost(double height)
{
    const double rounded = std::round(height);
    return static_cast<int16_t>(std::clamp(rounded, -32767.0, 32767.0));
}

class Resampler {
public:
    Resampler(GDALRasterBandH band, int columns, int rows, double noData)
        : window_(band, columns), lastColumn_(columns - 1), lastRow_(rows - 1), noData_(noData)
    {
    }

    // One row of posts at pixel row `y`, columns from `x0` by `step`.
    bool Row(double y, double x0, double step, std::vector<unsigned char>& out)
    {
        int top = 0;
        double wy = 0;
        Split(y, lastRow_, top, wy);
        const double* north = window_.Read(top, -1);
        const double* south = wy > 0 ? window_.Read(std::min(top + 1, lastRow_), top) : north;
        if (!north || !south)
            return false;
        for (int post = 0; post < kPosts; ++post) {
            int left = 0;
            double wx = 0;
            Split(x0 + post * step, lastColumn_, left, wx);
            const int right = std::min(left + 1, lastColumn_);
            const int16_t value = Sample(north, south, left, right, wx, wy);
            const auto bits = static_cast<uint16_t>(value);
            out[2 * post] = static_cast<unsigned char>(bits >> 8);
            out[2 * post + 1] = static_cast<unsigned char>(bits & 0xff);
        }
        return true;
    }

private:
    bool IsVoid(double value) const { return std::isnan(value) || value == noData_; }

    int16_t Sample(const double* north, const double* south, int left, int right, double wx, double wy) const
    {
        const double nw = north[left], ne = north[right], sw = south[left], se = south[right];
        const bool needEast = wx > 0, needSouth = wy > 0;
        const bool anyVoid = IsVoid(nw) || (needEast && IsVoid(ne)) || (needSouth && IsVoid(sw)) ||
                             (needEast && needSouth && IsVoid(se));
        if (anyVoid) {
            const double nearest = wy < 0.5 ? (wx < 0.5 ? nw : ne) : (wx < 0.5 ? sw : se);
            return IsVoid(nearest) ? HgtVoid() : ToPost(nearest);
        }
        const double top = needEast ? nw + (ne - nw) * wx : nw;
        const double bottom = needEast ? sw + (se - sw) * wx : sw;
        return ToPost(needSouth ? top + (bottom - top) * wy : top);
    }

    static int16_t HgtVoid() { return -32768; }

    RowWindow window_;
    int lastColumn_;
    int lastRow_;
    double noData_;
};

}  // namespace

bool ConvertDemGeoTiff(const std::string& tiffPath, const HgtCell& cell, std::FILE* out, std::string& error)
{
    QuietGdalErrors quiet;
    const GdalDataset dataset = OpenGeoTiff(tiffPath);
    if (!dataset) {
        error = "it is no readable GeoTIFF";
        return false;
    }
    GDALDatasetH handle = dataset.get();
    if (GDALGetRasterCount(handle) < 1) {
        error = "it holds no raster band";
        return false;
    }
    GDALRasterBandH band = GDALGetRasterBand(handle, 1);
    if (GDALDataTypeIsComplex(GDALGetRasterDataType(band))) {
        error = "its values are complex numbers";
        return false;
    }
    // GDAL reads a whole block to give one row of it: a file that declares
    // one huge block would take gigabytes for a row. Real tiles use blocks
    // of a few hundred pixels a side or strips of a few rows.
    constexpr long long kMaxBlockBytes = 64ll << 20;
    int blockColumns = 0, blockRows = 0;
    GDALGetBlockSize(band, &blockColumns, &blockRows);
    const long long blockBytes = static_cast<long long>(blockColumns) * blockRows *
                                 GDALGetDataTypeSizeBytes(GDALGetRasterDataType(band));
    if (blockColumns <= 0 || blockRows <= 0 || blockBytes > kMaxBlockBytes) {
        error = "its blocks of " + std::to_string(blockColumns) + " x " + std::to_string(blockRows) +
                " pixels are too large to read";
        return false;
    }
    PixelGrid grid;
    error = CrsProblem(handle);
    if (error.empty())
        error = GridProblem(handle, cell, grid);
    int hasNoData = 0;
    const double noData = GDALGetRasterNoDataValue(band, &hasNoData);
    if (error.empty() && !hasNoData)
        error = "it declares no no-data value";
    if (!error.empty())
        return false;

    Resampler resampler(band, GDALGetRasterXSize(handle), GDALGetRasterYSize(handle), noData);
    std::vector<unsigned char> row(2 * kPosts);
    for (int post = 0; post < kPosts; ++post) {
        if (!resampler.Row(grid.y0 + post * grid.stepY, grid.x0, grid.stepX, row)) {
            error = "its pixels cannot be read";
            return false;
        }
        if (std::fwrite(row.data(), 1, row.size(), out) != row.size()) {
            error = "the height file could not be written";
            return false;
        }
    }
    return true;
}

std::string DemGeoTiffUrl(const std::string& baseUrl, const HgtCell& cell)
{
    std::string base = baseUrl;
    while (!base.empty() && base.back() == '/')
        base.pop_back();
    const int north = cell.latitude + 1;
    char name[16];
    std::snprintf(name, sizeof name, "%c%02d%c%03d", north < 0 ? 's' : 'n', std::abs(north) % 100,
                  cell.longitude < 0 ? 'w' : 'e', std::abs(cell.longitude) % 1000);
    return base + "/" + name + "/USGS_1_" + name + ".tif";
}

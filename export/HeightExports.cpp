#include "export/HeightExports.h"

#include "core/PngRowWriter.h"
#include "export/GdalSession.h"
#include "export/TgaImage.h"
#include "raster/TGAFile.h"

#include <QImage>

#include <cpl_conv.h>
#include <cpl_error.h>
#include <cpl_string.h>
#include <gdal.h>
#include <ogr_srs_api.h>

#include <cstdio>
#include <limits>
#include <memory>
#include <vector>

namespace {

// The PNG writer takes the format from the name, and the temporary name has
// no ".png", so the format is named.
bool SavePng(const QImage& image, const std::string& path, std::string& error)
{
    if (image.isNull()) {
        error = "not enough memory for the image";
        return false;
    }
    if (!image.save(QString::fromStdString(path), "PNG")) {
        error = "the PNG could not be written";
        return false;
    }
    return true;
}

// The image as an 8-bit RGB PNG, top row first, into `file` as it is encoded.
bool WriteRgbRows(const TGAFile& image, std::FILE* file)
{
    PngRowWriter png(image.GetWidth(), image.GetHeight(), [file](const char* data, size_t size) {
        return std::fwrite(data, 1, size, file) == size;
    }, PngRowWriter::Compression::Default);
    std::vector<uint8_t> row(static_cast<size_t>(image.GetWidth()) * 3);
    for (int y = image.GetHeight() - 1; y >= 0; --y) {
        for (int x = 0; x < image.GetWidth(); ++x) {
            uint8_t bgr[32] = {};
            image.GetPixel(x, y, bgr);
            row[x * 3] = bgr[2], row[x * 3 + 1] = bgr[1], row[x * 3 + 2] = bgr[0];
        }
        if (!png.WriteRows(row.data(), 1))
            return false;
    }
    return png.Finish();
}

struct DatasetCloser {
    void operator()(void* dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

// GDAL's own messages would go to standard error; the export reports them in
// its own line instead.
class QuietGdalErrors {
public:
    QuietGdalErrors()
    {
        CPLPushErrorHandler(CPLQuietErrorHandler);
        CPLErrorReset();
    }
    ~QuietGdalErrors() { CPLPopErrorHandler(); }
    QuietGdalErrors(const QuietGdalErrors&) = delete;
    QuietGdalErrors& operator=(const QuietGdalErrors&) = delete;
};

bool SetPlacement(GDALDatasetH dataset, const HeightMapPlacement& placement)
{
    // Pixel-is-point: the GDAL geotransform still names the top-left corner
    // of the top-left pixel, half a spacing north-west of its post.
    const double dx = placement.SpacingX();
    const double dy = placement.SpacingY();
    double transform[6] = {placement.Longitude(0) - dx / 2, dx, 0.0, placement.Latitude(0) + dy / 2, 0.0, -dy};
    OGRSpatialReferenceH wgs84 = OSRNewSpatialReference(nullptr);
    const bool ok = OSRImportFromEPSG(wgs84, 4326) == OGRERR_NONE &&
                    GDALSetMetadataItem(dataset, GDALMD_AREA_OR_POINT, GDALMD_AOP_POINT, nullptr) == CE_None &&
                    GDALSetSpatialRef(dataset, wgs84) == CE_None &&
                    GDALSetGeoTransform(dataset, transform) == CE_None;
    OSRDestroySpatialReference(wgs84);
    return ok;
}

} // namespace

bool WritePng16(const HeightSamples& samples, const GreyScale& grey, const std::string& path, std::string& error)
{
    QImage image(samples.columns, samples.rows, QImage::Format_Grayscale16);
    if (image.isNull())
        return SavePng(image, path, error);
    for (int row = 0; row < samples.rows; ++row) {
        auto* line = reinterpret_cast<quint16*>(image.scanLine(row));
        for (int column = 0; column < samples.columns; ++column)
            line[column] = grey.Grey(samples.At(column, row));
    }
    return SavePng(image, path, error);
}

bool WriteRaw16(const HeightSamples& samples, const GreyScale& grey, const std::string& path, std::string& error)
{
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "the file could not be created";
        return false;
    }
    std::vector<unsigned char> line(static_cast<size_t>(samples.columns) * 2);
    bool ok = true;
    for (int row = 0; row < samples.rows && ok; ++row) {
        for (int column = 0; column < samples.columns; ++column) {
            const uint16_t value = grey.Grey(samples.At(column, row));
            line[2 * column] = static_cast<unsigned char>(value & 0xff);
            line[2 * column + 1] = static_cast<unsigned char>(value >> 8);
        }
        ok = std::fwrite(line.data(), 1, line.size(), file) == line.size();
    }
    if (std::fclose(file) != 0)
        ok = false;
    if (!ok)
        error = "writing the file failed";
    return ok;
}

bool WriteGeoTiff(const HeightSamples& samples, const HeightMapPlacement& placement, const std::string& path,
                  std::string& error)
{
    std::vector<int16_t> posts(samples.values.size());
    for (size_t i = 0; i < posts.size(); ++i) {
        const int32_t value = samples.values[i];
        if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max()) {
            error = "the height " + std::to_string(value) + " m does not fit a 16-bit GeoTIFF";
            return false;
        }
        posts[i] = static_cast<int16_t>(value);
    }

    EnsureGdalDrivers();
    QuietGdalErrors quiet;
    GDALDriverH driver = GDALGetDriverByName("GTiff");
    if (!driver) {
        error = "GDAL has no GeoTIFF driver";
        return false;
    }
    char** options = CSLSetNameValue(nullptr, "COMPRESS", "DEFLATE");
    options = CSLSetNameValue(options, "PREDICTOR", "2");
    Dataset dataset(GDALCreate(driver, path.c_str(), samples.columns, samples.rows, 1, GDT_Int16, options));
    CSLDestroy(options);
    if (!dataset) {
        error = LastGdalError("the GeoTIFF could not be created");
        return false;
    }
    GDALRasterBandH band = GDALGetRasterBand(dataset.get(), 1);
    if (!SetPlacement(dataset.get(), placement) || GDALSetRasterNoDataValue(band, 0.0) != CE_None ||
        GDALRasterIO(band, GF_Write, 0, 0, samples.columns, samples.rows, posts.data(), samples.columns,
                     samples.rows, GDT_Int16, 0, 0) != CE_None) {
        error = LastGdalError("writing the GeoTIFF failed");
        return false;
    }
    dataset.reset();  // closing writes the last blocks and the header
    if (CPLGetLastErrorType() >= CE_Failure) {
        error = LastGdalError("writing the GeoTIFF failed");
        return false;
    }
    return true;
}

bool WriteTexturePng(const std::string& texture, const std::string& path, std::string& error)
{
    TGAFile image;
    if (image.Open(texture) != 0) {
        error = "cannot read the texture \"" + texture + "\"";
        return false;
    }
    // Row by row beside the texture, never a second copy of it: a texture
    // of 9600 rows is 200 MB.
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) {
        error = "the PNG could not be written";
        return false;
    }
    const bool written = WriteRgbRows(image, file);
    if (std::fclose(file) != 0 || !written) {
        error = "the PNG could not be written";
        return false;
    }
    return true;
}

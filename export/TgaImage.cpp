#include "export/TgaImage.h"

#include "raster/TGAFile.h"

#include <cstdint>

QImage TgaToImage(const TGAFile& image)
{
    const int width = image.GetWidth();
    const int height = image.GetHeight();
    QImage picture(width, height, QImage::Format_RGB888);
    if (picture.isNull())
        return picture;
    // Images of fewer than three bytes a pixel lack green and red; they read as 0.
    const int bytes = image.BytesPerPixel();
    if (bytes < 1) {
        picture.fill(Qt::black);
        return picture;
    }
    for (int row = 0; row < height; ++row) {
        const uint8_t* source = image.Row(height - 1 - row);
        uchar* line = picture.scanLine(row);
        for (int x = 0; x < width; ++x, source += bytes) {
            line[3 * x] = bytes > 2 ? source[2] : 0;
            line[3 * x + 1] = bytes > 1 ? source[1] : 0;
            line[3 * x + 2] = source[0];
        }
    }
    return picture;
}

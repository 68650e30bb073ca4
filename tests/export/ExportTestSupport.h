#pragma once

#include "raster/TGAFile.h"

#include <gdal.h>

#include <functional>
#include <memory>
#include <string>

namespace exporttest {

// Writes a height map of `columns` × `rows` posts whose post (column, row),
// rows counted from the north, holds height(column, row).
inline void WriteHeightMap(const std::string& path, int columns, int rows,
                           const std::function<int(int column, int row)>& height)
{
    TGAFile image;
    image.Create(columns, rows);
    for (int row = 0; row < rows; ++row)
        for (int column = 0; column < columns; ++column)
            image.SetValue(column, rows - 1 - row, height(column, row));
    image.Write(path);
}

struct DatasetCloser {
    void operator()(void* dataset) const { GDALClose(dataset); }
};
using Dataset = std::unique_ptr<void, DatasetCloser>;

inline Dataset OpenWithGdal(const std::string& path)
{
    GDALAllRegister();
    return Dataset(GDALOpen(path.c_str(), GA_ReadOnly));
}

} // namespace exporttest

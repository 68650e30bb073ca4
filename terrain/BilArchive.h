#pragma once

#include "terrain/ElevationGrid.h"

#include <string>

// The three files of an elevation extract: a one-band 16-bit big-endian BIL
// raster, its header and its statistics line, packed as B/B.bil, B/B.hdr and
// B/B.stx in a ZIP archive whose base name B the service chooses.

std::string BilHeaderText(const ElevationGrid& grid);
std::string BilStatisticsText(const ElevationGrid& grid);
std::string BilRasterBytes(const ElevationGrid& grid);

// The archive bytes, or an empty string when libzip fails. `compressionLevel`
// 1 (fastest) to 9; 0 stores the members uncompressed.
std::string MakeBilArchive(const std::string& baseName, const ElevationGrid& grid,
                           int compressionLevel = 1);
// The same, using up `grid`: its samples become the raster bytes where they
// lie, so that the grid is held once while the archive is built, not twice.
std::string MakeBilArchive(const std::string& baseName, ElevationGrid&& grid, int compressionLevel = 1);

// Renames the members of an archive made by MakeBilArchive from base name
// `from` to `to`, a name of the same length, in its local headers and its
// central directory; the members' data stay as they are. False (and
// `archive` untouched) when the names differ in length or the archive is
// not laid out as MakeBilArchive lays it out.
bool RenameBilArchive(std::string& archive, const std::string& from, const std::string& to);

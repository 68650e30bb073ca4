#include "services/ElevationSource.h"

#include "services/SyntheticTerrain.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>

namespace {

struct HgtTile {
    int size = 0;  // posts on a side
    std::vector<int16_t> posts;

    int16_t Post(int column, int row) const
    {
        return posts[static_cast<size_t>(row) * size + column];
    }
};

bool IsVoid(int16_t value) { return value == -32768 || value == 32767; }

std::unique_ptr<HgtTile> LoadTile(const std::string& folder, int latitude, int longitude)
{
    std::string name = HgtTileName(latitude, longitude);
    std::string lower = name;
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    for (const std::string& candidate : {name, lower}) {
        const std::string path = folder + "/" + candidate;
        std::FILE* file = std::fopen(path.c_str(), "rb");
        if (!file)
            continue;
        std::fseek(file, 0, SEEK_END);
        const long bytes = std::ftell(file);
        std::fseek(file, 0, SEEK_SET);
        int size = 0;
        if (bytes == 3601L * 3601L * 2L)
            size = 3601;
        else if (bytes == 1201L * 1201L * 2L)
            size = 1201;
        if (size == 0) {
            std::fclose(file);
            continue;
        }
        auto tile = std::make_unique<HgtTile>();
        tile->size = size;
        std::vector<unsigned char> raw(static_cast<size_t>(bytes));
        const size_t read = std::fread(raw.data(), 1, raw.size(), file);
        std::fclose(file);
        if (read != raw.size())
            continue;
        tile->posts.resize(static_cast<size_t>(size) * size);
        for (size_t i = 0; i < tile->posts.size(); ++i)
            tile->posts[i] = static_cast<int16_t>((raw[2 * i] << 8) | raw[2 * i + 1]);
        return tile;
    }
    return nullptr;
}

// The post of a tile at arc-second position (x, y) relative to the tile's
// south-west corner: exact where the position falls on a tile post, else
// interpolated between the four around it (nearest one if any is void).
int SampleTile(const HgtTile& tile, double x, double y)
{
    const double spacing = 3600.0 / (tile.size - 1);
    const double fx = x / spacing;
    const double fy = (3600.0 - y) / spacing;
    const double rx = std::floor(fx + 0.5);
    const double ry = std::floor(fy + 0.5);
    const int last = tile.size - 1;
    if (std::fabs(fx - rx) < 1e-6 && std::fabs(fy - ry) < 1e-6) {
        const int16_t v = tile.Post(std::clamp(static_cast<int>(rx), 0, last),
                                    std::clamp(static_cast<int>(ry), 0, last));
        return IsVoid(v) ? kNoDataSample : v;
    }
    const int cx = std::clamp(static_cast<int>(std::floor(fx)), 0, last - 1);
    const int cy = std::clamp(static_cast<int>(std::floor(fy)), 0, last - 1);
    const double wx = std::clamp(fx - cx, 0.0, 1.0);
    const double wy = std::clamp(fy - cy, 0.0, 1.0);
    const int16_t a = tile.Post(cx, cy), b = tile.Post(cx + 1, cy);
    const int16_t c = tile.Post(cx, cy + 1), d = tile.Post(cx + 1, cy + 1);
    if (IsVoid(a) || IsVoid(b) || IsVoid(c) || IsVoid(d)) {
        const int16_t v = tile.Post(std::clamp(static_cast<int>(rx), 0, last),
                                    std::clamp(static_cast<int>(ry), 0, last));
        return IsVoid(v) ? kNoDataSample : v;
    }
    const double top = a + (b - a) * wx;
    const double bottom = c + (d - c) * wx;
    return static_cast<int>(std::lround(top + (bottom - top) * wy));
}

}  // namespace

std::string HgtTileName(int latitude, int longitude)
{
    char name[32];
    std::snprintf(name, sizeof name, "%c%02d%c%03d.hgt", latitude < 0 ? 'S' : 'N',
                  std::abs(latitude), longitude < 0 ? 'W' : 'E', std::abs(longitude));
    return name;
}

bool BuildElevationGrid(const ElevationSourceOptions& options, double west, double east,
                        double south, double north, ElevationGrid& grid)
{
    if (!ShapeGrid(grid, west, east, south, north))
        return false;

    // Tiles that touch the box; a post on a tile edge can be read from
    // either neighbour.
    std::map<std::pair<int, int>, std::unique_ptr<HgtTile>> tiles;
    if (!options.hgtFolder.empty()) {
        for (int lat = static_cast<int>(std::floor(south)); lat <= static_cast<int>(std::floor(north)); ++lat)
            for (int lon = static_cast<int>(std::floor(west)); lon <= static_cast<int>(std::floor(east)); ++lon)
                if (auto tile = LoadTile(options.hgtFolder, lat, lon))
                    tiles[{lat, lon}] = std::move(tile);
    }

    const size_t count = grid.samples.size();
    std::vector<bool> fromTile(count, false);
    size_t covered = 0;
    if (!tiles.empty()) {
        // The tile of the previous post serves most posts; the map is asked
        // only when a post leaves it, or reaches the edge of a coarse tile,
        // where a finer neighbour may hold the post itself.
        const HgtTile* tile = nullptr;
        int tileLat = 0, tileLon = 0;
        auto covers = [](int lat, int lon, double x, double y) {
            const double dx = x - lon * 3600.0, dy = y - lat * 3600.0;
            return dx >= -1e-6 && dx <= 3600.0 + 1e-6 && dy >= -1e-6 && dy <= 3600.0 + 1e-6;
        };
        auto inside = [](int lat, int lon, double x, double y) {
            const double dx = x - lon * 3600.0, dy = y - lat * 3600.0;
            return dx > 1e-6 && dx < 3600.0 - 1e-6 && dy > 1e-6 && dy < 3600.0 - 1e-6;
        };
        for (int row = 0; row < grid.rows; ++row) {
            const double y = grid.RowArcSeconds(row);
            for (int column = 0; column < grid.columns; ++column) {
                const double x = grid.ColumnArcSeconds(column);
                if (!tile || !covers(tileLat, tileLon, x, y) ||
                    (tile->size != 3601 && !inside(tileLat, tileLon, x, y))) {
                    // Of the tiles that hold the post (more than one on an
                    // edge), the finest.
                    tile = nullptr;
                    const int lat = static_cast<int>(std::floor(y / 3600.0));
                    const int lon = static_cast<int>(std::floor(x / 3600.0));
                    for (int dy = 0; dy >= -1; --dy) {
                        for (int dx = 0; dx >= -1; --dx) {
                            if (!covers(lat + dy, lon + dx, x, y))
                                continue;
                            const auto found = tiles.find({lat + dy, lon + dx});
                            if (found != tiles.end() && (!tile || found->second->size > tile->size)) {
                                tile = found->second.get();
                                tileLat = lat + dy;
                                tileLon = lon + dx;
                            }
                        }
                    }
                    if (!tile)
                        continue;
                }
                const size_t index = static_cast<size_t>(row) * grid.columns + column;
                grid.samples[index] = static_cast<int16_t>(
                    SampleTile(*tile, x - tileLon * 3600.0, y - tileLat * 3600.0));
                fromTile[index] = true;
                ++covered;
            }
        }
    }
    if (covered == count)
        return true;
    if (covered == 0) {
        FillSyntheticTerrain(grid);
        StampSyntheticVoids(grid, options.voidFraction);
        return true;
    }

    ElevationGrid synthetic = grid;
    FillSyntheticTerrain(synthetic);
    std::vector<bool> eligible(count);
    for (size_t i = 0; i < count; ++i) {
        eligible[i] = !fromTile[i];
        if (!fromTile[i])
            grid.samples[i] = synthetic.samples[i];
    }
    StampSyntheticVoids(grid, options.voidFraction, &eligible);
    return true;
}

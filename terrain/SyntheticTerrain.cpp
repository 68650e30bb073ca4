#include "terrain/SyntheticTerrain.h"

#include "terrain/Noise.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

struct Knot {
    double longitude;
    double value;
};

// Mean height and local relief across the continent, west to east.
constexpr std::array<Knot, 18> kBaseHeight{{
    {-125.0, 250},  {-122.5, 450},  {-120.5, 1500}, {-118.5, 1300}, {-115.0, 1450},
    {-112.0, 1650}, {-108.5, 2200}, {-105.5, 2100}, {-103.5, 1350}, {-100.0, 700},
    {-97.0, 420},   {-94.0, 300},   {-90.0, 180},   {-85.5, 260},   {-82.5, 600},
    {-79.5, 350},   {-76.5, 60},    {-67.0, 120},
}};
constexpr std::array<Knot, 14> kRelief{{
    {-125.0, 500},  {-121.0, 1500}, {-118.0, 900},  {-114.0, 1000}, {-110.5, 1200},
    {-106.5, 1700}, {-104.0, 250},  {-100.0, 120},  {-95.0, 90},    {-89.0, 70},
    {-84.0, 650},   {-80.5, 450},   {-77.0, 80},    {-67.0, 300},
}};

template <size_t N>
double Interpolate(const std::array<Knot, N>& knots, double longitude)
{
    if (longitude <= knots.front().longitude)
        return knots.front().value;
    if (longitude >= knots.back().longitude)
        return knots.back().value;
    for (size_t i = 1; i < N; ++i) {
        if (longitude <= knots[i].longitude) {
            const double t = (longitude - knots[i - 1].longitude) /
                             (knots[i].longitude - knots[i - 1].longitude);
            return knots[i - 1].value + (knots[i].value - knots[i - 1].value) * SmoothStep(t);
        }
    }
    return knots.back().value;
}

enum class Kind { Regional, RegionalMask, Relief, RidgedRelief, Detail };

struct Octave {
    double cell;    // arc-seconds
    double weight;  // metres for Regional and Detail, share of the relief otherwise
    Kind kind;
    uint64_t seed;
};

constexpr std::array<Octave, 9> kOctaves{{
    {10800.0, 320.0, Kind::Regional, 11},
    {7200.0, 1.0, Kind::RegionalMask, 12},
    {1800.0, 0.42, Kind::RidgedRelief, 13},
    {600.0, 0.26, Kind::RidgedRelief, 14},
    {200.0, 0.17, Kind::Relief, 15},
    {70.0, 0.06, Kind::Relief, 16},
    {25.0, 0.025, Kind::Relief, 17},
    {9.0, 5.0, Kind::Detail, 18},
    {3.5, 2.0, Kind::Detail, 19},
}};

// Value noise evaluated along grid rows: the lattice values of the current
// lattice row pair are blended once per grid row, so each post costs one
// interpolation per octave.
class RowNoise {
public:
    RowNoise(const Octave& octave, double firstX, double step, int count) : octave_(octave)
    {
        const double cell = octave.cell;
        first_ = static_cast<int64_t>(std::floor(firstX / cell));
        int64_t last = first_ + 1;
        index_.resize(count);
        weight_.resize(count);
        for (int i = 0; i < count; ++i) {
            const double f = (firstX + i * step) / cell;
            const double floorF = std::floor(f);
            index_[i] = static_cast<int>(static_cast<int64_t>(floorF) - first_);
            weight_[i] = SmoothStep(f - floorF);
            last = std::max(last, static_cast<int64_t>(floorF) + 1);
        }
        latticeCount_ = static_cast<int>(last - first_ + 1);
        upper_.resize(latticeCount_);
        lower_.resize(latticeCount_);
        line_.resize(latticeCount_);
    }

    // Noise values of one grid row at arc-second latitude y.
    const std::vector<double>& Row(double y, std::vector<double>& out)
    {
        const double f = y / octave_.cell;
        const double floorF = std::floor(f);
        const auto iy = static_cast<int64_t>(floorF);
        if (!haveRow_ || iy != rowIndex_) {
            for (int k = 0; k < latticeCount_; ++k) {
                upper_[k] = CellRandom(first_ + k, iy, octave_.seed);
                lower_[k] = CellRandom(first_ + k, iy + 1, octave_.seed);
            }
            rowIndex_ = iy;
            haveRow_ = true;
        }
        const double wy = SmoothStep(f - floorF);
        for (int k = 0; k < latticeCount_; ++k)
            line_[k] = upper_[k] + (lower_[k] - upper_[k]) * wy;
        out.resize(index_.size());
        for (size_t i = 0; i < index_.size(); ++i) {
            const double a = line_[index_[i]];
            const double b = line_[index_[i] + 1];
            out[i] = a + (b - a) * weight_[i];
        }
        return out;
    }

private:
    Octave octave_;
    int64_t first_ = 0;
    int latticeCount_ = 0;
    std::vector<int> index_;
    std::vector<double> weight_;
    std::vector<double> upper_, lower_, line_;
    int64_t rowIndex_ = 0;
    bool haveRow_ = false;
};

// Posts `step` arc-seconds apart, the first at (firstX, northY).
void FillRows(double firstX, int columns, double northY, int rows, int16_t* out, double step = 1.0)
{
    std::vector<double> base(columns);
    std::vector<double> relief(columns);
    for (int i = 0; i < columns; ++i) {
        const double longitude = (firstX + i * step) / 3600.0;
        base[i] = Interpolate(kBaseHeight, longitude);
        relief[i] = Interpolate(kRelief, longitude);
    }
    std::vector<RowNoise> noises;
    noises.reserve(kOctaves.size());
    for (const Octave& octave : kOctaves)
        noises.emplace_back(octave, firstX, step, columns);

    std::vector<double> absolute(columns);
    std::vector<double> shape(columns);
    std::vector<double> mask(columns);
    std::vector<double> values;
    for (int row = 0; row < rows; ++row) {
        const double y = northY - row * step;
        std::fill(absolute.begin(), absolute.end(), 0.0);
        std::fill(shape.begin(), shape.end(), 0.0);
        for (size_t o = 0; o < kOctaves.size(); ++o) {
            const Octave& octave = kOctaves[o];
            noises[o].Row(y, values);
            switch (octave.kind) {
            case Kind::Regional:
            case Kind::Detail:
                for (int i = 0; i < columns; ++i)
                    absolute[i] += octave.weight * (values[i] - 0.5);
                break;
            case Kind::RegionalMask:
                for (int i = 0; i < columns; ++i)
                    mask[i] = 0.35 + 0.9 * values[i];
                break;
            case Kind::Relief:
                for (int i = 0; i < columns; ++i)
                    shape[i] += octave.weight * values[i];
                break;
            case Kind::RidgedRelief:
                for (int i = 0; i < columns; ++i) {
                    const double ridge = 1.0 - std::fabs(2.0 * values[i] - 1.0);
                    shape[i] += octave.weight * ridge * ridge;
                }
                break;
            }
        }
        int16_t* line = out + static_cast<size_t>(row) * columns;
        for (int i = 0; i < columns; ++i) {
            double h = base[i] + absolute[i] + 2.2 * relief[i] * mask[i] * (shape[i] - 0.35);
            h = std::clamp(h, 1.0, 8000.0);
            line[i] = static_cast<int16_t>(h + 0.5);
        }
    }
}

// Marks the posts inside an ellipse given in arc-seconds as void.
void StampEllipse(ElevationGrid& grid, double centreX, double centreY, double radiusX, double radiusY,
                  const std::vector<bool>* eligible)
{
    const double x0 = grid.ColumnArcSeconds(0);
    const double y0 = grid.RowArcSeconds(0);
    const double firstX = std::ceil(centreX - radiusX - x0), lastX = std::floor(centreX + radiusX - x0);
    const double firstY = std::ceil(y0 - centreY - radiusY), lastY = std::floor(y0 - centreY + radiusY);
    if (lastX < 0 || lastY < 0 || firstX >= grid.columns || firstY >= grid.rows)
        return;
    const int firstColumn = std::max(0, static_cast<int>(firstX));
    const int lastColumn = std::min(grid.columns - 1, static_cast<int>(lastX));
    const int firstRow = std::max(0, static_cast<int>(firstY));
    const int lastRow = std::min(grid.rows - 1, static_cast<int>(lastY));
    for (int row = firstRow; row <= lastRow; ++row) {
        const double dy = (grid.RowArcSeconds(row) - centreY) / radiusY;
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const double dx = (grid.ColumnArcSeconds(column) - centreX) / radiusX;
            if (dx * dx + dy * dy > 1.0)
                continue;
            const size_t index = static_cast<size_t>(row) * grid.columns + column;
            if (!eligible || (*eligible)[index])
                grid.samples[index] = kNoDataSample;
        }
    }
}

}  // namespace

void FillSyntheticTerrain(ElevationGrid& grid)
{
    if (grid.columns <= 0 || grid.rows <= 0)
        return;
    grid.samples.resize(static_cast<size_t>(grid.columns) * grid.rows);
    FillRows(grid.ColumnArcSeconds(0), grid.columns, grid.RowArcSeconds(0), grid.rows,
             grid.samples.data(), grid.spacing);
}

int SyntheticHeightAt(double longitudeArcSeconds, double latitudeArcSeconds)
{
    int16_t value = 0;
    FillRows(longitudeArcSeconds, 1, latitudeArcSeconds, 1, &value);
    return value;
}

void StampSyntheticVoids(ElevationGrid& grid, double fraction,
                         const std::vector<bool>* eligible)
{
    if (!(fraction > 0.0) || grid.columns <= 0 || grid.rows <= 0 || grid.spacing != 1.0)
        return;
    fraction = std::min(fraction, 0.5);
    // Voids come in clusters: each cluster is 2 to 5 ellipses with radii of 2
    // to 10 arc-seconds scattered within 20 arc-seconds of a centre placed at
    // random in a cell of 300 arc-seconds; the mean number of clusters per
    // cell gives the share.
    constexpr double kCell = 300.0;
    constexpr double kMinRadius = 2.0;
    constexpr double kMaxRadius = 10.0;
    constexpr double kSpread = 20.0;
    constexpr double kReach = kSpread + kMaxRadius;
    constexpr double kMeanClusterArea = 3.5 * 3.141592653589793 * 6.0 * 6.0;
    const double perCell = fraction * kCell * kCell / kMeanClusterArea;
    auto unit = [](uint64_t h, int shift) { return static_cast<double>((h >> shift) & 0xffff) / 65536.0; };

    const double x0 = grid.ColumnArcSeconds(0);
    const double y0 = grid.RowArcSeconds(0);
    const double x1 = grid.ColumnArcSeconds(grid.columns - 1);
    const double y1 = grid.RowArcSeconds(grid.rows - 1);
    const auto cellX0 = static_cast<int64_t>(std::floor((x0 - kReach) / kCell));
    const auto cellX1 = static_cast<int64_t>(std::floor((x1 + kReach) / kCell));
    const auto cellY0 = static_cast<int64_t>(std::floor((y1 - kReach) / kCell));
    const auto cellY1 = static_cast<int64_t>(std::floor((y0 + kReach) / kCell));
    for (int64_t cy = cellY0; cy <= cellY1; ++cy) {
        for (int64_t cx = cellX0; cx <= cellX1; ++cx) {
            int count = static_cast<int>(perCell);
            if (CellRandom(cx, cy, 101) < perCell - count)
                ++count;
            for (int n = 0; n < count; ++n) {
                const uint64_t cluster = HashCell(cx, cy, 102 + static_cast<uint64_t>(n));
                const double clusterX = (static_cast<double>(cx) + unit(cluster, 0)) * kCell;
                const double clusterY = (static_cast<double>(cy) + unit(cluster, 16)) * kCell;
                const int blobs = 2 + static_cast<int>(unit(cluster, 32) * 4.0);
                for (int b = 0; b < blobs; ++b) {
                    const uint64_t h = HashCell(cx * 64 + b, cy * 64 + n, 103);
                    StampEllipse(grid, clusterX + (unit(h, 0) - 0.5) * 2.0 * kSpread,
                                 clusterY + (unit(h, 16) - 0.5) * 2.0 * kSpread,
                                 kMinRadius + (kMaxRadius - kMinRadius) * unit(h, 32),
                                 kMinRadius + (kMaxRadius - kMinRadius) * unit(h, 48), eligible);
                }
            }
        }
    }
}

#include "services/ImageryDrawing.h"

#include "mapdraw/WaterFeatures.h"
#include "terrain/Noise.h"

#include <algorithm>
#include <array>
#include <cmath>

namespace {

constexpr double kRadians = 3.141592653589793 / 180.0;
constexpr double kMetresPerArcSecond = 6371000.0 * kRadians / 3600.0;
constexpr double kMaxSpacing = 1024.0;  // arc-seconds; coarser pixels sample the terrain sparsely
constexpr double kShadeRelief = 3.0;    // relief exaggeration of the hill shading
// Farm fields: a global patchwork of cells of about 900 m, some split in
// two halves east and west.
constexpr double kFieldLatitude = 0.008, kFieldHalfLongitude = 0.00525;
constexpr double kRiverHalfWidthMetres = 20.0;

struct Colour {
    float r, g, b;
};

Colour Mix(const Colour& a, const Colour& b, float t)
{
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

float Ramp(float from, float to, float x)
{
    const float t = std::clamp((x - from) / (to - from), 0.0f, 1.0f);
    return t * t * (3.0f - 2.0f * t);
}

// The colour of open ground by height in metres, one entry a metre up to
// 8191 m: green lowlands, grass and crops, dry tan uplands, brown and grey
// mountains, snow.
const std::vector<Colour>& GroundByHeight()
{
    static const std::vector<Colour> table = [] {
        struct Knot {
            float height;
            Colour colour;
        };
        constexpr std::array<Knot, 7> kKnots{{
            {0, {92, 112, 64}},
            {500, {118, 126, 80}},
            {1200, {146, 136, 100}},
            {2200, {136, 120, 92}},
            {3000, {122, 116, 106}},
            {3700, {150, 148, 144}},
            {4300, {222, 224, 228}},
        }};
        std::vector<Colour> colours(8192);
        for (size_t h = 0; h < colours.size(); ++h) {
            const auto height = static_cast<float>(h);
            size_t k = 1;
            while (k + 1 < kKnots.size() && height > kKnots[k].height)
                ++k;
            const float t = std::clamp((height - kKnots[k - 1].height) / (kKnots[k].height - kKnots[k - 1].height),
                                       0.0f, 1.0f);
            colours[h] = Mix(kKnots[k - 1].colour, kKnots[k].colour, t);
        }
        return colours;
    }();
    return table;
}

constexpr std::array<Colour, 6> kFieldColours{{
    {104, 124, 62},   // growing crop
    {126, 142, 74},   // young green
    {168, 152, 110},  // stubble
    {130, 108, 82},   // ploughed soil
    {184, 170, 132},  // ripe grain
    {142, 136, 92},   // pasture
}};
constexpr Colour kForest{50, 70, 42};
constexpr Colour kRock{122, 118, 112};
constexpr Colour kWater{44, 76, 104};

// Smallest power of two of whole arc-seconds at least twice as coarse as the
// pixels: the terrain is smooth at that scale, and sampling it costs far
// more than drawing a pixel.
double LatticeSpacingFor(const ImageryFrame& frame)
{
    const double pixel = std::max((frame.east - frame.west) * 3600.0 / frame.width,
                                  (frame.north - frame.south) * 3600.0 / frame.height);
    double step = 1.0;
    while (step < 2.0 * pixel && step < kMaxSpacing)
        step *= 2.0;
    return step;
}

// Voids of real data would show as pits: each takes the nearest height to
// its west on its row, else to its east.
void FillVoids(ElevationGrid& grid)
{
    for (int row = 0; row < grid.rows; ++row) {
        int16_t* line = &grid.At(0, row);
        int16_t last = kNoDataSample;
        for (int column = 0; column < grid.columns; ++column)
            if (line[column] == kNoDataSample)
                line[column] = last;
            else
                last = line[column];
        last = kNoDataSample;
        for (int column = grid.columns - 1; column >= 0; --column)
            if (line[column] == kNoDataSample)
                line[column] = last == kNoDataSample ? 0 : last;
            else
                last = line[column];
    }
}


}  // namespace

// The last few lattice rows computed, by global row index: the pixels walk
// south, and each lattice row serves a few pixel rows and its neighbours.
template <typename Row>
class ImageryDrawing::RowMemo {
public:
    static constexpr int kSlots = 4;

    // The slot holding `row`, computed by `compute(row, slot's value)` when
    // missing; slots in `keep` (a bit mask) are not given up for it.
    template <typename Compute>
    int Find(int64_t row, unsigned keep, Compute compute)
    {
        for (int i = 0; i < kSlots; ++i)
            if (used_[i] && rows_[i] == row)
                return i;
        int slot = -1;
        for (int i = 0; i < kSlots; ++i) {
            if (keep & (1u << i))
                continue;
            if (slot < 0 || !used_[i] || (used_[slot] && std::llabs(rows_[i] - row) > std::llabs(rows_[slot] - row)))
                slot = i;
        }
        used_[slot] = true;
        rows_[slot] = row;
        compute(row, values[slot]);
        return slot;
    }

    std::array<Row, kSlots> values;

private:
    std::array<int64_t, kSlots> rows_{};
    std::array<bool, kSlots> used_{};
};

ImageryDrawing::ImageryDrawing(const ElevationSourceOptions& elevation, const ImageryFrame& frame) : frame_(frame)
{
    if (frame.width < 1 || frame.height < 1 || !(frame.east > frame.west) || !(frame.north > frame.south))
        return;
    step_ = LatticeSpacingFor(frame);
    // One post beyond the pixels' reach on every side, for the slopes.
    firstColumn_ = static_cast<int64_t>(std::floor(frame.west * 3600.0 / step_)) - 1;
    const int64_t lastColumn = static_cast<int64_t>(std::floor(frame.east * 3600.0 / step_)) + 2;
    topRow_ = static_cast<int64_t>(std::floor(frame.north * 3600.0 / step_)) + 2;
    const int64_t bottomRow = static_cast<int64_t>(std::floor(frame.south * 3600.0 / step_)) - 1;
    ElevationSourceOptions noVoids = elevation;
    noVoids.voidFraction = 0.0;
    if (!BuildElevationLattice(noVoids, static_cast<double>(firstColumn_) * step_, static_cast<double>(topRow_) * step_,
                               step_, static_cast<int>(lastColumn - firstColumn_ + 1),
                               static_cast<int>(topRow_ - bottomRow + 1), heights_))
        return;
    FillVoids(heights_);

    pixelMetres_ = (frame.north - frame.south) * 3600.0 / frame.height * kMetresPerArcSecond;
    const double perColumn = (frame.east - frame.west) / frame.width;
    postOfColumn_.resize(frame.width);
    weightOfColumn_.resize(frame.width);
    fieldOfColumn_.resize(frame.width);
    for (int c = 0; c < frame.width; ++c) {
        const double longitude = frame.west + (c + 0.5) * perColumn;
        const double g = longitude * 3600.0 / step_;
        const double post = std::floor(g);
        const int column = std::clamp(static_cast<int>(static_cast<int64_t>(post) - firstColumn_), 1,
                                      heights_.columns - 3);
        postOfColumn_[c] = column;
        weightOfColumn_[c] = static_cast<float>(std::clamp(g - static_cast<double>(firstColumn_ + column), 0.0, 1.0));
        fieldOfColumn_[c] = static_cast<int64_t>(std::floor(longitude / kFieldHalfLongitude));
    }
    ok_ = true;
}

void ImageryDrawing::ComputeFields(int64_t row, Fields& fields) const
{
    std::vector<float>& lake = fields.lake;
    std::vector<float>& river = fields.river;
    const double latitude = static_cast<double>(row) * step_ / 3600.0;
    lake.resize(heights_.columns);
    river.resize(heights_.columns);
    for (int i = 0; i < heights_.columns; ++i) {
        const double longitude = static_cast<double>(firstColumn_ + i) * step_ / 3600.0;
        lake[i] = static_cast<float>(LakeField(longitude, latitude) - kLakeLevel);
        river[i] = static_cast<float>(RiverField(longitude, latitude) - kRiverLevel);
    }
}

void ImageryDrawing::ComputePosts(int64_t row, RowMemo<Fields>& memo, Posts& posts) const
{
    const int columns = heights_.columns;
    const int j = static_cast<int>(std::clamp<int64_t>(topRow_ - row, 1, heights_.rows - 2));
    const double latitude = static_cast<double>(row) * step_ / 3600.0;
    const double metresY = step_ * kMetresPerArcSecond;
    const double metresX = metresY * std::max(0.01, std::cos(latitude * kRadians));
    // The fields of this row and its neighbours, for their gradients.
    std::array<int, 3> slot{};
    unsigned keep = 0;
    for (int k = 0; k < 3; ++k) {
        slot[k] = memo.Find(row + 1 - k, keep, [this](int64_t r, Fields& f) { ComputeFields(r, f); });
        keep |= 1u << slot[k];
    }
    const std::vector<float>& lakeNorth = memo.values[slot[0]].lake;
    const std::vector<float>& lakeHere = memo.values[slot[1]].lake;
    const std::vector<float>& lakeSouth = memo.values[slot[2]].lake;
    const std::vector<float>& riverNorth = memo.values[slot[0]].river;
    const std::vector<float>& riverHere = memo.values[slot[1]].river;
    const std::vector<float>& riverSouth = memo.values[slot[2]].river;
    const int16_t* here = heights_.samples.data() + static_cast<size_t>(j) * columns;
    const int16_t* north = here - columns;
    const int16_t* south = here + columns;

    // Light from the north-west, 45 degrees up.
    const double lightX = -0.5, lightY = 0.5, lightZ = std::sqrt(0.5);
    for (std::vector<float>* channel : posts.Channels())
        channel->resize(columns);
    const double latitudeDegrees = latitude;
    for (int i = 0; i < columns; ++i) {
        const int west = std::max(0, i - 1), east = std::min(columns - 1, i + 1);
        const double spanX = metresX * (east - west);
        const double dzdx = (here[east] - here[west]) / spanX;
        const double dzdy = (north[i] - south[i]) / (2.0 * metresY);
        const double nx = -dzdx * kShadeRelief, ny = -dzdy * kShadeRelief;
        const double shade = std::max(0.0, (nx * lightX + ny * lightY + lightZ) / std::sqrt(nx * nx + ny * ny + 1.0));
        posts.height[i] = here[i];
        posts.shade[i] = static_cast<float>(shade);
        posts.slope[i] = static_cast<float>(std::sqrt(dzdx * dzdx + dzdy * dzdy));

        // Signed distances in metres to the lake shore (positive inside) and
        // to the river's line, from the fields and their gradients.
        auto distance = [&](const std::vector<float>& n, const std::vector<float>& h, const std::vector<float>& s) {
            const double gx = (h[east] - h[west]) / spanX;
            const double gy = (n[i] - s[i]) / (2.0 * metresY);
            const double gradient = std::sqrt(gx * gx + gy * gy);
            return static_cast<float>(std::clamp(h[i] / std::max(gradient, 1e-9), -1e6, 1e6));
        };
        posts.lake[i] = distance(lakeNorth, lakeHere, lakeSouth);
        posts.river[i] = distance(riverNorth, riverHere, riverSouth);
        const double longitude = static_cast<double>(firstColumn_ + i) * step_ / 3600.0;
        posts.variation[i] = static_cast<float>(0.6 * ValueNoise(longitude, latitudeDegrees, 0.05, 61) +
                                                0.4 * ValueNoise(longitude, latitudeDegrees, 0.012, 62) - 0.5);
    }
}

void ImageryDrawing::DrawRows(int first, int end, uint8_t* rgb) const
{
    if (!ok_)
        return;
    const std::vector<Colour>& ground = GroundByHeight();
    const double perRow = (frame_.north - frame_.south) / frame_.height;
    const float pixel = static_cast<float>(pixelMetres_);
    const float riverHalfWidth = std::max(static_cast<float>(kRiverHalfWidthMetres), 0.5f * pixel);
    RowMemo<Fields> fields;
    RowMemo<Posts> memo;
    Posts line;
    for (std::vector<float>* channel : line.Channels())
        channel->resize(heights_.columns);
    auto compute = [this, &fields](int64_t row, Posts& posts) { ComputePosts(row, fields, posts); };
    for (int r = first; r < end; ++r) {
        const double latitude = frame_.north - (r + 0.5) * perRow;
        const double g = latitude * 3600.0 / step_;
        const auto southRow = static_cast<int64_t>(std::floor(g));
        const auto weightNorth = static_cast<float>(std::clamp(g - static_cast<double>(southRow), 0.0, 1.0));
        const int southSlot = memo.Find(southRow, 0, compute);
        const int northSlot = memo.Find(southRow + 1, 1u << southSlot, compute);
        const auto into = line.Channels();
        const auto from = memo.values[southSlot].Channels();
        const auto to = memo.values[northSlot].Channels();
        for (size_t k = 0; k < into.size(); ++k)
            for (int i = 0; i < heights_.columns; ++i)
                (*into[k])[i] = (*from[k])[i] + ((*to[k])[i] - (*from[k])[i]) * weightNorth;

        const auto fieldRow = static_cast<int64_t>(std::floor(latitude / kFieldLatitude));
        uint8_t* out = rgb + static_cast<size_t>(r - first) * frame_.width * 3;
        for (int c = 0; c < frame_.width; ++c) {
            const int i = postOfColumn_[c];
            const float t = weightOfColumn_[c];
            auto at = [&](const std::vector<float>& v) { return v[i] + (v[i + 1] - v[i]) * t; };
            const float height = at(line.height), slope = at(line.slope);
            Colour colour = ground[static_cast<size_t>(std::clamp(height, 0.0f, 8191.0f))];

            const float farmland = (1.0f - Ramp(0.03f, 0.09f, slope)) * (1.0f - Ramp(1500.0f, 2200.0f, height));
            if (farmland > 0.0f) {
                const int64_t half = fieldOfColumn_[c];
                uint64_t cell = HashCell(half >> 1, fieldRow, 71);
                if (cell & 0x10000)
                    cell = HashCell(half, fieldRow, 72);
                const Colour& crop = kFieldColours[cell % kFieldColours.size()];
                const float tone = 0.92f + 0.16f * static_cast<float>((cell >> 8) & 0xff) / 255.0f;
                colour = Mix(colour, {crop.r * tone, crop.g * tone, crop.b * tone}, 0.5f * farmland);
            }
            // Forest on steep slopes and in patches of the montane belt, none above the tree line.
            const float variation = at(line.variation);
            const float montane = Ramp(2100.0f, 2500.0f, height) * Ramp(-0.08f, 0.08f, variation);
            const float forest = std::max(Ramp(0.06f, 0.20f, slope), montane) * (1.0f - Ramp(3200.0f, 3500.0f, height));
            colour = Mix(colour, kForest, 0.85f * forest);
            colour = Mix(colour, kRock, Ramp(0.45f, 0.90f, slope));
            const float light = (1.0f + 0.22f * variation) * (0.42f + 0.82f * at(line.shade));
            colour = {colour.r * light, colour.g * light, colour.b * light};

            const float lake = std::clamp(0.5f + at(line.lake) / pixel, 0.0f, 1.0f);
            const float river = std::clamp(0.5f + (riverHalfWidth - std::fabs(at(line.river))) / pixel, 0.0f, 1.0f);
            colour = Mix(colour, kWater, std::max(lake, river));
            out[c * 3] = static_cast<uint8_t>(std::clamp(colour.r + 0.5f, 0.0f, 255.0f));
            out[c * 3 + 1] = static_cast<uint8_t>(std::clamp(colour.g + 0.5f, 0.0f, 255.0f));
            out[c * 3 + 2] = static_cast<uint8_t>(std::clamp(colour.b + 0.5f, 0.0f, 255.0f));
        }
    }
}

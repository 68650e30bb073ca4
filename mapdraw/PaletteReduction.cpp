#include "mapdraw/PaletteReduction.h"

#include <algorithm>
#include <array>
#include <limits>

namespace {

constexpr size_t kMaxColours = 256;
constexpr int kSnapDistanceSquared = 3 * 12 * 12;
constexpr size_t kBuckets = 1u << 15;

constexpr std::array<PaletteColor, 5> kKeptColours{{
    {255, 255, 255},  // background
    {255, 247, 159},  // city
    {175, 215, 127},  // national park
    {127, 255, 127},  // other park
    {255, 180, 170},  // military area
}};

int DistanceSquared(const PaletteColor& a, int red, int green, int blue)
{
    const int dr = a.red - red, dg = a.green - green, db = a.blue - blue;
    return dr * dr + dg * dg + db * db;
}

int KeptColourNear(const uint8_t* rgb)
{
    for (size_t i = 0; i < kKeptColours.size(); ++i)
        if (DistanceSquared(kKeptColours[i], rgb[0], rgb[1], rgb[2]) <= kSnapDistanceSquared)
            return static_cast<int>(i);
    return -1;
}

size_t BucketOf(const uint8_t* rgb)
{
    return static_cast<size_t>(rgb[0] >> 3) << 10 | static_cast<size_t>(rgb[1] >> 3) << 5 | (rgb[2] >> 3);
}

struct Bucket {
    uint64_t count = 0;
    uint64_t red = 0, green = 0, blue = 0;
    PaletteColor Mean() const
    {
        return PaletteColor{static_cast<uint8_t>(red / count), static_cast<uint8_t>(green / count),
                            static_cast<uint8_t>(blue / count)};
    }
};

uint8_t Nearest(const std::vector<PaletteColor>& palette, const PaletteColor& colour)
{
    int best = std::numeric_limits<int>::max();
    size_t index = 0;
    for (size_t i = 0; i < palette.size(); ++i) {
        const int distance = DistanceSquared(palette[i], colour.red, colour.green, colour.blue);
        if (distance < best) {
            best = distance;
            index = i;
        }
    }
    return static_cast<uint8_t>(index);
}

}  // namespace

PaletteImage ReduceToPalette(const std::vector<uint8_t>& rgb)
{
    const size_t pixels = rgb.size() / 3;
    PaletteImage image;
    image.palette.assign(kKeptColours.begin(), kKeptColours.end());
    image.indices.resize(pixels);

    // Kept colours first; the others are counted by bucket (index + 256
    // marks a bucket until the palette is settled).
    std::vector<int> pending(pixels, -1);
    std::vector<Bucket> buckets(kBuckets);
    for (size_t i = 0; i < pixels; ++i) {
        const uint8_t* pixel = &rgb[i * 3];
        if (const int kept = KeptColourNear(pixel); kept >= 0) {
            image.indices[i] = static_cast<uint8_t>(kept);
            continue;
        }
        const size_t bucket = BucketOf(pixel);
        Bucket& b = buckets[bucket];
        ++b.count;
        b.red += pixel[0];
        b.green += pixel[1];
        b.blue += pixel[2];
        pending[i] = static_cast<int>(bucket);
    }

    std::vector<size_t> used;
    for (size_t bucket = 0; bucket < kBuckets; ++bucket)
        if (buckets[bucket].count > 0)
            used.push_back(bucket);
    std::stable_sort(used.begin(), used.end(),
                     [&](size_t a, size_t b) { return buckets[a].count > buckets[b].count; });
    const size_t room = kMaxColours - image.palette.size();
    std::vector<uint8_t> indexOf(kBuckets, 0);
    for (size_t i = 0; i < used.size() && i < room; ++i) {
        indexOf[used[i]] = static_cast<uint8_t>(image.palette.size());
        image.palette.push_back(buckets[used[i]].Mean());
    }
    for (size_t i = room; i < used.size(); ++i)
        indexOf[used[i]] = Nearest(image.palette, buckets[used[i]].Mean());

    for (size_t i = 0; i < pixels; ++i)
        if (pending[i] >= 0)
            image.indices[i] = indexOf[static_cast<size_t>(pending[i])];
    return image;
}

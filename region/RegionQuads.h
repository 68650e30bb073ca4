#pragma once

#include <string>
#include <vector>

// The quads of a region run: a box covered by grid-aligned quads, or an
// explicit list, in one fixed order (rows north to south, each west to
// east; a list keeps its own order). A quad's index in that order decides
// which shard runs it.
struct RegionBox {
    double west = 0;
    double south = 0;
    double east = 0;
    double north = 0;
};

// A quad by its north-west corner; every quad of a region has its size.
struct QuadCorner {
    double west = 0;
    double north = 0;
};

bool operator==(const QuadCorner& a, const QuadCorner& b);

// Regions larger than this need the user's explicit yes.
constexpr size_t kMaxQuadsWithoutYes = 10000;

// "WEST,SOUTH,EAST,NORTH" in degrees. False with `error` set when a number is
// missing or bad, west >= east, south >= north, or an edge lies outside
// -180...180 / -90...90.
bool ParseRegionBox(const std::string& text, RegionBox& box, std::string& error);

// How many quads of `size` degrees QuadsCoveringBox() gives: counted first so
// that a huge box is refused before anything is allocated.
double CountQuadsCoveringBox(const RegionBox& box, double size);

// The quads aligned to multiples of `size` that together cover the box.
std::vector<QuadCorner> QuadsCoveringBox(const RegionBox& box, double size);

// A quads file: one quad a line as "west north" in degrees, '#' starting a
// comment, blank lines ignored. False with `error` naming the file and the
// line number of the first bad or repeated line, or saying it holds none.
bool ReadQuadsFile(const std::string& path, std::vector<QuadCorner>& quads, std::string& error);
// The same on text already read; `name` is how messages name it.
bool ParseQuadsText(const std::string& text, const std::string& name, std::vector<QuadCorner>& quads,
                    std::string& error);

// "K/N" with 0 <= K < N.
struct Shard {
    int index = 0;
    int count = 1;
};
bool ParseShard(const std::string& text, Shard& shard, std::string& error);

// The quads whose index in the region's order is shard.index modulo
// shard.count, in that order.
std::vector<QuadCorner> QuadsOfShard(const std::vector<QuadCorner>& quads, const Shard& shard);

// How many decimals the folder names of these quads need: 2, or more (up to
// 6) when the size or a corner has finer digits.
int QuadNameDecimals(const std::vector<QuadCorner>& quads, double size);

// The folder of a quad, named after its north-west corner so that names sort
// by latitude, then longitude: "N39.75W098.25", "S05.50E120.00" (two digits
// of latitude, three of longitude, `decimals` after the point).
std::string QuadFolderName(const QuadCorner& quad, int decimals);

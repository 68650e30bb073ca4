#include "region/RegionQuads.h"

#include "core/StringPrintf.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

// Corners are multiples of the size: computed from whole counts and rounded
// to a micro-degree, so that 0.1 steps do not drift into 39.699999.
double Rounded(double degrees)
{
    const double rounded = std::round(degrees * 1e6) / 1e6;
    return rounded == 0 ? 0 : rounded;  // never "-0"
}

bool ParseDecimal(const std::string& text, double& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && errno == 0 && std::isfinite(value);
}

std::vector<std::string> SplitAt(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    std::string part;
    std::istringstream stream(text);
    while (std::getline(stream, part, separator))
        parts.push_back(part);
    if (!text.empty() && text.back() == separator)
        parts.emplace_back();
    return parts;
}

// The whole multiples of `size` that start the quads covering [low, high).
void GridSteps(double low, double high, double size, long long& first, long long& last)
{
    const double tolerance = 1e-9;
    first = static_cast<long long>(std::floor(low / size + tolerance));
    last = static_cast<long long>(std::ceil(high / size - tolerance)) - 1;
}

int DecimalsOf(double value)
{
    for (int decimals = 2; decimals < 6; ++decimals) {
        const double scaled = value * std::pow(10.0, decimals);
        if (std::fabs(scaled - std::round(scaled)) < 1e-6)
            return decimals;
    }
    return 6;
}

} // namespace

bool operator==(const QuadCorner& a, const QuadCorner& b)
{
    return std::fabs(a.west - b.west) < 1e-9 && std::fabs(a.north - b.north) < 1e-9;
}

bool ParseRegionBox(const std::string& text, RegionBox& box, std::string& error)
{
    error.clear();
    const std::vector<std::string> parts = SplitAt(text, ',');
    double edges[4] = {};
    if (parts.size() != 4) {
        error = "--region takes WEST,SOUTH,EAST,NORTH in degrees, not \"" + text + "\".";
        return false;
    }
    const char* names[] = {"west", "south", "east", "north"};
    for (int i = 0; i < 4; ++i)
        if (!ParseDecimal(parts[i], edges[i])) {
            error = StringPrintf("--region: the %s edge \"%s\" is not a number.", names[i], parts[i].c_str());
            return false;
        }
    box = RegionBox{edges[0], edges[1], edges[2], edges[3]};
    if (box.west < -180 || box.east > 180 || box.south < -90 || box.north > 90)
        error = "--region: longitudes must lie between -180 and 180 and latitudes between -90 and 90 degrees.";
    else if (!(box.west < box.east))
        error = "--region: the west edge must lie west of the east edge.";
    else if (!(box.south < box.north))
        error = "--region: the south edge must lie south of the north edge.";
    return error.empty();
}

double CountQuadsCoveringBox(const RegionBox& box, double size)
{
    long long west = 0, east = 0, south = 0, north = 0;
    GridSteps(box.west, box.east, size, west, east);
    GridSteps(box.south, box.north, size, south, north);
    return static_cast<double>(east - west + 1) * static_cast<double>(north - south + 1);
}

std::vector<QuadCorner> QuadsCoveringBox(const RegionBox& box, double size)
{
    long long west = 0, east = 0, south = 0, north = 0;
    GridSteps(box.west, box.east, size, west, east);
    GridSteps(box.south, box.north, size, south, north);
    std::vector<QuadCorner> quads;
    // Row `r` spans [r·size, (r+1)·size]; its quads' north edge is the upper one.
    for (long long row = north; row >= south; --row)
        for (long long column = west; column <= east; ++column)
            quads.push_back({Rounded(static_cast<double>(column) * size), Rounded(static_cast<double>(row + 1) * size)});
    return quads;
}

bool ParseQuadsText(const std::string& text, const std::string& name, std::vector<QuadCorner>& quads,
                    std::string& error)
{
    quads.clear();
    error.clear();
    std::istringstream lines(text);
    std::string line;
    for (int number = 1; std::getline(lines, line); ++number) {
        const std::string content = line.substr(0, line.find('#'));
        std::istringstream fields(content);
        std::string westText, northText, extra;
        if (!(fields >> westText))
            continue;
        QuadCorner quad;
        const bool read = (fields >> northText) && !(fields >> extra) && ParseDecimal(westText, quad.west) &&
                          ParseDecimal(northText, quad.north);
        if (!read || std::fabs(quad.west) > 180 || std::fabs(quad.north) > 90) {
            error = StringPrintf("The quads file \"%s\", line %d: expected \"west north\" in degrees "
                                 "(west -180...180, north -90...90), found \"%s\".",
                                 name.c_str(), number, content.substr(0, 80).c_str());
            return false;
        }
        for (const QuadCorner& earlier : quads)
            if (earlier == quad) {
                error = StringPrintf("The quads file \"%s\", line %d: the quad %s %s is listed twice.", name.c_str(),
                                     number, westText.c_str(), northText.c_str());
                return false;
            }
        quads.push_back({Rounded(quad.west), Rounded(quad.north)});
    }
    if (quads.empty())
        error = "The quads file \"" + name + "\" lists no quad.";
    return error.empty();
}

bool ReadQuadsFile(const std::string& path, std::vector<QuadCorner>& quads, std::string& error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "The quads file \"" + path + "\" cannot be read.";
        return false;
    }
    std::ostringstream text;
    text << file.rdbuf();
    return ParseQuadsText(text.str(), path, quads, error);
}

bool ParseShard(const std::string& text, Shard& shard, std::string& error)
{
    const std::vector<std::string> parts = SplitAt(text, '/');
    double index = -1, count = 0;
    const bool numbers = parts.size() == 2 && ParseDecimal(parts[0], index) && ParseDecimal(parts[1], count) &&
                         index == std::floor(index) && count == std::floor(count) && count < 1e6;
    if (!numbers || count < 1 || index < 0 || index >= count) {
        error = "--shard takes K/N with whole numbers 0 <= K < N, not \"" + text + "\".";
        return false;
    }
    shard = Shard{static_cast<int>(index), static_cast<int>(count)};
    return true;
}

std::vector<QuadCorner> QuadsOfShard(const std::vector<QuadCorner>& quads, const Shard& shard)
{
    std::vector<QuadCorner> mine;
    for (size_t i = static_cast<size_t>(shard.index); i < quads.size(); i += static_cast<size_t>(shard.count))
        mine.push_back(quads[i]);
    return mine;
}

int QuadNameDecimals(const std::vector<QuadCorner>& quads, double size)
{
    int decimals = DecimalsOf(size);
    for (const QuadCorner& quad : quads)
        decimals = std::max({decimals, DecimalsOf(quad.west), DecimalsOf(quad.north)});
    return decimals;
}

std::string QuadFolderName(const QuadCorner& quad, int decimals)
{
    const double north = Rounded(quad.north);
    const double west = Rounded(quad.west);
    return StringPrintf("%c%0*.*f%c%0*.*f", north < 0 ? 'S' : 'N', decimals + 3, decimals, std::fabs(north),
                        west < 0 ? 'W' : 'E', decimals + 4, decimals, std::fabs(west));
}

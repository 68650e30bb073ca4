#pragma once

#include <string>
#include <vector>

// State and county boundaries as polylines in degrees, loaded from the
// vendored boundaries.txt (derived from Census cartographic boundaries).
struct BoundaryLine {
    enum class Kind { Nation, State, County };
    Kind kind = Kind::County;
    std::vector<double> longitudes;
    std::vector<double> latitudes;
    double west = 0, east = 0, south = 0, north = 0;  // bounding box
};

class BoundaryLines {
public:
    bool Load(const std::string& folder);
    const std::vector<BoundaryLine>& Lines() const { return lines_; }

private:
    std::vector<BoundaryLine> lines_;
};

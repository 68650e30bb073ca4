#pragma once

#include "terrain/ElevationGrid.h"
#include "terrain/ElevationSource.h"

#include <array>
#include <cstdint>
#include <vector>

// A box of degrees and the picture of it: pixel column c covers longitude
// west + [c, c + 1) × (east − west) / width, row r covers latitude
// north − [r, r + 1) × (north − south) / height (rows from the top), and each
// pixel shows what lies at its centre.
struct ImageryFrame {
    double west = 0.0, south = 0.0, east = 0.0, north = 0.0;
    int width = 0, height = 0;
};

// A drawing that stands in for aerial photography where the bundled services
// have none: land cover tinted by height and slope (fields on low flat
// ground, forest on steep slopes, rock and snow high up), hill-shaded with
// light from the north-west, and the bundled street map's lakes and rivers
// in water blue. Everything is a function of the place and the pixel size
// alone, so the same box always gives the same bytes and boxes that meet
// agree along their edge.
//
// The terrain is sampled on a lattice of posts two to four pixels apart
// (whole arc-seconds, a power of two, aligned to the globe, never finer than
// one arc-second) and interpolated between them.
class ImageryDrawing {
public:
    // `frame` must have a positive size and west < east, south < north.
    ImageryDrawing(const ElevationSourceOptions& elevation, const ImageryFrame& frame);

    bool Ok() const { return ok_; }
    double LatticeSpacing() const { return step_; }  // arc-seconds

    // Draws pixel rows [first, end) into `rgb`, three bytes a pixel, rows of
    // the frame's width. Calls for disjoint rows may run side by side.
    void DrawRows(int first, int end, uint8_t* rgb) const;

private:
    // One lattice row of the water's fields (lake and river, less their
    // levels), and the values the pixels interpolate.
    struct Fields {
        std::vector<float> lake, river;
    };
    struct Posts {
        std::vector<float> height, shade, slope, lake, river, variation;
        std::array<std::vector<float>*, 6> Channels() { return {&height, &shade, &slope, &lake, &river, &variation}; }
    };
    template <typename Row>
    class RowMemo;

    void ComputeFields(int64_t row, Fields& fields) const;
    void ComputePosts(int64_t row, RowMemo<Fields>& fields, Posts& posts) const;

    ImageryFrame frame_;
    bool ok_ = false;
    double step_ = 1.0;          // arc-seconds between lattice posts
    int64_t firstColumn_ = 0;    // global lattice index of column 0 (longitude index × step)
    int64_t topRow_ = 0;         // global lattice index of row 0 (latitude index × step)
    double pixelMetres_ = 1.0;   // ground size of a pixel, for the water's edges
    ElevationGrid heights_;
    // Per pixel column: the lattice column west of its centre, the weight of
    // the one east of it, and its half field cell.
    std::vector<int> postOfColumn_;
    std::vector<float> weightOfColumn_;
    std::vector<int64_t> fieldOfColumn_;
};

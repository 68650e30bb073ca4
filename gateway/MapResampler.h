#pragma once

#include "live/WmsAnswer.h"
#include "live/WmsGetMap.h"
#include "mapdraw/MapRenderer.h"

#include <cstdint>
#include <vector>

// Gathers pieces of a map drawn in plain latitude/longitude (x linear in
// longitude) into the geometry of a MapView (see MapRenderer.h), scaling
// down from finer pixels. Every map pixel is sampled at up to 16 × 16 points
// of its footprint; it takes the most common ink colour (anything clearly
// not white) of its samples when at least one in twenty of them is ink, so
// one-pixel roads of a much finer source stay visible.
class MapResampler {
public:
    MapResampler(const MapView& view, double sourceDegreesPerPixel);

    // Samples one piece; pieces may come in any order and must not overlap.
    void Add(const WmsPiece& piece, const RgbImage& image);

    // Paints the inked pixels over `rgb` (the view's size, three bytes a
    // pixel, rows top to bottom).
    void LayOver(std::vector<uint8_t>& rgb) const;
    // Paints every inked pixel in `colour`, whatever colour its ink had: an
    // area's pixels mean that area, not the service's colour for it.
    void LayOverAs(std::vector<uint8_t>& rgb, const PaletteColor& colour) const;
    // Paints in `colour` the inked pixels beside an uninked one (up, down,
    // left or right): the outline of the inked areas. The image's border
    // is no edge.
    void OutlineAs(std::vector<uint8_t>& rgb, const PaletteColor& colour) const;

    // Whether `image` has any ink at all.
    static bool HasInk(const RgbImage& image);

private:
    struct Tally {
        uint32_t colour = 0;   // 0xRRGGBB of the leading candidate
        uint16_t key = 0;      // its colour at five bits a channel
        int16_t votes = 0;     // majority vote over the ink samples
        uint16_t samples = 0;
        uint16_t ink = 0;
    };

    void AddRow(const WmsPiece& piece, const RgbImage& image, int row, double latitude);
    void Count(Tally& tally, const uint8_t* rgb) const;
    bool Inked(size_t pixel) const;

    MapView view_;
    double top_;
    double perDegreeX_, perDegreeY_;
    double sourcePerPixel_;
    int samplesY_;
    std::vector<Tally> tallies_;
};

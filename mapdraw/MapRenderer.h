#pragma once

#include "mapdraw/BoundaryLines.h"
#include "mapdraw/Gazetteer.h"
#include "mapdraw/GifEncoder.h"

#include <cstdint>
#include <string>
#include <vector>

// Street-map images of a latitude/longitude box, drawn on white in a palette.
//
// Geometry: the image is iwd × iht pixels for a box of `width` degrees of
// longitude and `height` degrees of latitude centred on (longitude,
// latitude). Latitude is linear in rows: row 0 (its top edge) is at latitude
// + height/2 and iht rows span `height` degrees. At latitude φ one degree of
// longitude is (iwd / width) × cos φ pixels, centred on the image's middle
// column, so a parallel spanning `width` degrees is iwd × cos φ pixels long.
enum MapLayer : unsigned {
    kLayerCities = 1u << 0,
    kLayerGrid = 1u << 1,
    kLayerCounties = 1u << 2,
    kLayerIndian = 1u << 3,
    kLayerMajorRoads = 1u << 4,
    kLayerMiscellaneous = 1u << 5,
    kLayerPlaces = 1u << 6,
    kLayerRailroad = 1u << 7,
    kLayerShoreline = 1u << 8,
    kLayerStreets = 1u << 9,
    kLayerInterstate = 1u << 10,
    kLayerStateHighway = 1u << 11,
    kLayerUsHighway = 1u << 12,
    kLayerStates = 1u << 13,
    kLayerWater = 1u << 14,
};

// The layer of a name of the `on` list (CITIES, GRID, counties, indian,
// majroads, miscell, places, railroad, shorelin, streets, interstate,
// statehwy, ushwy, states, water; any case), or 0 for an unknown name.
unsigned LayerFromName(const std::string& name);
// The layers of a comma-separated list; unknown names are ignored.
unsigned ParseLayerList(const std::string& list);

// Palette indices. The area fills use the colours that the texture's
// combining step tints over the terrain.
enum MapColor : uint8_t {
    kColorBackground,    // (255/255/255)
    kColorCity,          // (255/247/159) place areas
    kColorNationalPark,  // (175/215/127)
    kColorOtherPark,     // (127/255/127)
    kColorMilitary,      // (255/180/170)
    kColorWater,
    kColorShoreline,
    kColorInterstate,
    kColorUsHighway,
    kColorStateHighway,
    kColorStreet,
    kColorRailroad,
    kColorMajorRoad,
    kColorIndian,
    kColorCounty,
    kColorGrid,
    kColorCityMarker,
    kColorStateLine,
    kColorCount
};
const std::vector<PaletteColor>& MapPalette();

struct MapView {
    double longitude = 0.0;  // centre
    double latitude = 0.0;   // centre
    double width = 1.0;      // degrees of longitude
    double height = 1.0;     // degrees of latitude
    int imageWidth = 1;
    int imageHeight = 1;
    unsigned layers = 0;
};

// Pixel positions of the view's geometry (continuous coordinates: pixel
// column c covers [c, c + 1)).
double MapColumnOf(const MapView& view, double longitude, double latitude);
double MapRowOf(const MapView& view, double latitude);

// The box of degrees the whole image shows: wider than `width` away from the
// equator, since a degree of longitude shrinks there.
struct MapExtent {
    double west, east, south, north;
};
MapExtent MapExtentOf(const MapView& view);

// Palette indices, rows top to bottom. The view must be valid (see
// MapService); the data may be empty.
std::vector<uint8_t> RenderMap(const MapView& view, const Gazetteer& gazetteer,
                               const BoundaryLines& boundaries);

#pragma once

#include "core/QuadGeometry.h"
#include "export/HeightSamples.h"

#include <QImage>

#include <optional>
#include <string>

// The pictures of the result view, drawn from reduced copies so that even a
// 3600 × 3600 height map opens at once: the texture, and a shaded relief of
// the height map tinted by elevation with voids in red. The height range and
// the void count are of the full height map.
struct ResultPreview {
    QImage relief;
    QImage texture;  // null when the job left no texture
    HeightRange range;
    int columns = 0;
    int rows = 0;
};

inline constexpr uint32_t kVoidColour = 0xffdc2828;  // ARGB

// `side` is the longest edge of each picture in pixels. The quad, when
// known, gives the posts' spacing in metres for the shading; otherwise posts
// one arc-second apart are assumed. False with `error` when the height map
// cannot be read; an unreadable texture only leaves `texture` null.
bool MakeResultPreview(const std::string& heightMap, const std::string& texture, const std::optional<Quad>& quad,
                       int side, ResultPreview& preview, std::string& error);

// A shaded relief of `heights` (rows north to south; 0 is a void) with posts
// `spacingX` by `spacingY` metres apart, tinted from `range`.
QImage ShadedRelief(const HeightSamples& heights, double spacingX, double spacingY, const HeightRange& range);

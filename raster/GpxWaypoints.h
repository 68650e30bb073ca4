#pragma once

#include "core/Waypoint.h"

#include <cstddef>
#include <cstdio>
#include <string_view>

// GPX 1.0 and 1.1 files as waypoint routes. The route is the points of the
// first route that has any (rte/rtept), else those of the first track that
// has any (trk/trkseg/trkpt, its segments joined in order), else the
// waypoints (wpt) in file order. A point's name, or else its description,
// becomes its comment.
//
// The files come from devices and web sites, so nothing in them is trusted:
// a document type declaration (the only way to declare entities) is
// refused, the file size and the number of points are capped, and a point
// without a finite latitude and longitude fails the whole file. A file that
// fails yields no waypoints at all, never the part read before the fault.

inline constexpr size_t kMaxGpxFileSize = 64u << 20;
inline constexpr size_t kMaxGpxPoints = 1'000'000;

// True when `head` (the first bytes of a file) is the start of an XML
// document whose root element is "gpx".
bool LooksLikeGpx(std::string_view head);

// Parses a whole GPX document into `list` (emptied first). False when the
// document is malformed, refused or holds no point; `list` is then empty.
bool ParseGpxWaypoints(std::string_view document, WaypointList& list);

enum class GpxFileRead { NotGpx, Read, Failed };

// Looks at the start of an open file: when it is GPX, reads all of it into
// `list` (Failed leaves `list` empty); otherwise rewinds the file for the
// text reader and returns NotGpx. Streams that cannot be rewound (pipes)
// are left untouched and count as text.
GpxFileRead ReadGpxWaypointFile(std::FILE* file, WaypointList& list);

#pragma once

#include "core/Waypoint.h"
#include "route/WaypointLimits.h"

#include <cstddef>
#include <cstdio>
#include <string>
#include <string_view>

// GPX 1.0 and 1.1 files as waypoint routes. The route is the points of the
// first route that has any (rte/rtept), else those of the first track that
// has any (trk/trkseg/trkpt, its segments joined in order), else the
// waypoints (wpt) in file order. A point's name, or else its description,
// becomes its comment.
//
// The files come from devices and web sites, so nothing in them is trusted:
// a document type declaration (the only way to declare entities) is
// refused, the file size, the nesting depth and the number of points are
// capped, and a point without a latitude of -90 to 90 and a longitude of
// -180 to 180 fails the whole file. A file that fails yields no waypoints at
// all, never the part read before the fault.

inline constexpr size_t kMaxGpxFileSize = WaypointLimits{}.maxFileBytes;
inline constexpr size_t kMaxGpxPoints = WaypointLimits{}.maxPoints;

// Why a GPX document was not read, and where (1-based; 0 when unknown).
struct GpxFault {
    enum class Kind { None, NotWellFormed, NotGpx, DocumentType, TooDeep, TooManyPoints, BadPoint, NoPoints, TooLarge };
    Kind kind = Kind::None;
    long long line = 0, column = 0;
    // The parser's reason, the root element's name or the point's element.
    std::string detail;
};

// True when `head` (the first bytes of a file) is the start of an XML
// document whose root element is "gpx".
bool LooksLikeGpx(std::string_view head);

// True when `head` begins, after an optional byte order mark and white
// space, with '<': the file is markup, never a text route.
bool LooksLikeXml(std::string_view head);

// Parses a whole GPX document into `list` (emptied first). False when the
// document is malformed, refused or holds no point; `list` is then empty.
bool ParseGpxWaypoints(std::string_view document, WaypointList& list, GpxFault* fault = nullptr,
                       const WaypointLimits& limits = {});

enum class GpxFileRead { NotGpx, Read, Failed };

// Looks at the start of an open file: when it is markup, reads all of it
// as GPX into `list` (Failed leaves `list` empty and says why in `fault`);
// otherwise rewinds the file for the text reader and returns NotGpx.
// Streams that cannot be rewound (pipes) are left untouched and count as
// text.
GpxFileRead ReadGpxWaypointFile(std::FILE* file, WaypointList& list, GpxFault* fault = nullptr,
                                const WaypointLimits& limits = {});

#pragma once

#include "core/Waypoint.h"

#include <atomic>
#include <string>

class LogSink;

// Draws the route through the waypoints, in list order, as a pure red line
// `lineThickness` pixels wide into a copy of the input image. The image
// covers longitudes left … right and latitudes bottom … top; rows count
// upward from the south edge. Returns 0 on success, 1 when the input cannot
// be opened, 3 when the output cannot be made or written, when a waypoint
// lies outside the earth's range of coordinates, or when `cancelRequested`
// is set while the route is drawn (then nothing is written).
//
// The route is drawn in short pieces, so memory stays near the size of the
// list and the image, and the cancel flag is looked at between pieces.
int AddWaypoints(const std::string& input, const std::string& output, double left, double top, double right,
                 double bottom, WaypointList waypoints, int lineThickness, LogSink& log,
                 const std::atomic<bool>* cancelRequested = nullptr);

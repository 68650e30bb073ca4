#pragma once

#include "core/Waypoint.h"

#include <string>

class LogSink;

// Draws the route through the waypoints, in list order, as a pure red line
// `lineThickness` pixels wide into a copy of the input image. The image
// covers longitudes left … right and latitudes bottom … top; rows count
// upward from the south edge. Returns 0 on success, 1 when the input cannot
// be opened, 3 when the output cannot be made or written.
int AddWaypoints(const std::string& input, const std::string& output, double left, double top, double right,
                 double bottom, WaypointList waypoints, int lineThickness, LogSink& log);

#pragma once

#include "core/Waypoint.h"
#include "raster/WaypointLimits.h"

#include <string>

class JobWindow;

// Waypoint files: one waypoint a line, "latitude longitude [comment]",
// fields separated by runs of blanks and tabs; lines starting with '#' and
// lines of fewer than two fields are skipped. A file that begins with
// markup is read as GPX (raster/GpxWaypoints.h) and never as text.
//
// Routes come from anywhere, so a file is read only when it is a regular
// file within the size limit, every data line begins with two numbers on
// the earth, and the points stay within the cap (raster/WaypointLimits.h).

// Parses one line (without its line end). False when it holds no waypoint.
bool ParseWaypointLine(const std::string& line, Waypoint& waypoint);

// What a line of a text route holds: nothing (a comment or fewer than two
// fields), a waypoint, fields that are not numbers, or a point off the earth.
enum class WaypointLine { Skipped, Point, NotNumbers, OutOfRange };

// Like ParseWaypointLine, but the two fields must be numbers as a whole and
// lie within latitudes -90 to 90 and longitudes -180 to 180.
WaypointLine ReadWaypointLine(const std::string& line, Waypoint& waypoint);

// Reads every waypoint of the file into `list` (emptied first). Returns true
// on failure, after telling the user in a message box: the file does not
// open, is no regular file or is larger than the limit; it is neither GPX
// nor a text route; a point lies off the earth; there are more points than
// the limit, or none. A failed read leaves `list` empty.
bool ReadWaypoints(const std::string& path, WaypointList& list, JobWindow& window,
                   const WaypointLimits& limits = {});

// The settings dialog's test read: proves that the file opens and holds a
// waypoint; the waypoints are discarded. True on failure.
bool CheckWaypointFile(const std::string& path, JobWindow& window);

#pragma once

#include "core/Waypoint.h"
#include "route/WaypointLimits.h"

#include <string>

// Waypoint files: one waypoint a line, "latitude longitude [comment]",
// fields separated by runs of blanks and tabs; lines starting with '#' and
// lines of fewer than two fields are skipped. A file that begins with
// markup is read as GPX (route/GpxWaypoints.h) and never as text.
//
// Routes come from anywhere, so a file is read only when it is a regular
// file within the size limit, every data line begins with two numbers on
// the earth, and the points stay within the cap (route/WaypointLimits.h).

// Parses one line (without its line end). False when it holds no waypoint.
bool ParseWaypointLine(const std::string& line, Waypoint& waypoint);

// What a line of a text route holds: nothing (a comment or fewer than two
// fields), a waypoint, fields that are not numbers, or a point off the earth.
enum class WaypointLine { Skipped, Point, NotNumbers, OutOfRange };

// Like ParseWaypointLine, but the two fields must be numbers as a whole and
// lie within latitudes -90 to 90 and longitudes -180 to 180.
WaypointLine ReadWaypointLine(const std::string& line, Waypoint& waypoint);

// The caption of the message box in which a program shows why a file was refused.
inline constexpr const char* kWaypointMessageCaption = "terraFetch";

// Reads every waypoint of the file into `list` (emptied first). Returns ""
// on success, or the message for the user on failure: the file does not
// open, is no regular file or is larger than the limit; it is neither GPX
// nor a text route; a point lies off the earth; there are more points than
// the limit, or none. A failed read leaves `list` empty.
std::string ReadWaypoints(const std::string& path, WaypointList& list, const WaypointLimits& limits = {});

// The settings dialog's test read: proves that the file opens and holds a
// waypoint; the waypoints are discarded. The message on failure, else "".
std::string CheckWaypointFile(const std::string& path);

#pragma once

#include "core/Waypoint.h"

#include <string>

class JobWindow;
struct JobFields;

// Waypoint files: one waypoint a line, "latitude longitude [comment]",
// fields separated by runs of blanks and tabs; lines starting with '#' and
// lines of fewer than two fields are skipped. GPX files are recognised by
// their content and read as routes (raster/GpxWaypoints.h).

// Parses one line (without its line end). False when it holds no waypoint.
bool ParseWaypointLine(const std::string& line, Waypoint& waypoint);

// Reads every waypoint of the file into `list` (emptied first). Returns true
// on failure (the file does not open, or holds no waypoint), after telling
// the user in a message box.
bool ReadWaypoints(const std::string& path, WaypointList& list, JobWindow& window);

// The main window's reader: the job's waypoints become those of the file,
// or stay empty when the read fails. True on failure.
bool ReadWaypointFile(const std::string& path, JobFields& job, JobWindow& window);

// The settings dialog's test read: proves that the file opens and holds a
// waypoint; the waypoints are discarded. True on failure.
bool CheckWaypointFile(const std::string& path, JobWindow& window);

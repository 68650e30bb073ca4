#pragma once

#include <ctime>
#include <string>

// The first line of a trace entry for the time `when`, in UTC with English
// day and month names, ended by CR LF. The window's log copy uses the same
// header line.
std::string TraceHeaderLine(std::time_t when);

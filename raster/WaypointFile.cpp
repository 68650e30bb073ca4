#include "raster/WaypointFile.h"

#include "core/JobFields.h"
#include "core/JobWindow.h"
#include "core/StringPrintf.h"
#include "raster/FileHandle.h"
#include "raster/GpxWaypoints.h"

#include <clocale>
#include <cstdlib>
#include <locale.h>

namespace {

constexpr const char* kCaption = "terraFetch";

bool IsBlank(char c)
{
    return c == ' ' || c == '\t';
}

bool IsWhiteSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// The next field after `pos`, skipping blanks and tabs first.
std::string NextField(const std::string& line, size_t& pos)
{
    while (pos < line.size() && IsBlank(line[pos]))
        ++pos;
    const size_t start = pos;
    while (pos < line.size() && !IsBlank(line[pos]))
        ++pos;
    return line.substr(start, pos - start);
}

// Converts like atof, but always with '.' as the decimal point: the window
// may have switched the process to the user's locale.
double ToDouble(const std::string& text)
{
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
    return strtod_l(text.c_str(), nullptr, cLocale);
}

// Lines come in pieces of at most 1023 characters, like a 1024-byte read
// buffer; a CR before the line end is dropped with it.
bool ReadLine(std::FILE* file, std::string& line)
{
    char buffer[1024];
    if (!std::fgets(buffer, sizeof buffer, file))
        return false;
    line = buffer;
    if (!line.empty() && line.back() == '\n') {
        line.pop_back();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    }
    return true;
}

} // namespace

bool ParseWaypointLine(const std::string& line, Waypoint& waypoint)
{
    if (!line.empty() && line[0] == '#')
        return false;
    size_t pos = 0;
    const std::string latitude = NextField(line, pos);
    const std::string longitude = NextField(line, pos);
    if (longitude.empty())
        return false;
    while (pos < line.size() && IsWhiteSpace(line[pos]))
        ++pos;
    waypoint.latitude = ToDouble(latitude);
    waypoint.longitude = ToDouble(longitude);
    waypoint.comment = line.substr(pos);
    return true;
}

bool ReadWaypoints(const std::string& path, WaypointList& list, JobWindow& window)
{
    list.clear();
    FileHandle file = OpenFile(path.c_str(), "r");
    if (!file) {
        window.ShowMessage(kCaption, StringPrintf("Error: File \"%s\" could not be opened.", path.c_str()),
                           MessageIcon::Error);
        return true;
    }
    const GpxFileRead gpx = ReadGpxWaypointFile(file.get(), list);
    std::string line;
    while (gpx == GpxFileRead::NotGpx && ReadLine(file.get(), line)) {
        Waypoint waypoint;
        if (ParseWaypointLine(line, waypoint))
            list.push_back(std::move(waypoint));
    }
    if (list.empty()) {
        window.ShowMessage(kCaption, StringPrintf("Error: No waypoints in the file\n\"%s\".\n\nExpected layout of a "
                                                  "line:\n\nlatitude longitude [comment]",
                                                  path.c_str()),
                           MessageIcon::Error);
        return true;
    }
    return false;
}

bool ReadWaypointFile(const std::string& path, JobFields& job, JobWindow& window)
{
    WaypointList list;
    const bool failed = ReadWaypoints(path, list, window);
    // The list is swapped in whole, so a job copying it never sees half of it.
    job.SetWaypoints(failed ? WaypointList{} : std::move(list));
    return failed;
}

bool CheckWaypointFile(const std::string& path, JobWindow& window)
{
    WaypointList list;
    return ReadWaypoints(path, list, window);
}

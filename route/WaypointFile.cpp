#include "route/WaypointFile.h"

#include "core/StringPrintf.h"
#include "core/FileHandle.h"
#include "route/GpxWaypoints.h"

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {


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
double ToDouble(const std::string& text, bool* whole = nullptr)
{
    static const locale_t cLocale = newlocale(LC_NUMERIC_MASK, "C", static_cast<locale_t>(nullptr));
    char* end = nullptr;
    const double value = strtod_l(text.c_str(), &end, cLocale);
    if (whole)
        *whole = !text.empty() && end == text.c_str() + text.size();
    return value;
}

// Lines come in pieces of at most 1023 characters, like a 1024-byte read
// buffer; a CR before the line end is dropped with it. `ended` tells
// whether the piece ended its line; `bytes` counts what was read.
bool ReadLine(std::FILE* file, std::string& line, bool& ended, unsigned long long& bytes)
{
    char buffer[1024];
    if (!std::fgets(buffer, sizeof buffer, file))
        return false;
    line = buffer;
    bytes += line.size();
    ended = !line.empty() && line.back() == '\n';
    if (ended) {
        line.pop_back();
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
    }
    return true;
}

std::string TooManyPoints(const std::string& path, size_t cap)
{
    return StringPrintf("Error: The file\n\"%s\"\nholds more than %zu waypoints, the most a route may have.",
                        path.c_str(), cap);
}

std::string TooLarge(const std::string& path, unsigned long long cap)
{
    const bool wholeMiB = cap >= (1u << 20) && cap % (1u << 20) == 0;
    return StringPrintf("Error: The file\n\"%s\"\nis larger than %llu %s, the most a waypoint file may be.",
                        path.c_str(), wholeMiB ? cap >> 20 : cap, wholeMiB ? "MiB" : "bytes");
}

std::string GpxFaultMessage(const std::string& path, const GpxFault& fault, const WaypointLimits& limits)
{
    const char* name = path.c_str();
    switch (fault.kind) {
    case GpxFault::Kind::NotWellFormed:
        return StringPrintf("Error: The GPX file\n\"%s\"\nis not well-formed XML: line %lld, column %lld: %s",
                            name, fault.line, fault.column, fault.detail.c_str());
    case GpxFault::Kind::NotGpx:
        return StringPrintf("Error: The file\n\"%s\"\nis an XML document, but not GPX: its root element is <%s>.",
                            name, fault.detail.c_str());
    case GpxFault::Kind::DocumentType:
        return StringPrintf("Error: The GPX file\n\"%s\"\ndeclares a document type (line %lld), which is refused.",
                            name, fault.line);
    case GpxFault::Kind::TooDeep:
        return StringPrintf("Error: The GPX file\n\"%s\"\nnests elements more than %d levels deep (line %lld).",
                            name, limits.maxXmlDepth, fault.line);
    case GpxFault::Kind::TooManyPoints:
        return TooManyPoints(path, limits.maxPoints);
    case GpxFault::Kind::BadPoint:
        return StringPrintf("Error: The GPX file\n\"%s\"\nholds a <%s> at line %lld, column %lld without a latitude "
                            "of -90 to 90 and a longitude of -180 to 180.",
                            name, fault.detail.c_str(), fault.line, fault.column);
    case GpxFault::Kind::TooLarge:
        return TooLarge(path, limits.maxFileBytes);
    case GpxFault::Kind::NoPoints:
    case GpxFault::Kind::None:
        break;
    }
    return StringPrintf("Error: No points in the GPX file\n\"%s\".\n\nA route needs <rtept>, <trkpt> or <wpt> "
                        "elements with lat and lon attributes.",
                        name);
}

// Opens a regular file for reading without ever blocking: a FIFO or a
// device is refused before anything is read from it. Sets `error` to the
// message when it fails.
FileHandle OpenRegularFile(const std::string& path, const WaypointLimits& limits, std::string& error)
{
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0) {
        error = StringPrintf("Error: File \"%s\" could not be opened.", path.c_str());
        return nullptr;
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(descriptor);
        error = StringPrintf("Error: \"%s\" is not a regular file; a waypoint file must be one.", path.c_str());
        return nullptr;
    }
    if (static_cast<unsigned long long>(status.st_size) > limits.maxFileBytes) {
        ::close(descriptor);
        error = TooLarge(path, limits.maxFileBytes);
        return nullptr;
    }
    // Reads of a regular file never block; the flag only kept open() from
    // waiting.
    ::fcntl(descriptor, F_SETFL, ::fcntl(descriptor, F_GETFL) & ~O_NONBLOCK);
    FileHandle file(::fdopen(descriptor, "r"));
    if (!file) {
        ::close(descriptor);
        error = StringPrintf("Error: File \"%s\" could not be opened.", path.c_str());
    }
    return file;
}

// Reads the text route; false, with the reason in `error`, when a line is
// refused or the limits are passed.
bool ReadTextRoute(std::FILE* file, const std::string& path, WaypointList& list, std::string& error,
                   const WaypointLimits& limits)
{
    std::string line;
    bool ended = true;
    unsigned long long bytes = 0;
    size_t lineNumber = 0;
    for (bool startsLine = true; ReadLine(file, line, ended, bytes); startsLine = ended) {
        lineNumber += startsLine ? 1 : 0;
        if (bytes > limits.maxFileBytes) {
            error = TooLarge(path, limits.maxFileBytes);
            return false;
        }
        Waypoint waypoint;
        const WaypointLine kind = ReadWaypointLine(line, waypoint);
        // The rest of a line longer than the buffer is most often a long
        // comment: it counts only when it holds a point of its own.
        if (!startsLine && kind != WaypointLine::Point)
            continue;
        switch (kind) {
        case WaypointLine::Skipped:
            continue;
        case WaypointLine::NotNumbers:
            error = StringPrintf("Error: Line %zu of the file\n\"%s\"\ndoes not begin with a latitude and a "
                                 "longitude: the file is neither GPX nor a text route.\n\nExpected layout "
                                 "of a line:\n\nlatitude longitude [comment]",
                                 lineNumber, path.c_str());
            return false;
        case WaypointLine::OutOfRange:
            error = StringPrintf("Error: Line %zu of the file\n\"%s\"\nholds a point outside latitudes -90 "
                                 "to 90 and longitudes -180 to 180.",
                                 lineNumber, path.c_str());
            return false;
        case WaypointLine::Point:
            break;
        }
        if (list.size() >= limits.maxPoints) {
            error = TooManyPoints(path, limits.maxPoints);
            return false;
        }
        list.push_back(std::move(waypoint));
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

WaypointLine ReadWaypointLine(const std::string& line, Waypoint& waypoint)
{
    if (!ParseWaypointLine(line, waypoint))
        return WaypointLine::Skipped;
    size_t pos = 0;
    bool latitudeWhole = false, longitudeWhole = false;
    const double latitude = ToDouble(NextField(line, pos), &latitudeWhole);
    const double longitude = ToDouble(NextField(line, pos), &longitudeWhole);
    if (!latitudeWhole || !longitudeWhole)
        return WaypointLine::NotNumbers;
    if (!std::isfinite(latitude) || !std::isfinite(longitude) || std::fabs(latitude) > 90.0 ||
        std::fabs(longitude) > 180.0)
        return WaypointLine::OutOfRange;
    return WaypointLine::Point;
}

std::string ReadWaypoints(const std::string& path, WaypointList& list, const WaypointLimits& limits)
{
    list.clear();
    std::string error;
    FileHandle file = OpenRegularFile(path, limits, error);
    if (!file)
        return error;
    GpxFault fault;
    const GpxFileRead gpx = ReadGpxWaypointFile(file.get(), list, &fault, limits);
    if (gpx == GpxFileRead::Failed)
        return GpxFaultMessage(path, fault, limits);
    if (gpx == GpxFileRead::NotGpx && !ReadTextRoute(file.get(), path, list, error, limits)) {
        WaypointList().swap(list);
        return error;
    }
    if (list.empty())
        return StringPrintf("Error: No waypoints in the file\n\"%s\".\n\nExpected layout of a line:\n\nlatitude "
                            "longitude [comment]",
                            path.c_str());
    return {};
}

std::string CheckWaypointFile(const std::string& path)
{
    WaypointList list;
    return ReadWaypoints(path, list);
}

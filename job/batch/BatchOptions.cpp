#include "job/batch/BatchOptions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>

const char* const kBatchUsage =
    "Usage: terrafetch-batch [options]\n"
    "\n"
    "Runs one terraFetch job without a window, in the current folder: orders the\n"
    "elevation of a quad, makes its height map and texture and writes the two\n"
    "flight parameter files. Log lines go to standard output as the activity log\n"
    "shows them; the exit status is the job's result code (0 for success).\n"
    "\n"
    "Quad:\n"
    "  --west DEG               west edge in degrees, east positive (default -99)\n"
    "  --north DEG              north edge in degrees, north positive (default 40)\n"
    "  --size DEG               quad size: 1, 0.5, 0.25, 0.1, 0.05 or 0.025 (default 1)\n"
    "  --align-to-grid          snap quads derived from a point to the quad size\n"
    "\n"
    "Job settings:\n"
    "  --substitute-z0          fill the height map's holes (z = 0) by relaxation\n"
    "  --keep-intermediates     keep the archive and every intermediate file\n"
    "  --names-from-coordinates name the result files after the quad's corner\n"
    "  --waypoints FILE         draw the route of a waypoint file into the texture\n"
    "                           (lines \"latitude longitude [comment]\")\n"
    "  --line-thickness N       route width in pixels: 1, 2, 4, 8 or 16 (default 1)\n"
    "  --z-scale Z              vertical exaggeration in the parameter files (default 0.02)\n"
    "  --timeout S              HTTP time-out in seconds, 1 to 300 (default 120)\n"
    "  --scan N                 scanner mode: N consecutive quads, each a quarter\n"
    "                           degree east of the last; stops at the first failure\n"
    "  --help                   show this text\n"
    "\n"
    "Services: TERRAFETCH_EXTRACT_HOST, TERRAFETCH_MAP_HOST and TERRAFETCH_GEOCODE_HOST\n"
    "name the elevation extract service, the map server and the geocoder (host or\n"
    "host:port). Services left unset are served by the bundled reference services,\n"
    "started in this process on a loopback port.\n"
    "\n"
    "Ctrl-C cancels the running job. When standard input is no terminal, a failed\n"
    "connection is not retried.\n";

namespace {

bool ParseNumber(const std::string& text, double& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && *end == '\0' && errno == 0 && std::isfinite(value);
}

bool ParseWhole(const std::string& text, int& value)
{
    double number = 0;
    if (!ParseNumber(text, number) || number != std::floor(number) || std::fabs(number) > 1e9)
        return false;
    value = static_cast<int>(number);
    return true;
}

} // namespace

bool ParseBatchOptions(const std::vector<std::string>& arguments, BatchOptions& options, std::string& error)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        auto value = [&](std::string& text) {
            if (i + 1 >= arguments.size()) {
                error = name + " needs a value.";
                return false;
            }
            text = arguments[++i];
            return true;
        };
        std::string text;
        double number = 0;
        int whole = 0;
        if (name == "--help" || name == "-h") {
            options.help = true;
        } else if (name == "--substitute-z0") {
            options.substituteZ0 = true;
        } else if (name == "--align-to-grid") {
            options.alignToGrid = true;
        } else if (name == "--keep-intermediates") {
            options.keepIntermediates = true;
        } else if (name == "--names-from-coordinates") {
            options.namesFromCoordinates = true;
        } else if (name == "--west" || name == "--north") {
            if (!value(text))
                return false;
            const double limit = name == "--west" ? 180 : 90;
            if (!ParseNumber(text, number) || std::fabs(number) > limit) {
                error = name + " takes degrees between -" + std::to_string(int(limit)) + " and "
                      + std::to_string(int(limit)) + ", not \"" + text + "\".";
                return false;
            }
            (name == "--west" ? options.west : options.north) = number;
        } else if (name == "--size") {
            if (!value(text))
                return false;
            const double sizes[] = {1.0, 0.5, 0.25, 0.1, 0.05, 0.025};
            if (!ParseNumber(text, number) || std::find(std::begin(sizes), std::end(sizes), number) == std::end(sizes)) {
                error = "--size takes 1, 0.5, 0.25, 0.1, 0.05 or 0.025, not \"" + text + "\".";
                return false;
            }
            options.size = number;
        } else if (name == "--waypoints") {
            if (!value(options.waypointFile))
                return false;
        } else if (name == "--line-thickness") {
            if (!value(text))
                return false;
            if (!ParseWhole(text, whole) || (whole != 1 && whole != 2 && whole != 4 && whole != 8 && whole != 16)) {
                error = "--line-thickness takes 1, 2, 4, 8 or 16, not \"" + text + "\".";
                return false;
            }
            options.lineThickness = whole;
        } else if (name == "--z-scale") {
            if (!value(text))
                return false;
            if (!ParseNumber(text, number)) {
                error = "--z-scale takes a number, not \"" + text + "\".";
                return false;
            }
            options.zScale = number;
        } else if (name == "--timeout") {
            if (!value(text))
                return false;
            if (!ParseWhole(text, whole) || whole < 1 || whole > 300) {
                error = "--timeout takes whole seconds from 1 to 300, not \"" + text + "\".";
                return false;
            }
            options.timeout = whole;
        } else if (name == "--scan") {
            if (!value(text))
                return false;
            if (!ParseWhole(text, whole) || whole < 1) {
                error = "--scan takes a number of quads of at least 1, not \"" + text + "\".";
                return false;
            }
            options.scanQuads = whole;
        } else {
            error = "Unknown option \"" + name + "\".";
            return false;
        }
    }
    return true;
}

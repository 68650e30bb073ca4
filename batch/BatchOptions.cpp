#include "batch/BatchOptions.h"

#include "live/LiveSourceOptions.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <initializer_list>

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
    "                           (lines \"latitude longitude [comment]\", or GPX)\n"
    "  --line-thickness N       route width in pixels: 1, 2, 4, 8 or 16 (default 1)\n"
    "  --z-scale Z              vertical exaggeration in the parameter files (default 0.02)\n"
    "  --timeout S              HTTP time-out in seconds, 1 to 300 (default 120)\n"
    "  --texture KIND           what the texture shows: map (the street map over a\n"
    "                           colouring by elevation, the default), imagery (an\n"
    "                           aerial photograph) or imagery+map (the street map\n"
    "                           over the photograph)\n"
    "  --texture-height H       texture rows: 1200 (default), 2400, 4800 or 9600; the\n"
    "                           width follows the quad's mid-latitude\n"
    "  --scan N                 scanner mode: N consecutive quads, each a quarter\n"
    "                           degree east of the last; stops at the first failure\n"
    "  --export LIST            after each successful job, also write the results\n"
    "                           in these comma-separated formats, beside them:\n"
    "                           png16   heights as 16-bit greyscale PNG (X_el.png)\n"
    "                           r16     heights as little-endian 16-bit raw (X_el.r16)\n"
    "                                   (both with X_el.json: grey to metres, quad)\n"
    "                           geotiff heights as GeoTIFF, EPSG:4326 (X_el.tif)\n"
    "                           png     the texture as PNG (X_tx.png)\n"
    "                           A failed export makes the exit status 1.\n"
    "  --sources live|bundled   data of the services this program starts: live public\n"
    "                           sources (needs internet; cached) or the bundled,\n"
    "                           offline data (overrides TERRAFETCH_SOURCES)\n"
    "  --dem-url URL            live elevation tiles' base URL (.../N39/N39W099.hgt.gz)\n"
    "  --dem2-url URL           the second elevation source of live mode: the USGS\n"
    "                           3DEP 1\" GeoTIFFs (.../n40w099/USGS_1_n40w099.tif),\n"
    "                           used for cells the tiles fail for; \"none\" switches\n"
    "                           it off\n"
    "  --wms-url URL            live street map WMS (roads, railroads, water)\n"
    "  --wms-boundaries-url URL live boundaries WMS (states, counties, places)\n"
    "  --geocoder-url URL       live Census one-line address geocoder\n"
    "  --imagery-url URL        live aerial imagery WMS (USGS orthoimagery)\n"
    "                           (each overrides its TERRAFETCH_* variable below)\n"
    "  --check-sources          try each live public source with one small request,\n"
    "                           print a line per source (OK with its round trip, or\n"
    "                           what failed and which setting to check) and exit:\n"
    "                           0 when all work, 1 otherwise; runs no job\n"
    "  --help                   show this text\n"
    "\n"
    "Regions (each quad a job of its own, in its own folder under the current one):\n"
    "  --region W,S,E,N         every quad of --size aligned to the size's grid that\n"
    "                           covers this box (degrees), rows north to south, each\n"
    "                           west to east; the folders are named after the quads'\n"
    "                           north-west corners: N39.75W098.25, S05.50E120.00\n"
    "  --quads FILE             the quads of a file instead: lines \"west north\",\n"
    "                           '#' starts a comment\n"
    "  --jobs N                 quads run side by side (default: one per core, as\n"
    "                           many as the available memory holds at about 100 MB\n"
    "                           for a 1 degree quad)\n"
    "  --shard K/N              run only the quads whose index in the region's order\n"
    "                           is K modulo N (for N machines, K = 0 ... N-1)\n"
    "  --redo                   make quads finished with other options again\n"
    "  --yes                    allow a region of more than 10000 quads\n"
    "                           Every other option applies to each quad. A record\n"
    "                           (region-record.tsv, one per shard) keeps each quad's\n"
    "                           state; the same command again skips the finished\n"
    "                           quads and redoes the others. With --export geotiff,\n"
    "                           region.vrt mosaics the quads' GeoTIFFs. Exit status:\n"
    "                           0 when every quad is finished, 1 otherwise, 2 for\n"
    "                           bad arguments or quads finished with other options.\n"
    "\n"
    "Services: TERRAFETCH_EXTRACT_HOST, TERRAFETCH_MAP_HOST and TERRAFETCH_GEOCODE_HOST\n"
    "name the elevation extract service, the map server and the geocoder (host or\n"
    "host:port). Services left unset are served by the bundled reference services,\n"
    "started in this process on a loopback port. TERRAFETCH_SOURCES=live (default\n"
    "bundled) has them answer from the public sources at TERRAFETCH_DEM_URL,\n"
    "TERRAFETCH_DEM2_URL, TERRAFETCH_WMS_URL, TERRAFETCH_WMS_BOUNDARIES_URL and\n"
    "TERRAFETCH_GEOCODER_URL, caching in $XDG_CACHE_HOME/terrafetch (else\n"
    "~/.cache/terrafetch).\n"
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

namespace {

using Reader = bool (*)(const std::string& text, BatchOptions& options);

struct ValueOption {
    const char* name;
    const char* expects;  // completes "NAME takes ..."
    Reader read;
};

bool ReadDegrees(const std::string& text, double limit, std::optional<double>& target)
{
    double number = 0;
    if (!ParseNumber(text, number) || std::fabs(number) > limit)
        return false;
    target = number;
    return true;
}

bool ReadChoice(const std::string& text, std::initializer_list<double> choices, double& number)
{
    return ParseNumber(text, number) && std::find(choices.begin(), choices.end(), number) != choices.end();
}

const ValueOption kValueOptions[] = {
    {"--west", "degrees between -180 and 180",
     [](const std::string& t, BatchOptions& o) { return ReadDegrees(t, 180, o.west); }},
    {"--north", "degrees between -90 and 90",
     [](const std::string& t, BatchOptions& o) { return ReadDegrees(t, 90, o.north); }},
    {"--size", "1, 0.5, 0.25, 0.1, 0.05 or 0.025",
     [](const std::string& t, BatchOptions& o) {
         double size = 0;
         if (!ReadChoice(t, {1.0, 0.5, 0.25, 0.1, 0.05, 0.025}, size))
             return false;
         o.size = size;
         return true;
     }},
    {"--waypoints", "a file name",
     [](const std::string& t, BatchOptions& o) {
         o.waypointFile = t;
         return !t.empty();
     }},
    {"--line-thickness", "1, 2, 4, 8 or 16",
     [](const std::string& t, BatchOptions& o) {
         double thickness = 0;
         if (!ReadChoice(t, {1, 2, 4, 8, 16}, thickness))
             return false;
         o.lineThickness = static_cast<int>(thickness);
         return true;
     }},
    {"--z-scale", "a number",
     [](const std::string& t, BatchOptions& o) {
         double scale = 0;
         if (!ParseNumber(t, scale))
             return false;
         o.zScale = scale;
         return true;
     }},
    {"--timeout", "whole seconds from 1 to 300",
     [](const std::string& t, BatchOptions& o) {
         int seconds = 0;
         if (!ParseWhole(t, seconds) || seconds < 1 || seconds > 300)
             return false;
         o.timeout = seconds;
         return true;
     }},
    {"--texture", "map, imagery or imagery+map",
     [](const std::string& t, BatchOptions& o) {
         o.textureKind = TextureKindNamed(t);
         return o.textureKind.has_value();
     }},
    {"--texture-height", "1200, 2400, 4800 or 9600",
     [](const std::string& t, BatchOptions& o) {
         int height = 0;
         if (!ParseWhole(t, height) || !IsTextureHeight(height))
             return false;
         o.textureHeight = height;
         return true;
     }},
    {"--export", "a comma-separated list of png16, geotiff, r16 and png",
     [](const std::string& t, BatchOptions& o) {
         std::string ignored;
         return ParseExportFormats(t, o.exports, ignored);
     }},
    {"--sources", "live or bundled",
     [](const std::string& t, BatchOptions& o) {
         if (t != "live" && t != "bundled")
             return false;
         o.liveSources = t == "live";
         return true;
     }},
    {"--scan", "a number of quads of at least 1",
     [](const std::string& t, BatchOptions& o) { return ParseWhole(t, o.scanQuads) && o.scanQuads >= 1; }},
    {"--quads", "a file name",
     [](const std::string& t, BatchOptions& o) {
         o.quadsFile = t;
         return !t.empty();
     }},
    {"--jobs", "a number of jobs from 1 to 64",
     [](const std::string& t, BatchOptions& o) {
         int jobs = 0;
         if (!ParseWhole(t, jobs) || jobs < 1 || jobs > 64)
             return false;
         o.jobs = jobs;
         return true;
     }},
};

// The region run's own options, which its quads' jobs are not given.
bool IsRegionOption(const std::string& name)
{
    for (const char* option : {"--region", "--quads", "--jobs", "--shard", "--redo", "--yes"})
        if (name == option)
            return true;
    return false;
}

// Options whose text names an own error message rather than "NAME takes ...".
bool ReadOwnWordedOption(const std::string& name, const std::string& text, BatchOptions& options,
                         std::string& error)
{
    if (name == "--region") {
        RegionBox box;
        if (!ParseRegionBox(text, box, error))
            return false;
        options.region = box;
    } else {
        Shard shard;
        if (!ParseShard(text, shard, error))
            return false;
        options.shard = shard;
    }
    return true;
}

// What cannot be combined, once every argument is read.
bool CheckCombinations(const BatchOptions& options, std::string& error)
{
    error.clear();
    const bool region = options.IsRegionRun();
    if (options.region && !options.quadsFile.empty())
        error = "--region and --quads cannot be combined: give the quads one way.";
    else if (region && (options.west || options.north))
        error = "--west and --north name one quad; a region run takes its quads from --region or --quads.";
    else if (region && options.scanQuads > 0)
        error = "--scan cannot be combined with --region or --quads.";
    else if (region && options.checkSources)
        error = "--check-sources runs no job; it cannot be combined with --region or --quads.";
    else if (!region && (options.jobs || options.shard || options.redo || options.yes))
        error = "--jobs, --shard, --redo and --yes belong to a region run (--region or --quads).";
    return error.empty();
}

// The switches without a value, and the flag each sets.
bool* SwitchFlag(const std::string& name, BatchOptions& options)
{
    if (name == "--help" || name == "-h")
        return &options.help;
    if (name == "--substitute-z0")
        return &options.substituteZ0;
    if (name == "--align-to-grid")
        return &options.alignToGrid;
    if (name == "--keep-intermediates")
        return &options.keepIntermediates;
    if (name == "--names-from-coordinates")
        return &options.namesFromCoordinates;
    if (name == "--check-sources")
        return &options.checkSources;
    if (name == "--redo")
        return &options.redo;
    if (name == "--yes")
        return &options.yes;
    return nullptr;
}

bool IsLiveSettingOption(const std::string& name)
{
    LiveSourceSettings scratch;
    return name != "--cache" && LiveSourceSettingOfOption(name, scratch) != nullptr;
}

const ValueOption* FindValueOption(const std::string& name)
{
    for (const ValueOption& option : kValueOptions)
        if (name == option.name)
            return &option;
    return nullptr;
}

} // namespace

bool ParseBatchOptions(const std::vector<std::string>& arguments, BatchOptions& options, std::string& error)
{
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& name = arguments[i];
        if (!IsRegionOption(name)) {
            options.jobArguments.push_back(name);
            if (i + 1 < arguments.size() && !SwitchFlag(name, options))
                options.jobArguments.push_back(arguments[i + 1]);
        }
        if (bool* flag = SwitchFlag(name, options)) {
            *flag = true;
            continue;
        }
        if (IsLiveSettingOption(name)) {
            if (i + 1 >= arguments.size() || arguments[i + 1].empty()) {
                error = name + " needs a URL.";
                return false;
            }
            options.liveSettings.emplace_back(name, arguments[++i]);
            continue;
        }
        if (name == "--region" || name == "--shard") {
            if (i + 1 >= arguments.size()) {
                error = name + " needs a value.";
                return false;
            }
            if (!ReadOwnWordedOption(name, arguments[++i], options, error))
                return false;
            continue;
        }
        const ValueOption* option = FindValueOption(name);
        if (!option) {
            error = "Unknown option \"" + name + "\".";
            return false;
        }
        if (i + 1 >= arguments.size()) {
            error = name + " needs a value.";
            return false;
        }
        const std::string& text = arguments[++i];
        if (!option->read(text, options)) {
            error = name + " takes " + option->expects + ", not \"" + text + "\".";
            return false;
        }
    }
    return CheckCombinations(options, error);
}

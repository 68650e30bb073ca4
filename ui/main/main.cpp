// terrafetch: the desktop program.
#include "ui/CterraFetchApp.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const kUsage =
    "Usage: terrafetch [--help]\n"
    "\n"
    "Opens the terraFetch window: pick a quad by its west and north edges or by\n"
    "geocoding an address, then press Proceed... to order its elevation, make its\n"
    "height map and texture and write the two flight parameter files into the\n"
    "current folder. Help in the window explains it all.\n"
    "\n"
    "  --help    show this text\n"
    "\n"
    "Services: TERRAFETCH_EXTRACT_HOST, TERRAFETCH_MAP_HOST and TERRAFETCH_GEOCODE_HOST\n"
    "name the elevation extract service, the map server and the geocoder (host or\n"
    "host:port). Services left unset are served by the bundled reference services.\n"
    "tfcScanner=yes (any case) starts in scanner mode: quarter-degree quads on a grid.\n";

} // namespace

int main(int argc, char** argv)
{
    // Answered before the window system is touched, so it works without a display.
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
    }
    CterraFetchApp application(argc, argv);
    return application.InitInstance();
}

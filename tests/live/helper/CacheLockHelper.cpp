// A second process for the cache lock tests: it holds an entry's lock, or
// fetches an elevation tile into a cache, while the test process works on
// the same cache folder.
//
//   cache_lock_helper hold ENTRY            locks ENTRY, says "held", lets go when its input ends
//   cache_lock_helper tile FOLDER URL LAT LON   fetches the tile, says "ready N" (N: 1 when from the cache)
#include "live/CacheEntryLock.h"
#include "live/ElevationTileCache.h"
#include "live/UpstreamClient.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

int Hold(const std::string& entry)
{
    const CacheEntryLock lock(entry, {});
    std::printf("%s\n", lock.Outcome() == CacheEntryLock::State::kHeld ? "held" : "not held");
    std::fflush(stdout);
    char byte = 0;
    while (::read(STDIN_FILENO, &byte, 1) > 0) {
    }
    return 0;
}

int Tile(const std::string& folder, const std::string& url, int latitude, int longitude)
{
    UpstreamClient client(UpstreamClient::Limits{2, 5, 1, std::chrono::milliseconds(10), 4});
    ElevationTileCache cache(folder, url, client);
    const ElevationTileCache::Tile tile = cache.Fetch({latitude, longitude});
    if (tile.outcome != ElevationTileCache::Outcome::kReady) {
        std::printf("failed %s\n", tile.error.c_str());
        return 1;
    }
    std::printf("ready %d\n", tile.fromCache ? 1 : 0);
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && std::strcmp(argv[1], "hold") == 0)
        return Hold(argv[2]);
    if (argc == 6 && std::strcmp(argv[1], "tile") == 0)
        return Tile(argv[2], argv[3], std::atoi(argv[4]), std::atoi(argv[5]));
    std::fprintf(stderr, "usage: cache_lock_helper hold ENTRY | tile FOLDER URL LAT LON\n");
    return 2;
}

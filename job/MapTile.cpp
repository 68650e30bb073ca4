#include "job/MapTile.h"

#include "core/JobWindow.h"
#include "core/StringPrintf.h"
#include "http/CHTTPRequest.h"

#include <vector>

std::string MapTileUrl(const std::string& host, double west, double east, double north, double south,
                       int imageWidth)
{
    const int imageHeight = static_cast<int>(imageWidth * 1.04 + 0.5);
    return StringPrintf("http://%s/cgi-bin/mapper/map.gif?lon=%0.8f&lat=%0.8f&wid=%0.8f&ht=%0.8f&iwd=%d&iht=%d"
                        "&on=CITIES,GRID,counties,indian,majroads,miscell,places,railroad,shorelin,streets,"
                        "interstate,statehwy,ushwy,states,water",
                        host.c_str(), (west + east) * 0.5, (north + south) * 0.5, east - west,
                        (north - south) * 1.04, imageWidth, imageHeight);
}

unsigned long long MapTileMaxBytes(int imageWidth)
{
    const auto width = static_cast<unsigned long long>(imageWidth > 0 ? imageWidth : 0);
    const unsigned long long height = width * 104 / 100 + 1;
    return width * height * 2 + (1ull << 20);
}

int RequestMapTile(const std::string& gifFile, double west, double east, double north, double south,
                   int imageWidth, const std::string& host, JobWindow& window,
                   const std::atomic<bool>& cancelRequested, int timeoutSeconds)
{
    static const std::vector<std::string> noMarkers;
    CHTTPRequest request(window, cancelRequested, noMarkers, timeoutSeconds);
    request.setMaxFileSize(MapTileMaxBytes(imageWidth));
    const std::string url = MapTileUrl(host, west, east, north, south, imageWidth);
    window.AddToLog(StringPrintf("Executing HTTP request: \"%s\".", url.c_str()));
    const int result = request.execute(url, gifFile, false);
    window.AddToLog(result == 0 ? "HTTP request was successful." : "Error processing HTTP request.");
    return result;
}

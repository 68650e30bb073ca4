#include "live/LiveSourceOptions.h"

std::string* LiveSourceSettingOfOption(const std::string& option, LiveSourceSettings& settings)
{
    if (option == "--cache")
        return &settings.cacheFolder;
    if (option == "--dem-url")
        return &settings.demUrl;
    if (option == "--dem2-url")
        return &settings.dem2Url;
    if (option == "--wms-url")
        return &settings.wmsUrl;
    if (option == "--wms-boundaries-url")
        return &settings.wmsBoundariesUrl;
    if (option == "--geocoder-url")
        return &settings.geocoderUrl;
    if (option == "--imagery-url")
        return &settings.imageryUrl;
    return nullptr;
}

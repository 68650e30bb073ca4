#pragma once

#include <string>

// Where the bundled services get their data: from the bundled, offline
// sources (the default), or live from public sources over the internet.
// Like every setting of the program, these are read at start and never stored.
struct LiveSourceSettings {
    static constexpr const char* kDefaultDemUrl =
        "https://s3.amazonaws.com/elevation-tiles-prod/skadi";
    static constexpr const char* kDefaultDem2Url =
        "https://prd-tnm.s3.amazonaws.com/StagedProducts/Elevation/1/TIFF/current";
    // As the second elevation source's URL: no second source.
    static constexpr const char* kNoSource = "none";
    static constexpr const char* kDefaultWmsUrl =
        "https://tigerweb.geo.census.gov/arcgis/services/TIGERweb/"
        "tigerWMS_PhysicalFeatures/MapServer/WmsServer";
    static constexpr const char* kDefaultWmsBoundariesUrl =
        "https://tigerweb.geo.census.gov/arcgis/services/TIGERweb/"
        "tigerWMS_Current/MapServer/WmsServer";
    static constexpr const char* kDefaultImageryUrl =
        "https://basemap.nationalmap.gov/arcgis/services/USGSImageryOnly/MapServer/WMSServer";
    static constexpr const char* kDefaultGeocoderUrl =
        "https://geocoding.geo.census.gov/geocoder/locations/onelineaddress";

    bool live = false;
    std::string cacheFolder;  // empty: DefaultLiveCacheFolder()
    std::string demUrl = kDefaultDemUrl;
    std::string dem2Url = kDefaultDem2Url;  // the USGS 3DEP 1" GeoTIFFs, for cells demUrl fails
    std::string wmsUrl = kDefaultWmsUrl;
    std::string wmsBoundariesUrl = kDefaultWmsBoundariesUrl;
    std::string geocoderUrl = kDefaultGeocoderUrl;
    // The aerial imagery's WMS, which a job fetches itself.
    std::string imageryUrl = kDefaultImageryUrl;

    // The cache folder in use: cacheFolder, or the default when it is empty.
    std::string CacheFolder() const;
    bool HasSecondDemSource() const { return !dem2Url.empty() && dem2Url != kNoSource; }
};

// $XDG_CACHE_HOME/terrafetch, else ~/.cache/terrafetch.
std::string DefaultLiveCacheFolder();

// Reads TERRAFETCH_SOURCES ("live" or "bundled"; unset or empty: bundled)
// and TERRAFETCH_DEM_URL, TERRAFETCH_DEM2_URL, TERRAFETCH_WMS_URL, TERRAFETCH_WMS_BOUNDARIES_URL,
// TERRAFETCH_GEOCODER_URL, TERRAFETCH_IMAGERY_URL over the defaults. Returns false with `error` set
// for any other TERRAFETCH_SOURCES value.
bool LiveSourceSettingsFromEnvironment(LiveSourceSettings& settings, std::string& error);

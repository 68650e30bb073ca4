#pragma once

#include "gateway/ServiceReply.h"
#include "services/ImageryDrawing.h"
#include "terrain/ElevationSource.h"

#include <optional>
#include <string>

// The aerial imagery stand-in of the bundled services: a WMS 1.3.0 at
// /imagery/wms with one layer, "0", whose GetMap answers a PNG drawn from
// the services' own terrain and water (see ImageryDrawing.h), so imagery
// textures work without a network. Parameter names are read in any case.
//
//   SERVICE=WMS&REQUEST=GetCapabilities           the capabilities (text/xml)
//   REQUEST=GetMap&VERSION=1.3.0&LAYERS=0&STYLES=&CRS=EPSG:4326
//     &BBOX=south,west,north,east&WIDTH=w&HEIGHT=h&FORMAT=image/png
//                                                 an RGB PNG of w × h
//
// CRS:84 takes BBOX=west,south,east,north. TRANSPARENT and BGCOLOR are
// accepted and change nothing: the picture has no background. Every refusal
// is a ServiceException document with status 200, as public map services
// send them.
class ImageryService {
public:
    static constexpr const char* kPath = "/imagery/wms";
    static constexpr const char* kLayerName = "0";
    static constexpr const char* kLayerTitle = "Drawn imagery stand-in";
    static constexpr int kMaxImageSide = 4096;
    static constexpr double kMaxSpanDegrees = 30.0;

    explicit ImageryService(ElevationSourceOptions elevation) : elevation_(std::move(elevation)) {}

    // `host` ("address:port") is where the capabilities say the service is.
    ServiceReply Answer(const QueryMap& query, const std::string& host) const;

    // Why a request is refused: a WMS exception code (may be empty) and a message.
    struct Refusal {
        std::string code;
        std::string message;
    };
    // Reads a GetMap query whose keys are already lower case; a refusal when
    // it is not one this service draws.
    static std::optional<Refusal> ParseGetMap(const QueryMap& lowerCaseQuery, ImageryFrame& frame);
    // The query with its keys in lower case; of keys that differ only in
    // case, the first in the query map's order wins.
    static QueryMap LowerCaseKeys(const QueryMap& query);

    static ServiceReply Exception(const Refusal& refusal);
    static std::string CapabilitiesDocument(const std::string& host);

private:
    ServiceReply GetMap(const ImageryFrame& frame) const;

    ElevationSourceOptions elevation_;
};

#include "services/ImageryService.h"

#include "core/PngRowWriter.h"
#include "mapdraw/Gazetteer.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr const char* kExceptionType = "text/xml";
constexpr int kBandRows = 64;  // pixel rows drawn before they go to the encoder

std::string EscapeXml(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // Control bytes of a quoted value cannot stand in XML.
            out += static_cast<unsigned char>(c) < 0x20 ? ' ' : c;
        }
    }
    return out;
}

// A value quoted in a message, cut short when long.
std::string Quoted(const std::string& value)
{
    constexpr size_t kShown = 60;
    return "\"" + (value.size() > kShown ? value.substr(0, kShown) + "..." : value) + "\"";
}

bool Equal(const std::string& text, const char* expected) { return LowerCase(text) == LowerCase(expected); }

// The four numbers of a BBOX, in the order given.
bool ParseBox(const std::string& text, double (&numbers)[4])
{
    size_t start = 0;
    for (int i = 0; i < 4; ++i) {
        const size_t comma = text.find(',', start);
        if ((comma == std::string::npos) != (i == 3))
            return false;
        const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!ParseNumber(part, numbers[i]))
            return false;
        start = comma + 1;
    }
    return true;
}

std::optional<ImageryService::Refusal> Refuse(const char* code, std::string message)
{
    return ImageryService::Refusal{code, std::move(message)};
}

std::optional<ImageryService::Refusal> ParseSize(const QueryMap& query, const char* key, int& size)
{
    std::string text;
    long value = 0;
    const std::string name = LowerCase(key) == "width" ? "WIDTH" : "HEIGHT";
    if (!FindKey(query, key, text) || text.empty())
        return Refuse("MissingParameterValue", "The GetMap request lacks " + name + ".");
    if (!ParseInteger(text, value) || value < 1 || value > ImageryService::kMaxImageSide)
        return Refuse("InvalidParameterValue", name + " must be a whole number from 1 to " +
                                                   std::to_string(ImageryService::kMaxImageSide) + ", not " +
                                                   Quoted(text) + ".");
    size = static_cast<int>(value);
    return std::nullopt;
}

std::optional<ImageryService::Refusal> ParseBoxOf(const QueryMap& query, bool latitudeFirst, ImageryFrame& frame)
{
    std::string text;
    if (!FindKey(query, "bbox", text) || text.empty())
        return Refuse("MissingParameterValue", "The GetMap request lacks BBOX.");
    double n[4];
    if (!ParseBox(text, n))
        return Refuse("InvalidParameterValue", "BBOX must be four numbers separated by commas, not " + Quoted(text) + ".");
    if (latitudeFirst) {
        frame.south = n[0], frame.west = n[1], frame.north = n[2], frame.east = n[3];
    } else {
        frame.west = n[0], frame.south = n[1], frame.east = n[2], frame.north = n[3];
    }
    if (!(frame.east > frame.west) || !(frame.north > frame.south))
        return Refuse("InvalidParameterValue", "BBOX must have its minimum below its maximum on both axes.");
    if (frame.west < -180.0 || frame.east > 180.0 || frame.south < -90.0 || frame.north > 90.0)
        return Refuse("InvalidParameterValue", "BBOX must lie within longitudes -180 to 180 and latitudes -90 to 90.");
    if (frame.east - frame.west > ImageryService::kMaxSpanDegrees ||
        frame.north - frame.south > ImageryService::kMaxSpanDegrees)
        return Refuse("InvalidParameterValue", "BBOX may span at most 30 degrees on each axis.");
    return std::nullopt;
}

}  // namespace

QueryMap ImageryService::LowerCaseKeys(const QueryMap& query)
{
    QueryMap lower;
    for (const auto& [key, value] : query)
        lower.emplace(LowerCase(key), value);
    return lower;
}

std::optional<ImageryService::Refusal> ImageryService::ParseGetMap(const QueryMap& query, ImageryFrame& frame)
{
    std::string text;
    if (FindKey(query, "version", text) && text != "1.3.0")
        return Refuse("InvalidParameterValue", "This service answers GetMap in WMS version 1.3.0, not " + Quoted(text) + ".");
    if (!FindKey(query, "layers", text) || text.empty())
        return Refuse("LayerNotDefined", "The GetMap request names no layer; the only layer is \"0\".");
    if (text != kLayerName)
        return Refuse("LayerNotDefined", "Layer " + Quoted(text) + " is not defined; the only layer is \"0\".");
    if (FindKey(query, "styles", text) && !text.empty() && !Equal(text, "default"))
        return Refuse("StyleNotDefined", "Style " + Quoted(text) + " is not defined; leave STYLES empty.");
    std::string crs;
    if (!FindKey(query, "crs", crs) || crs.empty())
        return Refuse("MissingParameterValue", "The GetMap request lacks CRS.");
    const bool geographic = Equal(crs, "EPSG:4326");
    if (!geographic && !Equal(crs, "CRS:84"))
        return Refuse("InvalidCRS", "CRS " + Quoted(crs) + " is not offered; use EPSG:4326 or CRS:84.");
    if (auto refusal = ParseBoxOf(query, geographic, frame))
        return refusal;
    if (auto refusal = ParseSize(query, "width", frame.width))
        return refusal;
    if (auto refusal = ParseSize(query, "height", frame.height))
        return refusal;
    if (!FindKey(query, "format", text) || text.empty())
        return Refuse("MissingParameterValue", "The GetMap request lacks FORMAT.");
    if (!Equal(text, "image/png"))
        return Refuse("InvalidFormat", "Format " + Quoted(text) + " is not offered; use image/png.");
    return std::nullopt;
}

ServiceReply ImageryService::Exception(const Refusal& refusal)
{
    ServiceReply reply;
    reply.contentType = kExceptionType;
    const std::string code = refusal.code.empty() ? "" : " code=\"" + EscapeXml(refusal.code) + "\"";
    reply.body = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                 "<ServiceExceptionReport version=\"1.3.0\" xmlns=\"http://www.opengis.net/ogc\">\n"
                 "  <ServiceException" + code + ">" + EscapeXml(refusal.message) + "</ServiceException>\n"
                 "</ServiceExceptionReport>\n";
    return reply;
}

std::string ImageryService::CapabilitiesDocument(const std::string& host)
{
    const std::string url = EscapeXml("http://" + host + kPath + "?");
    const std::string resource = "<OnlineResource xlink:type=\"simple\" xlink:href=\"" + url + "\"/>";
    const std::string get = "<DCPType><HTTP><Get>" + resource + "</Get></HTTP></DCPType>";
    // The contiguous United States, where the services' terrain is shaped.
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<WMS_Capabilities version=\"1.3.0\" xmlns=\"http://www.opengis.net/wms\""
           " xmlns:xlink=\"http://www.w3.org/1999/xlink\">\n"
           "<Service>\n"
           "  <Name>WMS</Name>\n"
           "  <Title>terraFetch drawn imagery stand-in</Title>\n"
           "  <Abstract>A drawing in place of aerial photography, made from the bundled services' terrain and "
           "water: no photograph.</Abstract>\n"
           "  " + resource + "\n"
           "  <MaxWidth>4096</MaxWidth>\n"
           "  <MaxHeight>4096</MaxHeight>\n"
           "</Service>\n"
           "<Capability>\n"
           "  <Request>\n"
           "    <GetCapabilities><Format>text/xml</Format>" + get + "</GetCapabilities>\n"
           "    <GetMap><Format>image/png</Format>" + get + "</GetMap>\n"
           "  </Request>\n"
           "  <Exception><Format>XML</Format></Exception>\n"
           "  <Layer>\n"
           "    <Title>terraFetch imagery</Title>\n"
           "    <CRS>EPSG:4326</CRS>\n"
           "    <CRS>CRS:84</CRS>\n"
           "    <EX_GeographicBoundingBox><westBoundLongitude>-125</westBoundLongitude>"
           "<eastBoundLongitude>-66</eastBoundLongitude><southBoundLatitude>24</southBoundLatitude>"
           "<northBoundLatitude>50</northBoundLatitude></EX_GeographicBoundingBox>\n"
           "    <BoundingBox CRS=\"EPSG:4326\" minx=\"24\" miny=\"-125\" maxx=\"50\" maxy=\"-66\"/>\n"
           "    <BoundingBox CRS=\"CRS:84\" minx=\"-125\" miny=\"24\" maxx=\"-66\" maxy=\"50\"/>\n"
           "    <Layer opaque=\"1\">\n"
           "      <Name>" + std::string(kLayerName) + "</Name>\n"
           "      <Title>" + std::string(kLayerTitle) + "</Title>\n"
           "    </Layer>\n"
           "  </Layer>\n"
           "</Capability>\n"
           "</WMS_Capabilities>\n";
}

ServiceReply ImageryService::Answer(const QueryMap& query, const std::string& host) const
{
    const QueryMap lower = LowerCaseKeys(query);
    std::string text;
    if (FindKey(lower, "service", text) && !Equal(text, "WMS"))
        return Exception({"InvalidParameterValue", "SERVICE must be WMS, not " + Quoted(text) + "."});
    std::string request;
    FindKey(lower, "request", request);
    if (Equal(request, "GetCapabilities")) {
        ServiceReply reply;
        reply.contentType = "text/xml";
        reply.body = CapabilitiesDocument(host);
        return reply;
    }
    if (!Equal(request, "GetMap"))
        return Exception({"OperationNotSupported",
                          request.empty() ? std::string("The request names no REQUEST; this service answers "
                                                        "GetCapabilities and GetMap.")
                                          : "Request " + Quoted(request) +
                                                " is not supported; this service answers GetCapabilities and GetMap."});
    ImageryFrame frame;
    if (const auto refusal = ParseGetMap(lower, frame))
        return Exception(*refusal);
    return GetMap(frame);
}

ServiceReply ImageryService::GetMap(const ImageryFrame& frame) const
{
    const ImageryDrawing drawing(elevation_, frame);
    if (!drawing.Ok())
        return Exception({"", "The imagery of this box could not be drawn."});
    // A band of rows at a time, straight into the encoder: beside the PNG
    // only one band of pixels is ever held.
    std::string bytes = EncodePngInBands(frame.width, frame.height, kBandRows,
                                         [&drawing](int first, int end, uint8_t* rgb) { drawing.DrawRows(first, end, rgb); });
    if (bytes.empty())
        return Exception({"", "The imagery could not be encoded."});
    ServiceReply reply;
    reply.contentType = "image/png";
    reply.body = std::move(bytes);
    return reply;
}

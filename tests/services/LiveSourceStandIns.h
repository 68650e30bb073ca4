#pragma once

// Stand-ins for the public sources of live mode, on loopback: they answer in
// the sources' documented formats and record what they were asked.
#include "live/WmsGetMap.h"
#include "mapdraw/GifEncoder.h"
#include "tests/http/LoopbackServer.h"
#include "tests/support/PngBytes.h"

#include <gtest/gtest.h>
#include <png.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>
#include <mutex>
#include <set>
#include <sstream>
#include <vector>

#include <cctype>
#include <map>
#include <string>

// The query of a request target, percent-decoded ('+' is a blank).
inline std::map<std::string, std::string> QueryOf(const std::string& target)
{
    std::map<std::string, std::string> query;
    const size_t mark = target.find('?');
    if (mark == std::string::npos)
        return query;
    auto decode = [](const std::string& text) {
        std::string out;
        for (size_t i = 0; i < text.size(); ++i) {
            if (text[i] == '%' && i + 2 < text.size() && std::isxdigit(static_cast<unsigned char>(text[i + 1])) &&
                std::isxdigit(static_cast<unsigned char>(text[i + 2]))) {
                out += static_cast<char>(std::stoi(text.substr(i + 1, 2), nullptr, 16));
                i += 2;
            } else {
                out += text[i] == '+' ? ' ' : text[i];
            }
        }
        return out;
    };
    std::string rest = target.substr(mark + 1);
    size_t start = 0;
    while (start <= rest.size()) {
        const size_t amp = rest.find('&', start);
        const std::string pair = rest.substr(start, amp == std::string::npos ? std::string::npos : amp - start);
        const size_t equals = pair.find('=');
        if (!pair.empty())
            query.emplace(decode(pair.substr(0, equals)),
                          equals == std::string::npos ? std::string() : decode(pair.substr(equals + 1)));
        if (amp == std::string::npos)
            break;
        start = amp + 1;
    }
    return query;
}

inline std::string ValueOf(const std::map<std::string, std::string>& query, const std::string& key)
{
    const auto it = query.find(key);
    return it == query.end() ? std::string() : it->second;
}

// The default quad, and the colours the stand-ins draw into it: the
// physical features service paints the quad's west half, the boundaries
// service the whole quad.
constexpr double kWest = -99.0, kEast = -98.0, kSouth = 39.0, kNorth = 40.0;
constexpr uint8_t kRoadRed[3] = {200, 0, 0};
constexpr uint8_t kBoundaryBlue[3] = {0, 0, 200};

inline const std::map<std::string, double>& KnownLayers()
{
    static const std::map<std::string, double> layers{
        {"Local Roads", 85044.642857},     {"Primary Roads", 1322916.666667},
        {"Secondary Roads", 614211.309524}, {"Railroads", 39687.5},
        {"Incorporated Places", 1322916.666667}, {"Census Designated Places", 1322916.666667},
        {"States", 559081145.864044},      {"Counties", 11339285.714286},
        {"Incorporated Places Labels", 307105.654762},
        {"Federal American Indian Reservations", 20788690.476190}, {"Areal Hydrography", 37797619.047619},
        {"National Park Service Areas", 5669642.857143}, {"Military Installations", 2362351.190476},
        {"Linear Hydrography", 307105.654762},
    };
    return layers;
}

inline std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> items;
    std::stringstream stream(text);
    std::string item;
    while (std::getline(stream, item, separator))
        items.push_back(item);
    if (!text.empty() && text.back() == separator)
        items.emplace_back();
    return items;
}

inline std::string EncodePng(int width, int height, const std::vector<uint8_t>& rgb)
{
    std::string bytes = PngBytes(width, height, PNG_FORMAT_RGB, rgb.data());
    EXPECT_FALSE(bytes.empty());
    return bytes;
}

enum class Answer { kPng, kGif, kServiceException, kHtml };

// How a stand-in names its layers: after their titles (the older editions)
// or by numbers counted from a service's own first number (the current one).
enum class Edition { kTitleNames, kNumberedFrom10, kNumberedFrom40 };

// A WMS 1.3.0 capabilities document listing KnownLayers() (but `left out`),
// named as `edition` says, inside a group layer as the real services nest them.
inline std::string StandInCapabilities(Edition edition, const std::string& leftOut = {})
{
    std::string layers;
    int number = edition == Edition::kNumberedFrom40 ? 40 : 10;
    for (const auto& [title, scale] : KnownLayers()) {
        const int own = number++;
        if (title == leftOut)
            continue;
        const std::string name = edition == Edition::kTitleNames ? title : std::to_string(own);
        layers += "      <Layer queryable=\"1\">\n        <Name>" + name + "</Name>\n        <Title>" + title +
                  "</Title>\n        <Style><Name>default</Name><Title>" + title +
                  " legend</Title></Style>\n        <MaxScaleDenominator>" + std::to_string(scale) +
                  "</MaxScaleDenominator>\n      </Layer>\n";
    }
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<WMS_Capabilities version=\"1.3.0\" "
           "xmlns=\"http://www.opengis.net/wms\">\n  <Service>\n    <Name>WMS</Name>\n    <Title>Stand-in</Title>\n"
           "    <MaxWidth>4096</MaxWidth>\n    <MaxHeight>4096</MaxHeight>\n  </Service>\n  <Capability>\n"
           "    <Request>\n      <GetMap>\n        <Format>image/gif</Format>\n        <Format>image/png</Format>\n"
           "      </GetMap>\n    </Request>\n    <Layer>\n      <Title>Stand-in</Title>\n" +
           layers + "    </Layer>\n  </Capability>\n</WMS_Capabilities>\n";
}

// The title a stand-in of `edition` names `name` by; empty when it names none so.
inline std::string StandInTitleOf(Edition edition, const std::string& name)
{
    int number = edition == Edition::kNumberedFrom40 ? 40 : 10;
    for (const auto& entry : KnownLayers()) {
        const std::string own = edition == Edition::kTitleNames ? entry.first : std::to_string(number);
        ++number;
        if (own == name)
            return entry.first;
    }
    return {};
}

// A TIGERweb WMS stand-in. It checks every GetMap the way the real service
// reads it (WMS 1.3.0, EPSG:4326 with latitude first, size limits, known
// layers drawn at their scale), records the boxes, and draws the quad.
class WmsStandIn {
public:
    WmsStandIn(const uint8_t* colour, bool westHalfOnly, Answer answer, Edition edition = Edition::kTitleNames)
        : colour_(colour), westHalfOnly_(westHalfOnly), answer_(answer), edition_(edition),
          capabilities_(StandInCapabilities(edition)),
          server_([this](HttpTestConnection& connection) { Serve(connection); })
    {
    }

    // What GetCapabilities answers from now on.
    void SetCapabilities(std::string document)
    {
        std::lock_guard lock(mutex_);
        capabilities_ = std::move(document);
    }
    // A GetMap that asks for `title` is painted in `colour` rather than the
    // stand-in's own; white paints an empty map.
    void PaintTitle(const std::string& title, std::array<uint8_t, 3> colour)
    {
        std::lock_guard lock(mutex_);
        titleColours_[title] = colour;
    }
    // The titles each GetMap asked for, in the order they came.
    std::vector<std::vector<std::string>> GetMapTitles() const
    {
        std::lock_guard lock(mutex_);
        return getMapTitles_;
    }
    // Every GetMap waits this long before it answers (a slow render).
    void SetRenderTime(std::chrono::milliseconds time) { renderTime_ = time; }
    int CapabilitiesRequests() const { return capabilitiesRequests_; }
    int Refusals() const { return refusals_; }
    // The GetMap queries asked more than once.
    int RepeatedGetMaps() const
    {
        std::lock_guard lock(mutex_);
        return repeats_;
    }

    std::string Url() const { return server_.Url("/arcgis/services/TIGERweb/Stand-in/MapServer/WmsServer"); }
    std::vector<GeoBox> Boxes() const
    {
        std::lock_guard lock(mutex_);
        return boxes_;
    }
    std::set<std::string> Layers() const
    {
        std::lock_guard lock(mutex_);
        return layers_;
    }

private:
    void Serve(HttpTestConnection& connection)
    {
        const auto query = QueryOf(connection.Request().target);
        EXPECT_EQ(ValueOf(query, "SERVICE"), "WMS");
        EXPECT_EQ(ValueOf(query, "VERSION"), "1.3.0");
        if (ValueOf(query, "REQUEST") == "GetCapabilities") {
            ++capabilitiesRequests_;
            std::lock_guard lock(mutex_);
            connection.Reply(200, "Content-Type: text/xml\r\n", capabilities_);
            return;
        }
        EXPECT_EQ(ValueOf(query, "REQUEST"), "GetMap");
        EXPECT_EQ(ValueOf(query, "CRS"), "EPSG:4326");
        EXPECT_EQ(ValueOf(query, "FORMAT"), "image/png");
        EXPECT_EQ(ValueOf(query, "TRANSPARENT"), "FALSE");
        EXPECT_EQ(ValueOf(query, "BGCOLOR"), "0xFFFFFF");
        const std::vector<std::string> layers = Split(ValueOf(query, "LAYERS"), ',');
        const std::string styles = ValueOf(query, "STYLES");  // one (empty) style a layer
        EXPECT_EQ(static_cast<size_t>(std::count(styles.begin(), styles.end(), ',')) + 1, layers.size());
        const int width = std::atoi(ValueOf(query, "WIDTH").c_str());
        const int height = std::atoi(ValueOf(query, "HEIGHT").c_str());
        ASSERT_TRUE(width >= 1 && width <= kWmsMaxImageSide && height >= 1 && height <= kWmsMaxImageSide)
            << width << " x " << height;
        const std::vector<std::string> corners = Split(ValueOf(query, "BBOX"), ',');
        ASSERT_EQ(corners.size(), 4u);
        // Latitude first: south, west, north, east.
        GeoBox box{std::atof(corners[1].c_str()), std::atof(corners[0].c_str()), std::atof(corners[3].c_str()),
                   std::atof(corners[2].c_str())};
        EXPECT_TRUE(box.south >= 38.0 && box.north <= 41.0 && box.south < box.north) << ValueOf(query, "BBOX");
        EXPECT_TRUE(box.west >= -100.0 && box.east <= -97.0 && box.west < box.east) << ValueOf(query, "BBOX");
        const double scale = WmsScaleDenominator((box.east - box.west) / width);
        std::vector<std::string> titles;
        for (const std::string& layer : layers) {
            titles.push_back(StandInTitleOf(edition_, layer));
            if (titles.back().empty())
                return RefuseLayer(connection);
            EXPECT_LE(scale, KnownLayers().at(titles.back())) << layer << " would not be drawn";
        }
        std::array<uint8_t, 3> colour{colour_[0], colour_[1], colour_[2]};
        {
            std::lock_guard lock(mutex_);
            boxes_.push_back(box);
            layers_.insert(titles.begin(), titles.end());
            getMapTitles_.push_back(titles);
            if (!asked_.insert(connection.Request().target).second)
                ++repeats_;
            for (const std::string& title : titles)
                if (const auto own = titleColours_.find(title); own != titleColours_.end())
                    colour = own->second;
        }
        if (const std::chrono::milliseconds wait = renderTime_.load(); wait.count() > 0)
            std::this_thread::sleep_for(wait);
        Reply(connection, box, width, height, colour);
    }

    // What the real services answer a layer name they do not know.
    void RefuseLayer(HttpTestConnection& connection)
    {
        ++refusals_;
        connection.Reply(200, "Content-Type: text/xml\r\n",
                         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ServiceExceptionReport version=\"1.3.0\" "
                         "xmlns=\"http://www.opengis.net/ogc\">\n  <ServiceException code=\"LayerNotDefined\">\n"
                         "    Parameter 'layers' contains unacceptable layer name.\n  </ServiceException>\n"
                         "</ServiceExceptionReport>\n");
    }

    void Reply(HttpTestConnection& connection, const GeoBox& box, int width, int height,
               const std::array<uint8_t, 3>& colour) const
    {
        if (answer_ == Answer::kServiceException) {
            connection.Reply(200, "Content-Type: application/vnd.ogc.se_xml\r\n",
                             "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<ServiceExceptionReport version=\"1.3.0\" "
                             "xmlns=\"http://www.opengis.net/ogc\">\n  <ServiceException code=\"InvalidFormat\">\n"
                             "    Parameter &apos;format&apos; contains unacceptable value.\n  </ServiceException>\n"
                             "</ServiceExceptionReport>\n");
            return;
        }
        if (answer_ == Answer::kHtml) {
            connection.Reply(200, "Content-Type: text/html\r\n", "<html><body>Down for maintenance</body></html>");
            return;
        }
        const double east = westHalfOnly_ ? (kWest + kEast) * 0.5 : kEast;
        std::vector<uint8_t> indices(static_cast<size_t>(width) * height, 0);
        for (int y = 0; y < height; ++y) {
            const double latitude = box.north - (y + 0.5) * (box.north - box.south) / height;
            for (int x = 0; x < width; ++x) {
                const double longitude = box.west + (x + 0.5) * (box.east - box.west) / width;
                if (latitude > kSouth && latitude < kNorth && longitude > kWest && longitude < east)
                    indices[static_cast<size_t>(y) * width + x] = 1;
            }
        }
        const std::vector<PaletteColor> palette{{255, 255, 255}, {colour[0], colour[1], colour[2]}};
        if (answer_ == Answer::kGif) {
            connection.Reply(200, "Content-Type: image/gif\r\n", EncodeGif(width, height, indices, palette));
            return;
        }
        std::vector<uint8_t> rgb(indices.size() * 3);
        for (size_t i = 0; i < indices.size(); ++i)
            for (int c = 0; c < 3; ++c)
                rgb[i * 3 + c] = indices[i] ? colour[c] : 255;
        connection.Reply(200, "Content-Type: image/png\r\n", EncodePng(width, height, rgb));
    }

    const uint8_t* colour_;
    bool westHalfOnly_;
    Answer answer_;
    Edition edition_;
    std::string capabilities_;
    std::atomic<std::chrono::milliseconds> renderTime_{std::chrono::milliseconds(0)};
    std::atomic<int> capabilitiesRequests_{0}, refusals_{0};
    mutable std::mutex mutex_;
    std::vector<GeoBox> boxes_;
    std::set<std::string> layers_;
    std::vector<std::vector<std::string>> getMapTitles_;
    std::map<std::string, std::array<uint8_t, 3>> titleColours_;
    std::set<std::string> asked_;
    int repeats_ = 0;
    LoopbackServer server_;
};

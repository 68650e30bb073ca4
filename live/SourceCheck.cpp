#include "live/SourceCheck.h"

#include "live/CensusGeocoder.h"
#include "live/DemGeoTiff.h"
#include "live/HgtTile.h"
#include "live/WmsAnswer.h"
#include "live/WmsGetMap.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <chrono>
#include <cstring>

namespace {

// A known cell in the middle of the country, and a street address the
// Census geocoder has matched for years (the Bureau's own headquarters).
constexpr HgtCell kKnownCell{39, -99};
constexpr const char* kKnownAddress = "4600 Silver Hill Rd, Washington, DC 20233";
constexpr size_t kMaxCapabilitiesBytes = 8u << 20;

class Stopwatch {
public:
    double Seconds() const
    {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

std::string StatusText(const UpstreamAnswer& answer)
{
    return answer.status > 0 ? "answered " + std::to_string(answer.status) : "gave no answer";
}

// The first bytes of a file a source serves, checked against its signatures.
SourceCheck CheckFirstBytes(SourceCheck check, const SourceCheckFetch& fetch, const std::string& url,
                            const std::vector<std::string>& signatures, const std::string& kind)
{
    Stopwatch watch;
    const UpstreamAnswer answer = fetch.prefix(url, 8);
    check.seconds = watch.Seconds();
    const bool answered = answer.status == 200 || answer.status == 206;
    if (!answered) {
        check.detail = url + " " + StatusText(answer) + (answer.error.empty() ? "" : ": " + answer.error);
        return check;
    }
    for (const std::string& signature : signatures)
        if (answer.body.compare(0, signature.size(), signature) == 0) {
            check.ok = true;
            check.detail = url + " begins as " + kind;
            return check;
        }
    check.detail = url + " answered " + std::to_string(answer.status) + " but is no " + kind;
    return check;
}

// The first layer name of a WMS capabilities document; empty, with `why`
// set, when the document is no such thing.
std::string FirstLayerName(const std::string& xml, std::string& why)
{
    QXmlStreamReader reader(QByteArray::fromRawData(xml.data(), static_cast<qsizetype>(xml.size())));
    bool root = true;
    int layerDepth = 0, depth = 0;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            ++depth;
            const QString name = reader.name().toString();
            if (root && name != "WMS_Capabilities" && name != "WMT_MS_Capabilities") {
                why = "its answer is no WMS capabilities document (root element <" + name.toStdString() + ">)";
                return {};
            }
            root = false;
            if (name == "Layer")
                layerDepth = depth;
            else if (name == "Name" && layerDepth == depth - 1) {
                const std::string layer = reader.readElementText().trimmed().toStdString();
                --depth;
                if (!layer.empty())
                    return layer;
            }
        } else if (reader.isEndElement()) {
            --depth;
        }
    }
    why = reader.hasError() ? "its capabilities are not XML: " + reader.errorString().toStdString()
                            : "its capabilities name no layer";
    return {};
}

std::string CapabilitiesUrl(const std::string& baseUrl)
{
    const char* joint = baseUrl.find('?') == std::string::npos ? "?" : "&";
    return baseUrl + joint + "SERVICE=WMS&VERSION=1.3.0&REQUEST=GetCapabilities";
}

SourceCheck CheckWms(SourceCheck check, const SourceCheckFetch& fetch, const std::string& baseUrl)
{
    Stopwatch watch;
    const UpstreamAnswer capabilities = fetch.whole(CapabilitiesUrl(baseUrl), kMaxCapabilitiesBytes);
    if (!capabilities.ok || capabilities.status != 200) {
        check.seconds = watch.Seconds();
        check.detail = baseUrl + " " + StatusText(capabilities) + " for GetCapabilities" +
                       (capabilities.error.empty() ? "" : ": " + capabilities.error);
        return check;
    }
    std::string why;
    const std::string layer = FirstLayerName(capabilities.body, why);
    if (layer.empty()) {
        check.seconds = watch.Seconds();
        check.detail = baseUrl + ": " + why;
        return check;
    }
    // A small box at a scale every layer draws at.
    WmsPiece piece;
    piece.box = {-98.51, 39.49, -98.49, 39.51};
    piece.width = piece.height = 64;
    const UpstreamAnswer map = fetch.whole(WmsGetMapUrl(baseUrl, {layer}, piece), 4u << 20);
    check.seconds = watch.Seconds();
    if (!map.ok) {
        check.detail = baseUrl + " gave no GetMap answer: " + map.error;
        return check;
    }
    const WmsAnswer image = ReadWmsAnswer(map.contentType, map.body, 64 * 64);
    if (!image.ok || map.status != 200) {
        check.detail = baseUrl + " answered " + std::to_string(map.status) + " to a GetMap of layer \"" + layer +
                       "\"" + (image.ok ? "" : ": " + image.error);
        return check;
    }
    check.ok = true;
    check.detail = baseUrl + ": capabilities read, a 64 x 64 map of layer \"" + layer + "\" drawn";
    return check;
}

SourceCheck CheckGeocoder(SourceCheck check, const SourceCheckFetch& fetch, const std::string& baseUrl)
{
    Stopwatch watch;
    const GeocoderResult result = CensusGeocoder(fetch.whole, baseUrl).Geocode(kKnownAddress);
    check.seconds = watch.Seconds();
    if (!result.ok) {
        check.detail = result.error;
        return check;
    }
    if (result.matches.empty()) {
        check.detail = baseUrl + " found no match for \"" + kKnownAddress + "\"";
        return check;
    }
    check.ok = true;
    check.detail = baseUrl + " matched \"" + kKnownAddress + "\"";
    return check;
}

// Classic and big TIFF, either byte order; each signature holds a NUL.
std::vector<std::string> TiffSignatures()
{
    return {std::string("II*\0", 4), std::string("MM\0*", 4), std::string("II+\0", 4), std::string("MM\0+", 4)};
}

SourceCheck Named(const char* source, const char* setting)
{
    SourceCheck check;
    check.source = source;
    check.setting = setting;
    return check;
}

// Keeps the first `limit` bytes of a body and then stops the transfer.
class PrefixSink : public UpstreamClient::BodySink {
public:
    PrefixSink(std::string& bytes, size_t limit) : bytes_(bytes), limit_(limit) {}
    void Begin() override { bytes_.clear(); }
    bool Append(const char* data, size_t size) override
    {
        bytes_.append(data, std::min(size, limit_ - bytes_.size()));
        return bytes_.size() < limit_;
    }
    std::string Reason() const override { return "stopped after the first bytes"; }

private:
    std::string& bytes_;
    size_t limit_;
};

}  // namespace

std::vector<SourceCheck> CheckLiveSources(const LiveSourceSettings& settings, const SourceCheckFetch& fetch)
{
    std::vector<SourceCheck> checks;
    checks.push_back(CheckFirstBytes(Named("Elevation tiles", "TERRAFETCH_DEM_URL (--dem-url)"), fetch,
                                     HgtTileUrl(settings.demUrl, kKnownCell), {"\x1f\x8b"}, "a gzip file"));
    SourceCheck second = Named("Second elevation source", "TERRAFETCH_DEM2_URL (--dem2-url)");
    if (settings.HasSecondDemSource()) {
        checks.push_back(CheckFirstBytes(second, fetch, DemGeoTiffUrl(settings.dem2Url, kKnownCell),
                                         TiffSignatures(), "a TIFF file"));
    } else {
        second.skipped = true;
        second.detail = "switched off (\"none\")";
        checks.push_back(second);
    }
    checks.push_back(CheckWms(Named("Street map WMS", "TERRAFETCH_WMS_URL (--wms-url)"), fetch, settings.wmsUrl));
    checks.push_back(CheckWms(Named("Boundaries WMS", "TERRAFETCH_WMS_BOUNDARIES_URL (--wms-boundaries-url)"),
                              fetch, settings.wmsBoundariesUrl));
    checks.push_back(CheckGeocoder(Named("Address geocoder", "TERRAFETCH_GEOCODER_URL (--geocoder-url)"), fetch,
                                   settings.geocoderUrl));
    checks.push_back(CheckWms(Named("Aerial imagery WMS", "TERRAFETCH_IMAGERY_URL (--imagery-url)"), fetch,
                              settings.imageryUrl));
    return checks;
}

SourceCheckFetch SourceCheckFetchThrough(UpstreamClient& client)
{
    SourceCheckFetch fetch;
    fetch.whole = FetchThrough(client);
    fetch.prefix = [&client](const std::string& url, size_t prefixBytes) {
        std::string bytes;
        PrefixSink sink(bytes, prefixBytes);
        // No size limit of its own: the sink stops the transfer after the prefix.
        UpstreamAnswer answer = client.Get(url, size_t{1} << 30, sink);
        answer.body = bytes;
        if (bytes.size() >= prefixBytes)
            answer.error.clear();  // stopped on purpose
        return answer;
    };
    return fetch;
}

std::string SourceCheckLine(const SourceCheck& check)
{
    std::string detail = check.detail;
    if (!detail.empty() && detail.back() == '.')
        detail.pop_back();
    if (check.skipped)
        return "OFF     " + check.source + ": " + detail;
    char seconds[32];
    std::snprintf(seconds, sizeof seconds, "%.2f s", check.seconds);
    if (check.ok)
        return "OK      " + check.source + ": " + detail + " (" + seconds + ")";
    return "FAILED  " + check.source + ": " + detail + "; check " + check.setting;
}

int ReportSourceChecks(const std::vector<SourceCheck>& checks, std::FILE* out)
{
    int status = 0;
    for (const SourceCheck& check : checks) {
        std::fprintf(out, "%s\n", SourceCheckLine(check).c_str());
        if (!check.ok && !check.skipped)
            status = 1;
    }
    std::fflush(out);
    return status;
}

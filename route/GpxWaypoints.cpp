#include "route/GpxWaypoints.h"

#include <QBuffer>
#include <QByteArray>
#include <QString>
#include <QXmlStreamReader>

#include <cmath>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

// Only the five predefined entities and character references remain once a
// document type declaration is refused; this bounds them all the same.
constexpr int kEntityExpansionLimit = 1024;
constexpr size_t kHeadSize = 64 * 1024;

enum class Node { Other, Gpx, Route, Track, Segment, RoutePoint, TrackPoint, Waypoint, Name, Description };

bool IsPoint(Node node)
{
    return node == Node::RoutePoint || node == Node::TrackPoint || node == Node::Waypoint;
}

// What a child element named `name` of `parent` is in the GPX structure.
Node ChildNode(Node parent, QStringView name)
{
    switch (parent) {
    case Node::Gpx:
        if (name == u"rte")
            return Node::Route;
        if (name == u"trk")
            return Node::Track;
        if (name == u"wpt")
            return Node::Waypoint;
        return Node::Other;
    case Node::Route:
        return name == u"rtept" ? Node::RoutePoint : Node::Other;
    case Node::Track:
        return name == u"trkseg" ? Node::Segment : Node::Other;
    case Node::Segment:
        return name == u"trkpt" ? Node::TrackPoint : Node::Other;
    default:
        return Node::Other;
    }
}

bool ReadCoordinate(const QXmlStreamAttributes& attributes, QLatin1StringView name, double range, double& value)
{
    bool ok = false;
    value = attributes.value(name).toDouble(&ok);
    return ok && std::isfinite(value) && std::fabs(value) <= range;
}

// One line of text, as a comment of the text format is.
std::string OneLine(const QString& text)
{
    QString line = text.trimmed();
    line.replace(u'\r', u' ').replace(u'\n', u' ').replace(u'\t', u' ');
    return line.toStdString();
}

class GpxParser {
public:
    // The document is read through a device, so the reader decodes it in
    // blocks instead of holding all of it as text at once.
    GpxParser(std::string_view document, const WaypointLimits& limits, GpxFault& fault)
        : limits_(limits)
        , fault_(fault)
    {
        buffer_.setData(QByteArray::fromRawData(document.data(), static_cast<qsizetype>(document.size())));
        buffer_.open(QIODevice::ReadOnly);
        reader_.setDevice(&buffer_);
        reader_.setEntityExpansionLimit(kEntityExpansionLimit);
    }

    bool Parse(WaypointList& list)
    {
        while (!reader_.atEnd() && ok_) {
            switch (reader_.readNext()) {
            case QXmlStreamReader::DTD:
                Fail(GpxFault::Kind::DocumentType);
                break;
            case QXmlStreamReader::StartElement:
                StartElement();
                break;
            case QXmlStreamReader::EndElement:
                EndElement();
                break;
            case QXmlStreamReader::Characters:
                Characters();
                break;
            default:
                break;
            }
        }
        if (ok_ && reader_.hasError())
            Fail(GpxFault::Kind::NotWellFormed, reader_.errorString().toStdString());
        if (!ok_)
            return false;
        list = !route_.empty() ? std::move(route_) : !track_.empty() ? std::move(track_) : std::move(waypoints_);
        if (list.empty())
            Fail(GpxFault::Kind::NoPoints);
        return !list.empty();
    }

private:
    void Fail(GpxFault::Kind kind, std::string detail = {})
    {
        ok_ = false;
        fault_ = {kind, reader_.lineNumber(), reader_.columnNumber(), std::move(detail)};
    }

    void StartElement()
    {
        if (path_.empty()) {
            if (reader_.name() != u"gpx")
                return Fail(GpxFault::Kind::NotGpx, reader_.qualifiedName().toString().toStdString());
            namespace_ = reader_.namespaceUri().toString();
            path_.push_back(Node::Gpx);
            return;
        }
        if (path_.size() >= static_cast<size_t>(limits_.maxXmlDepth))
            return Fail(GpxFault::Kind::TooDeep);
        const Node parent = path_.back();
        const bool gpxElement = reader_.namespaceUri() == namespace_;
        // A point's name and description are gathered from their own text
        // as it comes, so their children count toward the depth limit too.
        if (IsPoint(parent) && gpxElement && (reader_.name() == u"name" || reader_.name() == u"desc")) {
            const bool name = reader_.name() == u"name";
            (name ? name_ : description_).clear();
            path_.push_back(name ? Node::Name : Node::Description);
            return;
        }
        const Node node = gpxElement ? ChildNode(parent, reader_.name()) : Node::Other;
        if (IsPoint(node))
            StartPoint();
        path_.push_back(node);
    }

    void StartPoint()
    {
        point_ = Waypoint{};
        name_.clear();
        description_.clear();
        const QXmlStreamAttributes attributes = reader_.attributes();
        if (!ReadCoordinate(attributes, QLatin1StringView("lat"), 90.0, point_.latitude) ||
            !ReadCoordinate(attributes, QLatin1StringView("lon"), 180.0, point_.longitude))
            return Fail(GpxFault::Kind::BadPoint, reader_.qualifiedName().toString().toStdString());
        if (++points_ > limits_.maxPoints)
            Fail(GpxFault::Kind::TooManyPoints);
    }

    // Text of a name or description itself; that of its children is left out.
    void Characters()
    {
        if (path_.empty() || (path_.back() != Node::Name && path_.back() != Node::Description))
            return;
        (path_.back() == Node::Name ? name_ : description_).append(reader_.text());
    }

    void EndElement()
    {
        if (path_.empty())
            return;
        const Node node = path_.back();
        path_.pop_back();
        if (IsPoint(node)) {
            point_.comment = OneLine(name_.isEmpty() ? description_ : name_);
            ListOf(node).push_back(std::move(point_));
        } else if (node == Node::Route && !route_.empty()) {
            routeDone_ = true;
        } else if (node == Node::Track && !track_.empty()) {
            trackDone_ = true;
        }
    }

    // Points of later routes and tracks are not wanted once one has points.
    WaypointList& ListOf(Node point)
    {
        if (point == Node::RoutePoint)
            return routeDone_ ? discarded_ : route_;
        if (point == Node::TrackPoint)
            return trackDone_ ? discarded_ : track_;
        return waypoints_;
    }

    const WaypointLimits& limits_;
    GpxFault& fault_;
    QBuffer buffer_;
    QXmlStreamReader reader_;
    QString namespace_;
    std::vector<Node> path_;
    Waypoint point_;
    QString name_, description_;
    WaypointList route_, track_, waypoints_, discarded_;
    bool routeDone_ = false, trackDone_ = false;
    size_t points_ = 0;
    bool ok_ = true;
};

bool ReadRest(std::FILE* file, std::string& content, unsigned long long limit)
{
    struct stat status {};
    if (content.size() > limit ||
        (fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode) &&
         static_cast<unsigned long long>(status.st_size) > limit))
        return false;
    char buffer[65536];
    size_t count = 0;
    while ((count = std::fread(buffer, 1, sizeof buffer, file)) > 0) {
        if (content.size() + count > limit)
            return false;
        content.append(buffer, count);
    }
    return !std::ferror(file);
}

} // namespace

bool LooksLikeGpx(std::string_view head)
{
    QXmlStreamReader reader(QByteArray::fromRawData(head.data(), static_cast<qsizetype>(head.size())));
    reader.setEntityExpansionLimit(kEntityExpansionLimit);
    while (!reader.atEnd()) {
        switch (reader.readNext()) {
        case QXmlStreamReader::DTD:
            return reader.dtdName() == u"gpx";
        case QXmlStreamReader::StartElement:
            return reader.name() == u"gpx";
        case QXmlStreamReader::Invalid:
            return false;
        default:
            break;
        }
    }
    return false;
}

bool LooksLikeXml(std::string_view head)
{
    if (head.substr(0, 3) == "\xEF\xBB\xBF")
        head.remove_prefix(3);
    const size_t first = head.find_first_not_of(" \t\r\n");
    return first != std::string_view::npos && head[first] == '<';
}

bool ParseGpxWaypoints(std::string_view document, WaypointList& list, GpxFault* fault, const WaypointLimits& limits)
{
    list.clear();
    GpxFault ignored;
    GpxFault& reason = fault ? *fault : ignored;
    reason = {};
    return GpxParser(document, limits, reason).Parse(list);
}

GpxFileRead ReadGpxWaypointFile(std::FILE* file, WaypointList& list, GpxFault* fault, const WaypointLimits& limits)
{
    list.clear();
    const long start = std::ftell(file);
    if (start < 0)
        return GpxFileRead::NotGpx;
    std::string content(kHeadSize, '\0');
    content.resize(std::fread(content.data(), 1, content.size(), file));
    if (!LooksLikeXml(content)) {
        std::clearerr(file);
        std::fseek(file, start, SEEK_SET);
        return GpxFileRead::NotGpx;
    }
    if (!ReadRest(file, content, limits.maxFileBytes)) {
        if (fault)
            *fault = {GpxFault::Kind::TooLarge, 0, 0, {}};
        return GpxFileRead::Failed;
    }
    return ParseGpxWaypoints(content, list, fault, limits) ? GpxFileRead::Read : GpxFileRead::Failed;
}

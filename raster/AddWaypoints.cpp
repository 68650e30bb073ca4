#include "raster/AddWaypoints.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/TGAFile.h"

#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPolygonF>

#include <algorithm>
#include <cmath>

namespace {

// Points per polyline: short enough that stroking a piece needs little
// memory and time, so cancel is seen many times a second.
constexpr size_t kPointsPerPiece = 256;

// Pixel coordinates beyond this are clamped; the route's points lie within
// the earth's range, so only a tiny quad makes them this large.
constexpr double kFarOutside = 1e7;

struct QuadFrame {
    double left, top, right, bottom;
    int width, height;

    bool Degenerate() const
    {
        return !std::isfinite(width / (right - left)) || !std::isfinite(height / (top - bottom));
    }

    // Surface pixel (x, y) stands for image pixel (x, y): surface row 0 is
    // the image's bottom row, so y grows northward.
    QPointF Pixel(const Waypoint& w) const
    {
        const double x = std::trunc((w.longitude - left) / (right - left) * width);
        const double y = std::trunc((w.latitude - bottom) / (top - bottom) * height);
        return QPointF(std::clamp(x, -kFarOutside, kFarOutside), std::clamp(y, -kFarOutside, kFarOutside));
    }

    bool Inside(const Waypoint& w) const
    {
        return w.longitude >= std::min(left, right) && w.longitude <= std::max(left, right) &&
               w.latitude >= std::min(bottom, top) && w.latitude <= std::max(bottom, top);
    }
};

bool OnEarth(const Waypoint& w)
{
    return std::isfinite(w.latitude) && std::isfinite(w.longitude) && std::fabs(w.latitude) <= 90.0 &&
           std::fabs(w.longitude) <= 180.0;
}

bool Cancelled(const std::atomic<bool>* cancelRequested)
{
    return cancelRequested && cancelRequested->load();
}

enum class Drawn { Done, NoMemory, Cancelled };

// The route on an off-screen surface: non-zero pixels are on. Consecutive
// pieces share their end point; round caps make the joins between them
// look as the joins inside a piece do.
Drawn DrawRoute(const WaypointList& waypoints, const QuadFrame& frame, int lineThickness,
                const std::atomic<bool>* cancelRequested, QImage& surface)
{
    surface = QImage(frame.width, frame.height, QImage::Format_Grayscale8);
    if (surface.isNull())
        return frame.width > 0 && frame.height > 0 ? Drawn::NoMemory : Drawn::Done;
    surface.fill(0);
    if (waypoints.size() < 2 || frame.Degenerate())
        return Drawn::Done;
    QPainter painter(&surface);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(255, 255, 255), std::max(lineThickness, 1), Qt::SolidLine, Qt::RoundCap,
                        Qt::RoundJoin));
    QPolygonF piece;
    piece.reserve(kPointsPerPiece + 1);
    for (size_t start = 0; start + 1 < waypoints.size(); start += kPointsPerPiece) {
        if (Cancelled(cancelRequested))
            return Drawn::Cancelled;
        const size_t end = std::min(waypoints.size(), start + kPointsPerPiece + 1);
        piece.clear();
        for (size_t i = start; i < end; ++i)
            piece.append(frame.Pixel(waypoints[i]));
        painter.drawPolyline(piece);
    }
    return Drawn::Done;
}

bool Overlay(const TGAFile& input, const QImage& route, TGAFile& output, const std::atomic<bool>* cancelRequested)
{
    static constexpr uint8_t kRed[3] = {0, 0, 255};
    for (int y = 0; y < input.GetHeight(); ++y) {
        if (Cancelled(cancelRequested))
            return false;
        const uchar* on = route.constScanLine(y);
        for (int x = 0; x < input.GetWidth(); ++x) {
            uint8_t pixel[32] = {};
            input.GetPixel(x, y, pixel);
            output.SetPixel(x, y, on[x] ? kRed : pixel);
        }
    }
    return true;
}

int Canceled(LogSink& log)
{
    log.AddToLog("Adding Waypoints canceled by user.");
    return 3;
}

} // namespace

int AddWaypoints(const std::string& input, const std::string& output, double left, double top, double right,
                 double bottom, WaypointList waypoints, int lineThickness, LogSink& log,
                 const std::atomic<bool>* cancelRequested)
{
    const auto offEarth = std::find_if_not(waypoints.begin(), waypoints.end(), OnEarth);
    if (offEarth != waypoints.end()) {
        log.AddToLog(StringPrintf("Error in AddWaypoints(): Waypoint %zu lies outside latitudes -90 to 90 and "
                                  "longitudes -180 to 180.",
                                  static_cast<size_t>(offEarth - waypoints.begin()) + 1));
        return 3;
    }
    TGAFile source;
    if (source.Open(input) != 0) {
        log.AddToLog(StringPrintf("Error in AddWaypoints(): Could not open file \"%s\".", input.c_str()));
        return 1;
    }
    const QuadFrame frame{left, top, right, bottom, source.GetWidth(), source.GetHeight()};
    QImage route;
    const Drawn drawn = DrawRoute(waypoints, frame, lineThickness, cancelRequested, route);
    if (drawn == Drawn::Cancelled)
        return Canceled(log);
    TGAFile result;
    if (drawn == Drawn::NoMemory || result.Create(frame.width, frame.height) != 0) {
        log.AddToLog(
            StringPrintf("Error in AddWaypoints(): Could not create a %d by %d image.", frame.width, frame.height));
        return 3;
    }
    if (!route.isNull() && !Overlay(source, route, result, cancelRequested))
        return Canceled(log);
    source.Close();
    const size_t inside = static_cast<size_t>(
        std::count_if(waypoints.begin(), waypoints.end(), [&](const Waypoint& w) { return frame.Inside(w); }));
    if (inside < waypoints.size())
        log.AddToLog(StringPrintf("Adding Waypoints: %zu of %zu waypoints lie inside the quad; the route is clipped "
                                  "at its edges.",
                                  inside, waypoints.size()));
    if (result.Write(output) != 0) {
        log.AddToLog(StringPrintf("Error in AddWaypoints(): Could not write file \"%s\".", output.c_str()));
        return 3;
    }
    log.AddToLog(StringPrintf("Adding Waypoints successful: \"%s\" written.", output.c_str()));
    return 0;
}

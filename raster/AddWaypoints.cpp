#include "raster/AddWaypoints.h"

#include "core/LogSink.h"
#include "core/StringPrintf.h"
#include "raster/TGAFile.h"

#include <QImage>
#include <QPainter>
#include <QPen>
#include <QPolygonF>

#include <cmath>

namespace {

// Surface pixel (x, y) stands for image pixel (x, y): surface row 0 is the
// image's bottom row, so y grows northward.
QPolygonF RoutePoints(const WaypointList& waypoints, double left, double top, double right, double bottom, int width,
                      int height)
{
    QPolygonF points;
    for (const Waypoint& w : waypoints) {
        const double x = std::trunc((w.longitude - left) / (right - left) * width);
        const double y = std::trunc((w.latitude - bottom) / (top - bottom) * height);
        if (!std::isfinite(x) || !std::isfinite(y))
            return {};  // a degenerate quad has no route to draw
        points.append(QPointF(x, y));
    }
    return points;
}

// The route on an off-screen surface: non-zero pixels are on. Empty when
// the surface cannot be allocated.
QImage DrawRoute(const QPolygonF& points, int width, int height, int lineThickness)
{
    QImage surface(width, height, QImage::Format_Grayscale8);
    if (surface.isNull())
        return surface;
    surface.fill(0);
    if (points.size() < 2)
        return surface;
    QPainter painter(&surface);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(QPen(QColor(255, 255, 255), lineThickness < 1 ? 1 : lineThickness, Qt::SolidLine, Qt::RoundCap,
                        Qt::RoundJoin));
    painter.drawPolyline(points);
    return surface;
}

void Overlay(const TGAFile& input, const QImage& route, TGAFile& output)
{
    static constexpr uint8_t kRed[3] = {0, 0, 255};
    for (int y = 0; y < input.GetHeight(); ++y) {
        const uchar* on = route.constScanLine(y);
        for (int x = 0; x < input.GetWidth(); ++x) {
            uint8_t pixel[32] = {};
            input.GetPixel(x, y, pixel);
            output.SetPixel(x, y, on[x] ? kRed : pixel);
        }
    }
}

} // namespace

int AddWaypoints(const std::string& input, const std::string& output, double left, double top, double right,
                 double bottom, WaypointList waypoints, int lineThickness, LogSink& log)
{
    TGAFile source;
    if (source.Open(input) != 0) {
        log.AddToLog(StringPrintf("Error in AddWaypoints(): Could not open file \"%s\".", input.c_str()));
        return 1;
    }
    const int width = source.GetWidth(), height = source.GetHeight();
    const QImage route =
        DrawRoute(RoutePoints(waypoints, left, top, right, bottom, width, height), width, height, lineThickness);
    TGAFile result;
    if ((route.isNull() && width > 0 && height > 0) || result.Create(width, height) != 0) {
        log.AddToLog(StringPrintf("Error in AddWaypoints(): Could not create a %d by %d image.", width, height));
        return 3;
    }
    if (!route.isNull())
        Overlay(source, route, result);
    source.Close();
    if (result.Write(output) != 0) {
        log.AddToLog(StringPrintf("Error in AddWaypoints(): Could not write file \"%s\".", output.c_str()));
        return 3;
    }
    log.AddToLog(StringPrintf("Adding Waypoints successful: \"%s\" written.", output.c_str()));
    return 0;
}


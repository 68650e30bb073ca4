// Draws the window's pictures into PNG files: the three 48 x 48 status icons,
// the program icon and the 100 x 50 quad picture (from us-outline.txt).
// Run by hand when a picture changes; the PNG files are kept in res/.
//   terrafetch-draw-pictures <res folder>
#include <QColor>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QString>
#include <QTextStream>
#include <QTransform>

#include <cmath>
#include <cstdio>

namespace {

// A fist seen from the side with the thumb up, in a 48 x 48 box.
QPainterPath ThumbHand()
{
    QPainterPath hand;
    hand.setFillRule(Qt::WindingFill);
    hand.addRoundedRect(QRectF(14, 21, 20, 22), 5, 5);                 // palm
    for (int i = 0; i < 4; ++i)                                        // fingers
        hand.addRoundedRect(QRectF(24, 21 + i * 5.5, 18 - i * 1.5, 6), 3, 3);
    QPainterPath thumb;
    thumb.addRoundedRect(QRectF(15, 3, 10, 24), 5, 5);
    hand = hand.united(thumb.translated(1, 0));
    return hand.simplified();
}

// A fist with the index finger raised.
QPainterPath FingerHand()
{
    QPainterPath hand;
    hand.setFillRule(Qt::WindingFill);
    hand.addRoundedRect(QRectF(12, 22, 24, 22), 6, 6);
    hand.addRoundedRect(QRectF(19, 2, 9, 28), 4.5, 4.5);              // index finger
    for (int i = 0; i < 3; ++i)
        hand.addRoundedRect(QRectF(26 + i * 0.0, 24 + i * 6, 12 - i, 6), 3, 3);
    return hand.simplified();
}

QImage DrawHand(const QPainterPath& hand, QColor light, QColor dark, bool upsideDown)
{
    QImage image(48, 48, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    if (upsideDown) {
        painter.translate(48, 48);
        painter.rotate(180);
    }
    // the sleeve
    painter.setPen(QPen(dark.darker(160), 1.5));
    painter.setBrush(QColor(60, 90, 160));
    painter.drawRoundedRect(QRectF(4, 22, 9, 21), 2, 2);
    QLinearGradient shade(0, 0, 48, 48);
    shade.setColorAt(0, light);
    shade.setColorAt(1, dark);
    painter.setBrush(shade);
    painter.setPen(QPen(dark.darker(180), 1.5));
    painter.drawPath(hand);
    // finger creases
    painter.setPen(QPen(dark.darker(150), 1));
    return image;
}

QImage DrawProgramIcon(int size)
{
    QImage image(size, size, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / 64.0, size / 64.0);
    QLinearGradient sky(0, 0, 0, 64);
    sky.setColorAt(0, QColor(90, 160, 230));
    sky.setColorAt(1, QColor(200, 230, 250));
    painter.setPen(QPen(QColor(40, 70, 120), 2));
    painter.setBrush(sky);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);
    QPolygonF far{{2, 46}, {16, 26}, {24, 34}, {36, 16}, {50, 32}, {62, 24}, {62, 54}, {2, 54}};
    painter.setPen(Qt::NoPen);
    painter.setBrush(QColor(120, 140, 110));
    painter.drawPolygon(far);
    QPolygonF snow{{31.5, 22}, {36, 16}, {41, 22}, {38, 21}, {36, 23}, {34, 21}};
    painter.setBrush(Qt::white);
    painter.drawPolygon(snow);
    QPainterPath ground;
    ground.moveTo(2, 50);
    ground.cubicTo(20, 38, 40, 56, 62, 42);
    ground.lineTo(62, 52);
    ground.arcTo(QRectF(42, 42, 20, 20), 0, -90);
    ground.lineTo(12, 62);
    ground.arcTo(QRectF(2, 42, 20, 20), 270, -90);
    ground.closeSubpath();
    painter.setBrush(QColor(70, 140, 60));
    painter.drawPath(ground);
    // the quad: a square box laid over the terrain
    painter.setPen(QPen(QColor(250, 210, 40), 3));
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRectF(18, 20, 28, 28));
    return image;
}

// A 4 x 5 pixel letter, rows top to bottom, bit 3 the left column.
void DrawLetter(QImage& image, int x, int y, const int (&rows)[5], QRgb colour)
{
    for (int row = 0; row < 5; ++row)
        for (int column = 0; column < 4; ++column)
            if (rows[row] & (8 >> column))
                image.setPixel(x + column, y + row, colour);
}

QImage DrawQuadPicture(const QString& outlineFile)
{
    QImage image(100, 50, QImage::Format_RGB32);
    image.fill(QColor(255, 255, 255));
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing, false);

    // The 48 states, longitude shortened by cos(37°) so the country keeps
    // its shape, fitted into the box.
    constexpr double west = -124.8, east = -66.9, south = 24.5, north = 49.4;
    const double squeeze = std::cos(37.0 * 3.141592653589793 / 180.0);
    const double scale = std::min(93.0 / ((east - west) * squeeze), 43.0 / (north - south));
    const double left = 3 + (93.0 - (east - west) * squeeze * scale) / 2;
    auto project = [&](double lon, double lat) {
        return QPointF(left + (lon - west) * squeeze * scale, 3 + (north - lat) * scale);
    };
    QFile file(outlineFile);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "cannot read %s\n", qPrintable(outlineFile));
        return {};
    }
    painter.setPen(QColor(0, 128, 0));
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QString line = in.readLine();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        QPolygonF polyline;
        for (const QString& point : line.split(' ', Qt::SkipEmptyParts)) {
            const QStringList lonLat = point.split(',');
            polyline << project(lonLat[0].toDouble(), lonLat[1].toDouble());
        }
        painter.drawPolyline(polyline);
    }

    // The quad's box.
    painter.setPen(QColor(0, 0, 255));
    painter.drawRect(1, 1, 97, 47);

    // N and E arrows in the empty Pacific corner.
    const QRgb black = qRgb(0, 0, 0);
    painter.setPen(QColor(0, 0, 0));
    painter.drawLine(5, 45, 5, 36);
    painter.drawLine(4, 37, 6, 37);
    painter.drawLine(3, 38, 7, 38);
    painter.drawLine(5, 45, 15, 45);
    painter.drawLine(14, 44, 14, 46);
    painter.drawLine(13, 43, 13, 47);
    painter.end();
    static const int letterN[5] = {9, 13, 11, 9, 9};
    static const int letterE[5] = {15, 8, 14, 8, 15};
    DrawLetter(image, 4, 29, letterN, black);
    DrawLetter(image, 17, 41, letterE, black);
    return image.convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither | Qt::AvoidDither);
}

bool Save(const QImage& image, const QString& path)
{
    if (image.isNull() || !image.save(path)) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: terrafetch-draw-pictures <res folder>\n");
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]) + '/';
    bool ok = Save(DrawHand(ThumbHand(), QColor(140, 230, 120), QColor(20, 130, 30), false),
                   folder + "status-ok.png");
    ok &= Save(DrawHand(ThumbHand(), QColor(250, 130, 120), QColor(190, 20, 20), true),
               folder + "status-failure.png");
    ok &= Save(DrawHand(FingerHand(), QColor(255, 240, 120), QColor(210, 160, 0), false),
               folder + "status-attention.png");
    ok &= Save(DrawProgramIcon(64), folder + "terrafetch-64.png");
    ok &= Save(DrawProgramIcon(256), folder + "terrafetch.png");
    ok &= Save(DrawQuadPicture(folder + "us-outline.txt"), folder + "quad.png");
    return ok ? 0 : 1;
}

#include "app/artwork.h"

#include <QFont>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPolygonF>
#include <QRadialGradient>

namespace vantor::app {

namespace {

// An isometric cube with its base centre at base and the given edge length in pixels.
void drawCube(QPainter& p, QPointF base, qreal edge, QColor colour)
{
    const qreal dx = edge * 0.866;
    const qreal dy = edge * 0.5;
    const QPointF top(base.x(), base.y() - edge);
    const QPolygonF left({base, QPointF(base.x() - dx, base.y() - dy), QPointF(base.x() - dx, base.y() - dy - edge), top});
    const QPolygonF right({base, QPointF(base.x() + dx, base.y() - dy), QPointF(base.x() + dx, base.y() - dy - edge), top});
    const QPolygonF lid({top, QPointF(top.x() - dx, top.y() - dy), QPointF(top.x(), top.y() - 2 * dy),
                         QPointF(top.x() + dx, top.y() - dy)});
    p.setPen(QPen(colour.darker(220), 1.2));
    p.setBrush(colour.darker(130));
    p.drawPolygon(left);
    p.setBrush(colour.darker(160));
    p.drawPolygon(right);
    p.setBrush(colour.lighter(125));
    p.drawPolygon(lid);
}

void drawSphere(QPainter& p, QPointF centre, qreal radius, QColor colour)
{
    QRadialGradient shade(centre + QPointF(-radius * 0.35, -radius * 0.4), radius * 1.3);
    shade.setColorAt(0, colour.lighter(170));
    shade.setColorAt(0.6, colour);
    shade.setColorAt(1, colour.darker(200));
    p.setPen(QPen(colour.darker(220), 1.2));
    p.setBrush(shade);
    p.drawEllipse(centre, radius, radius);
}

void drawCylinder(QPainter& p, QPointF base, qreal radius, qreal height, QColor colour)
{
    const qreal ry = radius * 0.4;
    QLinearGradient side(base.x() - radius, 0, base.x() + radius, 0);
    side.setColorAt(0, colour.darker(110));
    side.setColorAt(0.35, colour.lighter(130));
    side.setColorAt(1, colour.darker(190));
    QPainterPath body;
    body.moveTo(base.x() - radius, base.y() - height);
    body.lineTo(base.x() - radius, base.y());
    body.arcTo(QRectF(base.x() - radius, base.y() - ry, 2 * radius, 2 * ry), 180, 180);
    body.lineTo(base.x() + radius, base.y() - height);
    body.closeSubpath();
    p.setPen(QPen(colour.darker(220), 1.2));
    p.setBrush(side);
    p.drawPath(body);
    p.setBrush(colour.lighter(140));
    p.drawEllipse(QRectF(base.x() - radius, base.y() - height - ry, 2 * radius, 2 * ry));
}

// A region floor seen from above at an angle: a diamond with grid lines every 32 metres.
void drawRegionGrid(QPainter& p, QPointF centre, qreal halfWidth)
{
    const qreal halfHeight = halfWidth * 0.5;
    const QPointF north(centre.x(), centre.y() - halfHeight);
    const QPointF east(centre.x() + halfWidth, centre.y());
    const QPointF south(centre.x(), centre.y() + halfHeight);
    const QPointF west(centre.x() - halfWidth, centre.y());
    QLinearGradient ground(north, south);
    ground.setColorAt(0, QColor(92, 148, 84));
    ground.setColorAt(1, QColor(58, 104, 62));
    p.setPen(Qt::NoPen);
    p.setBrush(ground);
    p.drawPolygon(QPolygonF({north, east, south, west}));
    p.setPen(QPen(QColor(255, 255, 255, 70), 1));
    for (int i = 1; i < 8; ++i) {
        const qreal t = i / 8.0;
        p.drawLine(north + (west - north) * t, east + (south - east) * t);
        p.drawLine(north + (east - north) * t, west + (south - west) * t);
    }
}

void drawScene(QPainter& p, const QRectF& area)
{
    const qreal unit = std::min(area.width(), area.height() * 1.6) / 10.0;
    const QPointF centre(area.center().x(), area.center().y() + unit * 0.9);
    drawRegionGrid(p, centre, unit * 4.6);
    drawCylinder(p, centre + QPointF(-unit * 2.2, -unit * 0.1), unit * 0.6, unit * 1.6, QColor(196, 120, 60));
    drawCube(p, centre + QPointF(0, unit * 0.7), unit * 1.5, QColor(70, 120, 200));
    drawSphere(p, centre + QPointF(unit * 2.2, -unit * 0.9), unit * 0.8, QColor(200, 70, 90));
}

// Fills the whole picture with a vertical gradient from top to bottom colour and turns on
// antialiasing for what is drawn over it.
void paintSky(QPainter& p, QSize size, const QColor& top, const QColor& bottom)
{
    p.setRenderHint(QPainter::Antialiasing);
    QLinearGradient sky(0, 0, 0, size.height());
    sky.setColorAt(0, top);
    sky.setColorAt(1, bottom);
    p.fillRect(QRect(QPoint(0, 0), size), sky);
}

// A picture of size device-independent pixels holding size × ratio device pixels; the
// painter then draws in device-independent pixels.
QPixmap blankPicture(QSize size, qreal devicePixelRatio)
{
    QPixmap picture(size * devicePixelRatio);
    picture.setDevicePixelRatio(devicePixelRatio);
    return picture;
}

}  // namespace

QPixmap drawSplashPicture(QSize size, qreal devicePixelRatio)
{
    QPixmap picture = blankPicture(size, devicePixelRatio);
    QPainter p(&picture);
    paintSky(p, size, QColor(24, 40, 82), QColor(110, 160, 210));

    const QRectF sceneArea(0, size.height() * 0.28, size.width(), size.height() * 0.72);
    drawScene(p, sceneArea);

    QFont title = p.font();
    title.setPixelSize(std::max(12, size.height() / 7));
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    p.drawText(QRectF(0, size.height() * 0.03, size.width(), size.height() * 0.18), Qt::AlignCenter,
               QStringLiteral("Vantor"));
    QFont subtitle = p.font();
    subtitle.setPixelSize(std::max(9, size.height() / 18));
    subtitle.setBold(false);
    p.setFont(subtitle);
    p.setPen(QColor(230, 236, 250));
    p.drawText(QRectF(0, size.height() * 0.2, size.width(), size.height() * 0.08), Qt::AlignCenter,
               QStringLiteral("Second Life  \u2192  OpenSim"));
    return picture;
}

QPixmap drawAboutPicture(QSize size, qreal devicePixelRatio)
{
    QPixmap picture = blankPicture(size, devicePixelRatio);
    QPainter p(&picture);
    paintSky(p, size, QColor(150, 196, 236), QColor(226, 238, 248));
    drawScene(p, QRectF(0, size.height() * 0.1, size.width(), size.height() * 0.9));
    return picture;
}

}  // namespace vantor::app

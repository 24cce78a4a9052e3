#include "app/region_map.h"

#include "extract/selection.h"

#include <QHelpEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QRegion>
#include <QToolTip>

#include <algorithm>
#include <cmath>

namespace vantor::app {

namespace {

const QColor kFirstCornerColour(192, 0, 0);   // V1, H1
const QColor kSecondCornerColour(0, 192, 0);  // V2, H2
const QColor kMarkerColour(0, 160, 0);
const QColor kInsideTint(0, 150, 255, 26);  // what "Extraire" keeps, over the marks
const QColor kMapColour(252, 252, 248);
const QColor kGridColour(222, 224, 218);
const QColor kBorderColour(150, 150, 150);

// The design side of the map: 10240 twips at 15 twips per pixel.
constexpr int kDesignSidePixels = 683;
// Half the width of the strip a line repaints, in pixels: the line and its antialiasing.
constexpr int kStripHalfWidth = 2;
// How far from a mark the pointer may be and still hover it, in pixels.
constexpr double kHoverSlackPixels = 2;

}  // namespace

RegionMap::RegionMap(QWidget* parent) : QWidget(parent)
{
    setMouseTracking(true);
    // The names under the pointer help beside the main window too, active or not.
    setAttribute(Qt::WA_AlwaysShowToolTips);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMinimumSize(256 + 44, 256 + 28);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    placeMap();
}

QSize RegionMap::sizeHint() const
{
    const MapMargins margins;
    return {kDesignSidePixels + static_cast<int>(margins.left + margins.right),
            kDesignSidePixels + static_cast<int>(margins.top + margins.bottom)};
}

void RegionMap::setSelection(extract::SceneSelection* selection)
{
    m_selection = selection;
    tableChanged();
}

void RegionMap::placeMap()
{
    m_transform = fitMap(width(), height());
    if (m_selection) m_transform.width = m_selection->map().width;
}

void RegionMap::tableChanged()
{
    m_grid.rebuild(m_selection ? m_selection->markers() : std::vector<extract::Marker>{}, m_transform.width);
    m_imageValid = false;
    update();
}

void RegionMap::setInverse(bool inverse)
{
    if (m_inverse == inverse) return;
    m_inverse = inverse;
    update();
}

void RegionMap::linesChanged()
{
    // The strips are those of the lines now; where they were is repainted as well, since the
    // caller changed them without telling where from: the whole map is cheap from the image.
    update();
}

std::optional<std::size_t> RegionMap::markerAtPixel(QPointF pixel) const
{
    const auto slack = static_cast<float>(kHoverSlackPixels / m_transform.pixelsPerUnit());
    return m_grid.markerAt(m_transform.unitsX(pixel.x()), m_transform.unitsY(pixel.y()), slack);
}

void RegionMap::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    placeMap();
    m_imageValid = false;
}

void RegionMap::renderMarkers()
{
    const qreal ratio = devicePixelRatioF();
    m_image = QImage(size() * ratio, QImage::Format_RGB32);
    m_image.setDevicePixelRatio(ratio);
    {
        QPainter painter(&m_image);
        paintBackground(painter);
    }
    paintMarkers(m_image);
    m_imageValid = true;
}

void RegionMap::paintBackground(QPainter& painter) const
{
    painter.fillRect(rect(), palette().color(QPalette::Window));
    const MapTransform& t = m_transform;
    const QRectF square(t.left, t.top, t.side, t.side);
    painter.fillRect(square, kMapColour);

    painter.setPen(QPen(kGridColour, 0));
    const std::vector<int> metres = gridMetres();
    for (const int m : metres) {
        const double x = std::round(t.left + m * t.pixelsPerMetre()) + 0.5;
        const double y = std::round(t.top + t.side - m * t.pixelsPerMetre()) + 0.5;
        painter.drawLine(QPointF(x, t.top), QPointF(x, t.top + t.side));
        painter.drawLine(QPointF(t.left, y), QPointF(t.left + t.side, y));
    }
    painter.setPen(QPen(kBorderColour, 0));
    painter.drawRect(square.adjusted(0.5, 0.5, -0.5, -0.5));

    // The region coordinates at the edges: x east under the map, y north at its left.
    QFont small = font();
    small.setPointSizeF(std::max(6.0, small.pointSizeF() - 1));
    painter.setFont(small);
    painter.setPen(palette().color(QPalette::WindowText));
    const QFontMetricsF metrics(small);
    for (const int m : metres) {
        const QString label = QString::number(m);
        const double labelWidth = metrics.horizontalAdvance(label);
        const double x = t.left + m * t.pixelsPerMetre();
        painter.drawText(QPointF(x - labelWidth / 2, t.top + t.side + metrics.ascent() + 3), label);
        const double y = t.top + t.side - m * t.pixelsPerMetre();
        painter.drawText(QPointF(t.left - labelWidth - 4, y + metrics.ascent() / 2 - 1), label);
    }
}

void RegionMap::paintMarkers(QImage& image) const
{
    if (!m_selection) return;
    // The marks are written straight into the image: tens of thousands of painter calls
    // would cost more than the whole budget of a repaint.
    const qreal ratio = image.devicePixelRatio();
    const MapTransform& t = m_transform;
    const int clipLeft = static_cast<int>(std::ceil(t.left * ratio));
    const int clipTop = static_cast<int>(std::ceil(t.top * ratio));
    const int clipRight = std::min(image.width(), static_cast<int>((t.left + t.side) * ratio));
    const int clipBottom = std::min(image.height(), static_cast<int>((t.top + t.side) * ratio));
    const int side = std::max(2, static_cast<int>(std::lround(markerPixels(t) * ratio)));
    const double scale = t.pixelsPerUnit() * ratio;
    const QRgb colour = kMarkerColour.rgb();
    const double originX = t.left * ratio;
    const double originY = t.top * ratio;
    for (const extract::Marker& marker : m_selection->markers()) {
        const double fx = std::floor(originX + marker.left * scale);
        const double fy = std::floor(originY + marker.top * scale);
        if (!(fx < clipRight && fy < clipBottom && fx + side > clipLeft && fy + side > clipTop)) continue;
        const int x0 = std::max(clipLeft, static_cast<int>(fx));
        const int y0 = std::max(clipTop, static_cast<int>(fy));
        const int x1 = std::min(clipRight, static_cast<int>(fx) + side);
        const int y1 = std::min(clipBottom, static_cast<int>(fy) + side);
        for (int y = y0; y < y1; ++y) {
            auto* row = reinterpret_cast<QRgb*>(image.scanLine(y));
            std::fill(row + x0, row + x1, colour);
        }
    }
}

QRegion RegionMap::lineStrips() const
{
    if (!m_selection) return {};
    const MapTransform& t = m_transform;
    QRegion damage;
    const auto vertical = [&](const extract::MapLine& line) {
        const int x = static_cast<int>(std::floor(t.pixelX(line.position)));
        const int from = static_cast<int>(std::floor(t.pixelY(std::min(line.from, line.to))));
        const int to = static_cast<int>(std::ceil(t.pixelY(std::max(line.from, line.to))));
        damage += QRect(x - kStripHalfWidth, from - kStripHalfWidth, 2 * kStripHalfWidth + 1,
                        to - from + 2 * kStripHalfWidth + 1);
    };
    const auto horizontal = [&](const extract::MapLine& line) {
        const int y = static_cast<int>(std::floor(t.pixelY(line.position)));
        const int from = static_cast<int>(std::floor(t.pixelX(std::min(line.from, line.to))));
        const int to = static_cast<int>(std::ceil(t.pixelX(std::max(line.from, line.to))));
        damage += QRect(from - kStripHalfWidth, y - kStripHalfWidth, to - from + 2 * kStripHalfWidth + 1,
                        2 * kStripHalfWidth + 1);
    };
    vertical(m_selection->v1());
    horizontal(m_selection->h1());
    vertical(m_selection->v2());
    horizontal(m_selection->h2());
    return damage & rect();
}

QRect RegionMap::insidePixels() const
{
    if (!m_selection) return {};
    const MapTransform& t = m_transform;
    const extract::SceneSelection& s = *m_selection;
    const auto left = static_cast<int>(std::floor(t.pixelX(std::min(s.v1().position, s.v2().position))));
    const auto right = static_cast<int>(std::floor(t.pixelX(std::max(s.v1().position, s.v2().position))));
    const auto top = static_cast<int>(std::floor(t.pixelY(std::min(s.h1().position, s.h2().position))));
    const auto bottom = static_cast<int>(std::floor(t.pixelY(std::max(s.h1().position, s.h2().position))));
    const QRect square(static_cast<int>(t.left), static_cast<int>(t.top), static_cast<int>(t.side),
                       static_cast<int>(t.side));
    return QRect(QPoint(left, top), QPoint(right, bottom)) & square;
}

RegionMap::Footprint RegionMap::footprint() const { return {lineStrips(), insidePixels()}; }

QRegion RegionMap::damageSince(const Footprint& before) const
{
    const Footprint now = footprint();
    return before.strips + now.strips + QRegion(before.inside).xored(QRegion(now.inside));
}

void RegionMap::paintRectangle(QPainter& painter) const
{
    if (!m_selection) return;
    const MapTransform& t = m_transform;
    painter.setClipRect(QRectF(t.left, t.top, t.side, t.side));
    if (m_inverse) {
        const QRect square(static_cast<int>(t.left), static_cast<int>(t.top), static_cast<int>(t.side),
                           static_cast<int>(t.side));
        for (const QRect& part : QRegion(square).subtracted(QRegion(insidePixels()))) {
            painter.fillRect(part, kInsideTint);
        }
    } else {
        painter.fillRect(insidePixels(), kInsideTint);
    }
    const auto vertical = [&](const extract::MapLine& line, const QColor& colour) {
        painter.setPen(QPen(colour, 0));
        const double x = std::floor(t.pixelX(line.position)) + 0.5;
        painter.drawLine(QPointF(x, t.pixelY(line.from)), QPointF(x, t.pixelY(line.to)));
    };
    const auto horizontal = [&](const extract::MapLine& line, const QColor& colour) {
        painter.setPen(QPen(colour, 0));
        const double y = std::floor(t.pixelY(line.position)) + 0.5;
        painter.drawLine(QPointF(t.pixelX(line.from), y), QPointF(t.pixelX(line.to), y));
    };
    vertical(m_selection->v2(), kSecondCornerColour);
    horizontal(m_selection->h2(), kSecondCornerColour);
    vertical(m_selection->v1(), kFirstCornerColour);
    horizontal(m_selection->h1(), kFirstCornerColour);
}

void RegionMap::paintEvent(QPaintEvent* event)
{
    if (!m_imageValid || m_image.size() != size() * devicePixelRatioF()) renderMarkers();
    QPainter painter(this);
    const qreal ratio = m_image.devicePixelRatio();
    for (const QRect& area : event->region()) {
        painter.drawImage(area, m_image,
                          QRectF(area.x() * ratio, area.y() * ratio, area.width() * ratio, area.height() * ratio));
    }
    paintRectangle(painter);
}

void RegionMap::mousePressEvent(QMouseEvent* event)
{
    if (m_selection) dragStep(&extract::SceneSelection::press, event->position());
}

void RegionMap::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF at = event->position();
    emit pointerMoved(m_transform.metresX(m_transform.unitsX(at.x())), m_transform.metresY(m_transform.unitsY(at.y())));
    if (m_selection && m_selection->dragState() == extract::DragState::Dragging) {
        dragStep(&extract::SceneSelection::move, at);
    }
}

void RegionMap::mouseReleaseEvent(QMouseEvent* event)
{
    if (m_selection) dragStep(&extract::SceneSelection::release, event->position());
}

void RegionMap::dragStep(void (extract::SceneSelection::*step)(float, float), QPointF at)
{
    const Footprint before = footprint();
    (m_selection->*step)(m_transform.unitsX(at.x()), m_transform.unitsY(at.y()));
    update(damageSince(before));
    emit rectangleMoved();
}

void RegionMap::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    emit pointerLeft();
}

bool RegionMap::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        auto* help = static_cast<QHelpEvent*>(event);
        const auto marker = markerAtPixel(help->pos());
        if (marker && m_describe) {
            QToolTip::showText(help->globalPos(), m_describe(*marker), this);
        } else {
            QToolTip::hideText();
            event->ignore();
        }
        return true;
    }
    return QWidget::event(event);
}

}  // namespace vantor::app

#pragma once

#include "app/map_model.h"

#include <QImage>
#include <QWidget>

#include <functional>

class QRegion;

namespace vantor::extract {
class SceneSelection;
}

namespace vantor::app {

// The painted region map of the extractor window: one square, north up, a light grid every
// 32 m with the region coordinates at its edges, one green mark per object of the table and
// the rectangle's four lines. The marks and the grid are painted once into an image, again
// only when the table or the size changes; moving a line repaints just the strips it leaves
// and enters. Pointer presses, moves and releases drive the selection in map units; a button
// held keeps the pointer, so a corner may lie outside the map.
class RegionMap final : public QWidget {
    Q_OBJECT
public:
    explicit RegionMap(QWidget* parent = nullptr);

    // The selection the pointer drives and whose table and lines are painted; not owned.
    void setSelection(extract::SceneSelection* selection);
    // The table changed (load, "Extraire"): paints the marks again and indexes them for hovering.
    void tableChanged();
    // The lines were set from outside ("Tout selectionner"): repaints where they were and are.
    void linesChanged();
    // With "Inverse" the tint marks the map outside the rectangle, which "Extraire" then keeps.
    void setInverse(bool inverse);
    // The tooltip text of marker k (entry k of the table); none when unset.
    void setMarkerDescription(std::function<QString(std::size_t)> describe) { m_describe = std::move(describe); }

    [[nodiscard]] const MapTransform& transform() const { return m_transform; }
    [[nodiscard]] const MarkerGrid& markerGrid() const { return m_grid; }
    // The marker under a pixel of this widget, as hovering finds it.
    [[nodiscard]] std::optional<std::size_t> markerAtPixel(QPointF pixel) const;
    // Rebuilds the image of marks and grid now (it is otherwise rebuilt at the next paint).
    void renderMarkers();
    // Where the rectangle is painted: the strips of its four lines and its tinted inside.
    struct Footprint {
        QRegion strips;
        QRect inside;
    };
    [[nodiscard]] Footprint footprint() const;
    // What moving the rectangle from where it was repaints: the strips it leaves and enters,
    // and the part of the map that its inside left or entered.
    [[nodiscard]] QRegion damageSince(const Footprint& before) const;

    [[nodiscard]] QSize sizeHint() const override;

signals:
    // The rectangle changed under the pointer (press, drag, release).
    void rectangleMoved();
    // The pointer is over the widget at this region position (metres).
    void pointerMoved(double xMetres, double yMetres);
    void pointerLeft();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    bool event(QEvent* event) override;

private:
    // One step of a drag (press, move or release) at a pixel, then the repaint and the signal.
    void dragStep(void (extract::SceneSelection::*step)(float, float), QPointF at);
    void paintRectangle(QPainter& painter) const;
    [[nodiscard]] QRegion lineStrips() const;
    [[nodiscard]] QRect insidePixels() const;
    void paintBackground(QPainter& painter) const;
    void paintMarkers(QImage& image) const;
    void placeMap();

    extract::SceneSelection* m_selection = nullptr;  // not owned
    MapTransform m_transform;
    MarkerGrid m_grid;
    QImage m_image;  // background, grid and marks
    bool m_imageValid = false;
    bool m_inverse = false;
    std::function<QString(std::size_t)> m_describe;
};

}  // namespace vantor::app

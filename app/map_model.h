#pragma once

#include "extract/scene_load.h"
#include "extract/selection.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vantor::app {

// Room kept around the painted map for the region coordinates at its edges, in pixels.
struct MapMargins {
    double left = 30;
    double top = 8;
    double right = 14;
    double bottom = 20;
};

// Where the region map lies in the widget that paints it, and the sums between its pixels, the
// map units of the extractor (W = 10240 at every size, so a rectangle keeps its region
// coordinates when the window is resized) and region metres (x east, y north).
struct MapTransform {
    double left = 0;  // pixel of the map's top-left corner
    double top = 0;
    double side = 0;  // the square's side in pixels
    double width = extract::kDesignMapWidth;  // W in map units

    // `MapScale` of the painted map: pixels per metre, following the side.
    [[nodiscard]] double pixelsPerMetre() const { return side / 256.0; }
    [[nodiscard]] double pixelsPerUnit() const { return side / width; }
    [[nodiscard]] float unitsX(double pixelX) const { return static_cast<float>((pixelX - left) * width / side); }
    [[nodiscard]] float unitsY(double pixelY) const { return static_cast<float>((pixelY - top) * width / side); }
    [[nodiscard]] double pixelX(double unitsX) const { return left + unitsX * side / width; }
    [[nodiscard]] double pixelY(double unitsY) const { return top + unitsY * side / width; }
    // Region metres of a map point: x / MapScale east, (W − y) / MapScale north.
    [[nodiscard]] double metresX(double unitsX) const { return unitsX * 256.0 / width; }
    [[nodiscard]] double metresY(double unitsY) const { return (width - unitsY) * 256.0 / width; }
};

// The largest square that fits the widget's area inside the margins, centred in what is left.
[[nodiscard]] MapTransform fitMap(double areaWidth, double areaHeight, const MapMargins& margins = {});

// The side of a marker (75 × 75 map units) in whole pixels, at least 2 so that it stays visible.
[[nodiscard]] int markerPixels(const MapTransform& transform);

// The region coordinates of the light grid, every 32 m from 0 to 256.
[[nodiscard]] std::vector<int> gridMetres();

// How many objects "Extraire" would keep with these edges: the same strict test as the filter,
// over the positions of the table's entries that have a marker.
[[nodiscard]] std::size_t countPassing(const std::vector<extract::ObjectPosition>& positions,
                                       const extract::RectangleEdges& edges, bool inverse,
                                       const extract::MapGeometry& map);

// Finds the marker under the pointer among many: markers are kept in the cells of a 64 × 64
// grid over the map by their top-left corner (markers off the map in the border cells), so a
// lookup reads a handful of cells whatever the number of markers.
class MarkerGrid {
public:
    static constexpr int kCells = 64;
    static constexpr float kMarkerSide = 75.0f;  // map units

    void rebuild(const std::vector<extract::Marker>& markers, float mapWidth = extract::kDesignMapWidth);
    // The marker whose square, grown by slack map units on every side, holds the point; the
    // last one (painted on top) when several do.
    [[nodiscard]] std::optional<std::size_t> markerAt(float x, float y, float slack = 0) const;
    [[nodiscard]] std::size_t size() const { return m_markers.size(); }

private:
    [[nodiscard]] int cellOf(float units) const;

    float m_cellSide = extract::kDesignMapWidth / kCells;
    std::vector<extract::Marker> m_markers;
    std::vector<std::uint32_t> m_cellStart;  // kCells² + 1 offsets into m_members
    std::vector<std::uint32_t> m_members;    // marker numbers, cell by cell, ascending
};

}  // namespace vantor::app

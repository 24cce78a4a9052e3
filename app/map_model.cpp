#include "app/map_model.h"

#include <algorithm>
#include <cmath>

namespace vantor::app {

MapTransform fitMap(double areaWidth, double areaHeight, const MapMargins& margins)
{
    const double freeWidth = std::max(0.0, areaWidth - margins.left - margins.right);
    const double freeHeight = std::max(0.0, areaHeight - margins.top - margins.bottom);
    const double side = std::max(1.0, std::floor(std::min(freeWidth, freeHeight)));
    MapTransform transform;
    transform.side = side;
    transform.left = std::floor(margins.left + (freeWidth - side) / 2);
    transform.top = std::floor(margins.top + (freeHeight - side) / 2);
    return transform;
}

int markerPixels(const MapTransform& transform)
{
    return std::max(2, static_cast<int>(std::lround(MarkerGrid::kMarkerSide * transform.pixelsPerUnit())));
}

std::vector<int> gridMetres()
{
    std::vector<int> metres;
    for (int m = 0; m <= 256; m += 32) metres.push_back(m);
    return metres;
}

std::size_t countPassing(const std::vector<extract::ObjectPosition>& positions, const extract::RectangleEdges& edges,
                         bool inverse, const extract::MapGeometry& map)
{
    const double scale = map.mapScale();
    const double left = edges.left;
    const double right = edges.right;
    const double bottom = edges.bottom;
    const double top = edges.top;
    std::size_t count = 0;
    for (const extract::ObjectPosition& position : positions) {
        const double x = position.x * scale;
        const double y = position.y * scale;
        const bool passes = inverse ? (x < left || x > right || y < bottom || y > top)
                                    : (left < x && x < right && bottom < y && y < top);
        count += passes ? 1 : 0;
    }
    return count;
}

int MarkerGrid::cellOf(float units) const
{
    if (!(units >= 0)) return 0;  // also NaN
    const float cell = units / m_cellSide;
    return cell >= kCells - 1 ? kCells - 1 : static_cast<int>(cell);
}

void MarkerGrid::rebuild(const std::vector<extract::Marker>& markers, float mapWidth)
{
    m_markers = markers;
    m_cellSide = mapWidth / kCells;
    constexpr std::size_t kCellCount = std::size_t{kCells} * kCells;
    m_cellStart.assign(kCellCount + 1, 0);
    std::vector<std::uint32_t> cellOfMarker(markers.size());
    for (std::size_t k = 0; k < markers.size(); ++k) {
        const auto cell = static_cast<std::uint32_t>(cellOf(markers[k].top) * kCells + cellOf(markers[k].left));
        cellOfMarker[k] = cell;
        ++m_cellStart[cell + 1];
    }
    for (std::size_t c = 0; c < kCellCount; ++c) m_cellStart[c + 1] += m_cellStart[c];
    m_members.resize(markers.size());
    std::vector<std::uint32_t> fill(m_cellStart.begin(), m_cellStart.end() - 1);
    for (std::size_t k = 0; k < markers.size(); ++k) m_members[fill[cellOfMarker[k]]++] = static_cast<std::uint32_t>(k);
}

std::optional<std::size_t> MarkerGrid::markerAt(float x, float y, float slack) const
{
    if (m_markers.empty()) return std::nullopt;
    // A marker holds the point when its corner lies within one marker side (plus slack) up and
    // to the left of it, so only the cells of that neighbourhood can hold it.
    const float reach = kMarkerSide + slack;
    const int firstColumn = cellOf(x - reach);
    const int lastColumn = cellOf(x + slack);
    const int firstRow = cellOf(y - reach);
    const int lastRow = cellOf(y + slack);
    std::optional<std::size_t> found;
    for (int row = firstRow; row <= lastRow; ++row) {
        for (int column = firstColumn; column <= lastColumn; ++column) {
            const std::size_t cell = static_cast<std::size_t>(row) * kCells + static_cast<std::size_t>(column);
            for (std::uint32_t i = m_cellStart[cell]; i < m_cellStart[cell + 1]; ++i) {
                const std::uint32_t k = m_members[i];
                const extract::Marker& marker = m_markers[k];
                const bool holds = x >= marker.left - slack && x <= marker.left + kMarkerSide + slack &&
                                   y >= marker.top - slack && y <= marker.top + kMarkerSide + slack;
                if (holds && (!found || k > *found)) found = k;
            }
        }
    }
    return found;
}

}  // namespace vantor::app

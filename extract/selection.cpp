#include "selection.h"

#include <algorithm>
#include <string>
#include <utility>

namespace vantor::extract {

FilterResult filterObjects(const ObjectLines& table, const std::vector<ObjectPosition>& knownPositions,
                           const RectangleEdges& edges, bool inverse, const MapGeometry& map)
{
    FilterResult result{table.emptyCopy(), {}, {}, std::nullopt, 0};
    const double scale = map.mapScale();
    const double left = edges.left;
    const double right = edges.right;
    const double bottom = edges.bottom;
    const double top = edges.top;
    std::string buffer;
    for (std::size_t k = 0; k < table.size(); ++k) {
        std::optional<ObjectPosition> position;
        if (k < knownPositions.size()) {
            position = knownPositions[k];
        } else {
            const PositionValues values = scanPositionValues(table.read(k, buffer));
            if (values.result != TokeniseResult::Stop) position = readPosition(values);
            if (!position) {
                result.stop = values.result == TokeniseResult::Stop ? FilterStop::CutOffLine : FilterStop::NoPosition;
                result.stoppedAt = k + 1;
                break;
            }
        }
        const double x = position->x * scale;
        const double y = position->y * scale;
        const bool passes = inverse ? (x < left || x > right || y < bottom || y > top)
                                    : (left < x && x < right && bottom < y && y < top);
        if (!passes) continue;
        result.kept.append(table[k]);
        result.markers.push_back(placeMarker(*position, map));
        result.positions.push_back(*position);
    }
    return result;
}

SceneSelection::SceneSelection(const MapGeometry& map) : m_map(map)
{
    // At first the rectangle is the whole map, as "Tout selectionner" sets it: "Extraire"
    // before any drag keeps every object of the region.
    selectAll();
}

void SceneSelection::setTable(ObjectLines objects, std::vector<Marker> markers, std::vector<ObjectPosition> positions)
{
    m_objects = std::move(objects);
    m_markers = std::move(markers);
    m_positions = std::move(positions);
}

void SceneSelection::press(float x, float y)
{
    m_v1 = fullLine(x);
    m_h1 = fullLine(y);
    m_dragState = DragState::Dragging;
}

void SceneSelection::move(float x, float y)
{
    if (m_dragState != DragState::Dragging) return;
    m_v2 = fullLine(x);
    m_h2 = fullLine(y);
}

void SceneSelection::release(float x, float y)
{
    m_v2 = fullLine(x);
    m_h2 = fullLine(y);
    m_dragState = DragState::Set;
}

void SceneSelection::selectRegion(const ObjectPosition& corner1, const ObjectPosition& corner2)
{
    // A corner's map point is where a marker of an object there goes.
    const Marker first = placeMarker(corner1, m_map);
    const Marker second = placeMarker(corner2, m_map);
    press(first.left, first.top);
    release(second.left, second.top);
}

void SceneSelection::selectAll()
{
    m_v1 = fullLine(0);
    m_v2 = fullLine(m_map.width);
    m_h1 = fullLine(0);
    m_h2 = fullLine(m_map.width);
}

RectangleEdges SceneSelection::edges() const
{
    // Single precision on purpose: the map's lines hold floats, and edge cases at the
    // rectangle's border depend on it.
    const float south1 = m_map.width - m_h1.position;
    const float south2 = m_map.width - m_h2.position;
    return RectangleEdges{std::min(m_v1.position, m_v2.position), std::max(m_v1.position, m_v2.position),
                          std::min(south1, south2), std::max(south1, south2)};
}

FilterResult SceneSelection::extract(bool inverse)
{
    const RectangleEdges rectangle = edges();
    m_savedLines = m_objects;
    FilterResult result = filterObjects(m_savedLines, m_positions, rectangle, inverse, m_map);
    m_objects = result.kept;
    m_markers = result.markers;
    m_positions = result.positions;
    if (!result.stop) m_dragState = DragState::Set;
    return result;
}

}  // namespace vantor::extract

#pragma once

#include "object_lines.h"
#include "scene_load.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace vantor::extract {

// `DragState`: the pointer state of the selection rectangle. Only Dragging has an effect:
// while it holds, pointer moves drag the second corner.
enum class DragState : std::int16_t {
    Idle = 0,      // no press on the map since the window was made
    Dragging = 1,  // a button is held on the map
    Set = 3,       // a release or "Extraire" has set the rectangle
};

// One of the rectangle's four lines: position is x for a vertical line, y for a horizontal
// one; from and to are its extent along its length. Map units, single precision.
struct MapLine {
    float position = 0;
    float from = 0;
    float to = 0;
    friend bool operator==(const MapLine&, const MapLine&) = default;
};

// The rectangle's edges with y turned to point north, in map units.
struct RectangleEdges {
    float left = 0;
    float right = 0;
    float bottom = 0;
    float top = 0;
    friend bool operator==(const RectangleEdges&, const RectangleEdges&) = default;
};

// Why "Extraire" ended before the last entry.
enum class FilterStop {
    CutOffLine,  // the entry's last tag is cut off
    NoPosition,  // the entry has no readable position (never after a load, which checks them)
};

struct FilterResult {
    ObjectLines kept;             // the new table: the entries that passed, in table order
    std::vector<Marker> markers;  // renumbered: marker k belongs to kept entry k
    std::vector<ObjectPosition> positions;  // of the kept entries
    std::optional<FilterStop> stop;
    std::size_t stoppedAt = 0;    // with stop: the entry of the filtered table, from 1
};

// "Extraire" over a table: keeps the entries whose position X = x × MapScale, Y = y × MapScale
// lies strictly inside the edges (strictly outside with inverse); an entry on an edge passes
// in neither mode. A cut-off entry ends the filter, leaving out itself and all after it.
// knownPositions holds the positions of the table's first entries as a load or an earlier
// filter read them; the entries after those are read here.
[[nodiscard]] FilterResult filterObjects(const ObjectLines& table, const std::vector<ObjectPosition>& knownPositions,
                                         const RectangleEdges& edges, bool inverse, const MapGeometry& map);

// The extractor's map state as the map widget drives it: the object table and its markers,
// the rectangle's four lines and `DragState`. Pointer positions are map units relative to the
// map's top-left corner and are never clamped.
class SceneSelection {
public:
    // The rectangle starts as the whole map.
    explicit SceneSelection(const MapGeometry& map = {});

    // Takes the table, markers and positions of a load; the rectangle and DragState stay as
    // they are.
    void setTable(ObjectLines objects, std::vector<Marker> markers, std::vector<ObjectPosition> positions = {});

    void press(float x, float y);    // sets the first corner and starts dragging
    void move(float x, float y);     // drags the second corner while dragging
    void release(float x, float y);  // sets the second corner
    // Sets the rectangle from two opposite corners in region metres (X east, Y north), as a
    // drag from the first to the second on the map sets it; DragState becomes Set.
    void selectRegion(const ObjectPosition& corner1, const ObjectPosition& corner2);
    void selectAll();                // "Tout selectionner": the whole map, nothing filtered
    // "Extraire": filters the current table by the rectangle; DragState becomes Set unless a
    // cut-off line ended it.
    FilterResult extract(bool inverse);

    [[nodiscard]] RectangleEdges edges() const;
    [[nodiscard]] const MapLine& v1() const { return m_v1; }
    [[nodiscard]] const MapLine& h1() const { return m_h1; }
    [[nodiscard]] const MapLine& v2() const { return m_v2; }
    [[nodiscard]] const MapLine& h2() const { return m_h2; }
    [[nodiscard]] DragState dragState() const { return m_dragState; }
    [[nodiscard]] const ObjectLines& objects() const { return m_objects; }
    [[nodiscard]] const ObjectLines& savedLines() const { return m_savedLines; }
    [[nodiscard]] const std::vector<Marker>& markers() const { return m_markers; }
    [[nodiscard]] const MapGeometry& map() const { return m_map; }

private:
    [[nodiscard]] MapLine fullLine(float position) const { return MapLine{position, 0, m_map.width}; }

    MapGeometry m_map;
    MapLine m_v1, m_h1, m_v2, m_h2;
    DragState m_dragState = DragState::Idle;
    ObjectLines m_objects;
    ObjectLines m_savedLines;
    std::vector<Marker> m_markers;
    std::vector<ObjectPosition> m_positions;  // of the table's first entries, as far as known
};

}  // namespace vantor::extract

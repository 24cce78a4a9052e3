#pragma once

#include "object_lines.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::extract {

// Whether the values that a listing record and a marker take by index (scene/object_layout.h:
// the name, GroupPosition, RotationOffset, the Shape values and its Scale, ProfileShape and
// HollowShape) sit in the elements a converter's document has there, and the object has no
// part under OtherParts. Only such an object is read by index; values is its value list.
[[nodiscard]] bool readsByIndex(std::string_view object, const ValueList& values);

// The same check for the position alone: the values at scene::value::kPositionX and kPositionY
// are GroupPosition's X and Y.
[[nodiscard]] bool positionReadsByIndex(std::string_view object, const PositionValues& values);

// An object document read by element name, as OpenSim's serializer lays it out: the root
// part is the first SceneObjectPart child of SceneObjectGroup (or of its RootPart, in the older
// layout), the other parts are OtherParts/SceneObjectPart (or OtherParts/Part/SceneObjectPart).
// Elements the listing does not use are skipped, whatever they hold.
class ObjectParts {
public:
    ObjectParts();
    ~ObjectParts();
    ObjectParts(const ObjectParts&) = delete;
    ObjectParts& operator=(const ObjectParts&) = delete;

    // Reads object; false when it is not one well-formed SceneObjectGroup element with a part,
    // or when it is so dense in tags that reading it by name would take many times its size.
    // The values handed out later are views into object, which must outlive their use.
    [[nodiscard]] bool parse(std::string_view object);

    // The parts: the root first, then the others in LinkNum order (document order for equal
    // or unreadable numbers).
    [[nodiscard]] std::size_t partCount() const;

    // Fills values, in the index order of a converter's document (scene/object_layout.h), with
    // the texts of part's elements (entity references left as they stand). An element that is
    // missing leaves a null view; an empty one an empty view. Only the indexes a record or
    // marker uses, plus OffsetPosition and LinkNum, are filled.
    void partValues(std::size_t part, ValueList& values) const;

    // The root's GroupPosition X and Y as numbers; nothing when either is missing or not a number.
    [[nodiscard]] std::optional<std::pair<double, double>> position() const;

private:
    struct Document;
    std::unique_ptr<Document> m_document;
};

// What the map tells of an object under the pointer: its name and its root part's position
// texts, entity references left as they stand. They are read as the object's mark is placed:
// by element name from an object that is one well-formed SceneObjectGroup element, else by
// index (the name and GroupPosition of scene/object_layout.h); a missing one is empty.
struct ObjectLabel {
    std::string name;
    std::string x, y, z;
    friend bool operator==(const ObjectLabel&, const ObjectLabel&) = default;
};
[[nodiscard]] ObjectLabel readObjectLabel(std::string_view object);

}  // namespace vantor::extract

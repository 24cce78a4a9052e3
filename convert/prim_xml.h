#pragma once

#include "listing_parser.h"

#include "platform/file_system.h"
#include "platform/random_source.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vantor::convert {

// The profile and hollow shape names of a run. A record whose type or hole code has no name
// keeps the previous record's; both are empty when a run starts. The names are fixed texts
// of the program, so the views never dangle.
struct ShapeNames {
    std::string_view profile;
    std::string_view hollow;
};

// OpenSim's path and profile values of one prim, in the units its scene files use. OpenSim
// reads every one of them as a whole number (a fraction would make it drop the value).
struct PrimShape {
    std::int32_t pathBegin = 0;
    std::int32_t pathCurve = 32;
    std::int32_t pathEnd = 0;
    std::int32_t pathRadiusOffset = 0;
    std::int32_t pathRevolutions = 0;
    std::int32_t pathScaleX = 100;
    std::int32_t pathScaleY = 100;
    std::int32_t pathShearX = 0;
    std::int32_t pathShearY = 0;
    std::int32_t pathSkew = 0;
    std::int32_t pathTaperX = 0;
    std::int32_t pathTaperY = 0;
    std::int32_t pathTwist = 0;
    std::int32_t pathTwistBegin = 0;
    std::int32_t profileBegin = 0;
    std::int32_t profileCurve = 0;
    std::int32_t profileEnd = 0;
    std::int32_t profileHollow = 0;
};

// Every value of one object document that comes from its record, as computePrimValues
// finds them. Writing them out (writePrimDocument) cannot fail.
struct PrimValues {
    double position[3] = {0, 0, 0};
    double rotation[4] = {0, 0, 0, 0};
    double size[3] = {0, 0, 0};
    PrimShape shape;
    ShapeNames names;  // the run's shape names after this record
};

// The texts of one object document besides its values.
struct PrimTexts {
    std::string_view escapedOwnerUuid;  // already escaped (appendXmlEscaped): the same for a whole run
    std::string_view localId;           // escaped when written
    std::string_view objectUuid;        // written as it is
    std::string_view name;              // escaped when written
};

// Where a part stands in its object, as OpenSim writes a linkset: every part carries the
// root's position as its GroupPosition, and its own position and rotation relative to the
// root's (in the root's frame) as OffsetPosition and RotationOffset; ParentID is the root's
// LocalID. An object of one part stands at its own position, with its rotation.
struct PartPlacement {
    std::int32_t linkNumber = 0;          // 0 for an object of one part, 1 for a root, 2, 3... for the others
    std::string_view parentLocalId = "0"; // "0" for a root or an object of one part
    double groupPosition[3] = {0, 0, 0};
    double offset[3] = {0, 0, 0};
    double rotation[4] = {0, 0, 0, 1};
};

// The placement of an object of one part (linkNumber 0) or of a root (1): at its own position
// and rotation.
[[nodiscard]] PartPlacement ownPlacement(const PrimValues& values, std::int32_t linkNumber);

// The placement of a part linked to root: offset = inverse(root rotation) applied to (position -
// root position), rotation = inverse(root rotation) x its rotation, in doubles, the inverse
// being the conjugate over the squared norm. False when a value would not read back once
// written (a root rotation of length 0, say). parentLocalId is left to the caller.
[[nodiscard]] bool childPlacement(const PrimValues& root, const PrimValues& part, std::int32_t linkNumber,
                                  PartPlacement& placement);

// A linked object is written as kGroupBegin, its root part, kOtherPartsBegin, the other parts
// and kGroupEnd (writeLinkedPart writes each part).
inline constexpr std::string_view kGroupBegin = "<SceneObjectGroup>";
inline constexpr std::string_view kOtherPartsBegin = "<OtherParts>";
inline constexpr std::string_view kGroupEnd = "</OtherParts></SceneObjectGroup>";

// Appends a new object identifier: 32 lower-case hex digits, one uniform draw each, laid out
// 8-4-4-4-12. No version or variant bits are set.
void appendObjectUuid(std::string& out, platform::RandomSource& random);

// Computes the values of one record's object document and updates the shape names. False
// when a field it needs is missing, empty, not a number or overflows, or when a decimal value
// would not read back as a finite number once written with 15 digits.
[[nodiscard]] bool computePrimValues(const PackedRecord& record, const RezOffset& offset, ShapeNames& shapeNames,
                                     PrimValues& values);

// Whether a record begins a linked object: its field 0 is "1", as the in-world rezzer reads it
// too. (Listings that give
// the count of shape values there, 6, 7 or 12, begin no object after their first record.)
[[nodiscard]] bool beginsObject(const PackedRecord& record);

// The most bytes writePrimDocument writes for texts of these lengths, whatever the values.
[[nodiscard]] std::size_t primDocumentBound(const PrimTexts& texts);

// Writes the object document (one line, no line end) at out, which must have room for
// primDocumentBound(texts) bytes, and returns the end of what it wrote.
char* writePrimDocument(char* out, const PrimValues& values, const PrimTexts& texts);

// The most bytes writeLinkedPart writes for these texts, whatever the values.
[[nodiscard]] std::size_t linkedPartBound(const PrimTexts& texts, const PartPlacement& placement);

// Writes one SceneObjectPart element of a linked object at out, which must have room for
// linkedPartBound bytes, and returns the end of what it wrote.
char* writeLinkedPart(char* out, const PrimValues& values, const PrimTexts& texts, const PartPlacement& placement);

}  // namespace vantor::convert

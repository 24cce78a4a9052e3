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

// Appends a new object identifier: 32 lower-case hex digits, one uniform draw each, laid out
// 8-4-4-4-12. No version or variant bits are set.
void appendObjectUuid(std::string& out, platform::RandomSource& random);

// Computes the values of one record's object document and updates the shape names. False
// when a field it needs is missing, empty, not a number or overflows, or when a decimal value
// would not read back as a finite number once written with 15 digits.
[[nodiscard]] bool computePrimValues(const PackedRecord& record, const RezOffset& offset, ShapeNames& shapeNames,
                                     PrimValues& values);

// The most bytes writePrimDocument writes for texts of these lengths, whatever the values.
[[nodiscard]] std::size_t primDocumentBound(const PrimTexts& texts);

// Writes the object document (one line, no line end) at out, which must have room for
// primDocumentBound(texts) bytes, and returns the end of what it wrote.
char* writePrimDocument(char* out, const PrimValues& values, const PrimTexts& texts);

}  // namespace vantor::convert

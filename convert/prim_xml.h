#pragma once

#include "listing_parser.h"

#include "platform/file_system.h"
#include "platform/random_source.h"

#include <string>
#include <string_view>

namespace vantor::convert {

// The profile and hollow shape names of a run. A record whose type or hole code has no name
// keeps the previous record's; both are empty when a run starts.
struct ShapeNames {
    std::string profile;
    std::string hollow;
};

// What one object document is made of, besides the record's fields.
struct PrimXmlInputs {
    RezOffset offset;
    std::string_view ownerUuid;   // written three times: last owner, owner, creator
    std::string_view localId;     // the counter value of this record
    std::string_view objectUuid;  // see appendObjectUuid
};

// Appends a new object identifier: 32 lower-case hex digits, one uniform draw each, laid out
// 8-4-4-4-12. No version or variant bits are set.
void appendObjectUuid(std::string& out, platform::RandomSource& random);
[[nodiscard]] std::string newObjectUuid(platform::RandomSource& random);

// Appends text with "&", "<", ">", '"' and "'" written as entities, so that names such as
// "Fish & Chips" keep the scene file well-formed.
void appendXmlEscaped(std::string& out, std::string_view text);

// Appends the object document of one record (one line, no line end) to out and updates the
// shape names. False when a field it needs is missing, empty, not a number or overflows; out
// then holds whatever it held before.
[[nodiscard]] bool appendPrimXml(std::string& out, const PrimRecord& record, const PrimXmlInputs& inputs,
                                 ShapeNames& shapeNames);

// Writes the scene file around the documents: "<scene>", an empty line, one document per
// line, an empty line, "</scene>", every line ending in CR LF.
class SceneFile {
public:
    explicit SceneFile(platform::OutputFile& file) : m_file(file) {}
    void begin();
    void add(std::string_view document);
    void end();

private:
    platform::OutputFile& m_file;
};

}  // namespace vantor::convert

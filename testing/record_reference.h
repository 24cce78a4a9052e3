#pragma once

#include "convert/listing_parser.h"
#include "convert/prim_xml.h"
#include "text/xml_text.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The plain form of a record, read word for word, which the run's packed parse is held to,
// and the object document of such a record in one call.
namespace vantor::test {

struct PrimRecord {
    std::string name;                 // from line A's chat prefix, blanks kept
    std::string recordText;           // both lines joined: leading LF, line A, line B, final CR
    std::vector<std::string> fields;  // data values without blanks, "<" and ">"
};

// A record text with every CR LF removed, left to right.
inline std::string joinedLines(std::string_view recordText)
{
    std::string joined(recordText);
    for (auto at = joined.find("\r\n"); at != std::string::npos; at = joined.find("\r\n", at)) joined.erase(at, 2);
    return joined;
}

// The record parse read word for word: every CR LF removed; the name from line A's start, or
// when line A begins with a time stamp ("[", digits, ":" and perhaps a date, "]"), from after
// the stamp and at most two blanks, up to the first ": "; then the values after ": " split at
// ",", blanks, "<" and ">" dropped; what follows the last comma is no field.
inline std::optional<PrimRecord> parseRecordPlainly(std::string_view recordText)
{
    PrimRecord record;
    record.recordText = joinedLines(recordText);
    const std::string& joined = record.recordText;
    const std::size_t colon = joined.find(": ");
    if (colon == std::string::npos) return std::nullopt;
    std::size_t start = 0;
    while (start < colon && (joined[start] == '\n' || joined[start] == '\r')) ++start;
    const std::size_t bracket = joined.find(']', start);
    bool stamped = start < joined.size() && joined[start] == '[' && bracket < colon;
    for (std::size_t i = start + 1; stamped && i < bracket; ++i) {
        stamped = std::string_view("0123456789:/-. APMapm").find(joined[i]) != std::string_view::npos;
    }
    const std::string inside = stamped ? joined.substr(start + 1, bracket - start - 1) : "";
    if (inside.find(':') == std::string::npos || inside.find_first_of("0123456789") == std::string::npos) {
        stamped = false;
    }
    if (stamped) {
        if (colon == bracket + 1) return std::nullopt;
        start = bracket + 1;
        if (joined[start] == ' ' && start < colon) ++start;
        if (joined[start] == ' ' && start < colon) ++start;
    }
    record.name = joined.substr(start, colon - start);
    std::string field;
    for (const char c : std::string_view(joined).substr(colon + 2)) {
        if (c == ',') {
            record.fields.push_back(field);
            field.clear();
        } else if (c != ' ' && c != '<' && c != '>') {
            field += c;
        }
    }
    if (record.fields.size() < 5) return std::nullopt;
    return record;
}

// The record text of a record's fields, as a listing would hold it, under the name "Prim".
inline std::string recordTextOf(const PrimRecord& record)
{
    std::string text = "\n[9:05]  Prim: ";
    for (const auto& field : record.fields) text += field + ", ";
    return text + "\r\nend\r";
}

// What one object document is made of, besides the record's fields.
struct PrimXmlInputs {
    convert::RezOffset offset;
    std::string_view ownerUuid;   // written three times: last owner, owner, creator
    std::string_view localId;     // the counter value of this record
    std::string_view objectUuid;  // see appendObjectUuid
};

// Appends the object document of a record (one line, no line end) to out and updates the
// shape names, as a run writes it: computePrimValues, then writePrimDocument; name is the
// record's own unless given. False when the record does not convert; out then holds whatever
// it held before.
inline bool appendPrimXml(std::string& out, const convert::PackedRecord& record, const PrimXmlInputs& inputs,
                          convert::ShapeNames& shapeNames, std::optional<std::string_view> name = {})
{
    convert::PrimValues values;
    if (!convert::computePrimValues(record, inputs.offset, shapeNames, values)) return false;
    std::string owner;
    text::appendXmlEscaped(owner, inputs.ownerUuid);
    const convert::PrimTexts texts{owner, inputs.localId, inputs.objectUuid, name ? *name : record.name()};
    const std::size_t start = out.size();
    out.resize(start + convert::primDocumentBound(texts));
    char* const end = convert::writePrimDocument(out.data() + start, values, texts);
    out.resize(static_cast<std::size_t>(end - out.data()));
    return true;
}

// The same for a record given by its name and fields.
inline bool appendPrimXml(std::string& out, const PrimRecord& record, const PrimXmlInputs& inputs,
                          convert::ShapeNames& shapeNames)
{
    convert::PackedRecord packed;
    if (!convert::parseRecord(recordTextOf(record), packed)) return false;
    return appendPrimXml(out, packed, inputs, shapeNames, record.name);
}

// A new object identifier (appendObjectUuid into an empty text).
inline std::string newObjectUuid(platform::RandomSource& random)
{
    std::string uuid;
    convert::appendObjectUuid(uuid, random);
    return uuid;
}

}  // namespace vantor::test

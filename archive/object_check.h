#pragma once

#include "scene/scene_file.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vantor::archive {

using scene::kLargestObjectBytes;

// Why OpenSim could not read an object. One such object stops the loading of the whole
// archive, the objects after it included.
enum class ObjectFault {
    TooLarge,          // more than kLargestObjectBytes
    NotUtf8,           // bytes that are no UTF-8
    InvalidCharacter,  // a character XML forbids: a control character other than tab, line feed and
                       // carriage return, U+FFFE or U+FFFF, also as a reference to a surrogate or beyond U+10FFFF
    NotWellFormed,     // not well-formed XML: a tag, an attribute, a reference or a namespace prefix
    DocumentType,      // a document type declaration, which objects never carry
    NotOneGroup,       // the document is not one SceneObjectGroup element (another root, two roots, a group inside)
    NoParts,           // the group holds no SceneObjectPart
};

struct ObjectProblem {
    ObjectFault fault = ObjectFault::NotWellFormed;
    std::string reason;  // what was found and where (byte offset in the document)
    friend bool operator==(const ObjectProblem&, const ObjectProblem&) = default;
};

// Drops a leading UTF-8 byte order mark: OpenSim's loader keeps it as a character and then
// refuses the whole document.
[[nodiscard]] std::string_view withoutByteOrderMark(std::string_view document);

// What keeps OpenSim's loader from reading document as an archive object, or nothing when it
// reads it: the document must be UTF-8 (a byte order mark aside), well-formed XML with
// declared entities and namespace prefixes only, and one SceneObjectGroup element holding at
// least one SceneObjectPart, with nothing but blanks, comments, processing instructions and
// an XML declaration around it.
[[nodiscard]] std::optional<ObjectProblem> checkObject(std::string_view document);

}  // namespace vantor::archive

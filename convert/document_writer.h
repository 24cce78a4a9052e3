#pragma once

#include "prim_xml.h"

#include "platform/file_system.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>

namespace vantor::convert {

// One object document as the run prepares it: its values and its texts.
struct PreparedDocument {
    PrimValues values;
    std::string localId;
    std::string objectUuid;
    std::string name;
    // When objects are linked: whether this record begins an object (else it is a part of the
    // object begun last), and a part's placement relative to its root (childPlacement).
    bool beginsObject = true;
    PartPlacement placement;
};

// Writes object documents into the scene file, one line per document, and hands the text to
// the file in large pieces. The caller fills the next document (next), then adds it; the
// documents reach the file in the order they were added. finish() writes what is left;
// a writer destroyed without it drops that rest (a failed run drops its scene file anyway).
//
// When objects are linked, the documents of one object (the one that begins it and the parts
// after it) become one SceneObjectGroup line, the root first: an object is written once the
// next one begins or the documents end, and one of a single part is written as without linking.
class DocumentWriter {
public:
    // The writer hands text to the file in pieces of at least this size (but the last).
    static constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

    // scene: the file the documents go to; nothing else writes to it until finish() returns.
    // escapedOwnerUuid must outlive the writer.
    DocumentWriter(platform::OutputFile& scene, std::string_view escapedOwnerUuid, bool linkObjects = false);

    DocumentWriter(const DocumentWriter&) = delete;
    DocumentWriter& operator=(const DocumentWriter&) = delete;

    // The document to fill next.
    [[nodiscard]] PreparedDocument& next() { return m_document; }
    // The document that next() returned is complete. Throws what the file throws.
    void add();
    // Writes the rest. Throws what the file throws.
    void finish();

private:
    void writeAlone(const PreparedDocument& document);
    void writeLinked(const PreparedDocument& document);
    void endObject();
    [[nodiscard]] char* room(std::size_t bound);
    void wrote(char* end);
    void writePiece();

    platform::OutputFile& m_scene;
    std::string_view m_escapedOwnerUuid;
    bool m_linkObjects = false;
    PreparedDocument m_document;
    std::unique_ptr<char[]> m_text;
    std::size_t m_capacity = 0;
    std::size_t m_used = 0;
    PreparedDocument m_root;   // linking: the root of the object under way, while no other part came
    bool m_rootHeld = false;
    bool m_groupOpen = false;  // linking: the root and its OtherParts are written, the group's end not
};

}  // namespace vantor::convert

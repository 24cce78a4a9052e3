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
};

// Writes object documents into the scene file, one line per document, and hands the text to
// the file in large pieces. The caller fills the next document (next), then adds it; the
// documents reach the file in the order they were added. finish() writes what is left;
// a writer destroyed without it drops that rest (a failed run drops its scene file anyway).
class DocumentWriter {
public:
    // The writer hands text to the file in pieces of at least this size (but the last).
    static constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

    // scene: the file the documents go to; nothing else writes to it until finish() returns.
    // escapedOwnerUuid must outlive the writer.
    DocumentWriter(platform::OutputFile& scene, std::string_view escapedOwnerUuid);

    DocumentWriter(const DocumentWriter&) = delete;
    DocumentWriter& operator=(const DocumentWriter&) = delete;

    // The document to fill next.
    [[nodiscard]] PreparedDocument& next() { return m_document; }
    // The document that next() returned is complete. Throws what the file throws.
    void add();
    // Writes the rest. Throws what the file throws.
    void finish();

private:
    void writePiece();

    platform::OutputFile& m_scene;
    std::string_view m_escapedOwnerUuid;
    PreparedDocument m_document;
    std::unique_ptr<char[]> m_text;
    std::size_t m_capacity = 0;
    std::size_t m_used = 0;
};

}  // namespace vantor::convert

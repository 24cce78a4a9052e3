#include "document_writer.h"

#include <algorithm>

namespace vantor::convert {

using namespace std::string_view_literals;

namespace {

constexpr std::size_t kSlackBytes = std::size_t{64} << 10;

}  // namespace

DocumentWriter::DocumentWriter(platform::OutputFile& scene, std::string_view escapedOwnerUuid, bool linkObjects)
    : m_scene(scene), m_escapedOwnerUuid(escapedOwnerUuid), m_linkObjects(linkObjects)
{
}

void DocumentWriter::add()
{
    if (m_linkObjects) {
        writeLinked(m_document);
        return;
    }
    writeAlone(m_document);
}

void DocumentWriter::finish()
{
    endObject();
    writePiece();
}

void DocumentWriter::writeAlone(const PreparedDocument& document)
{
    const PrimTexts texts{m_escapedOwnerUuid, document.localId, document.objectUuid, document.name};
    char* end = writePrimDocument(room(primDocumentBound(texts) + "\r\n"sv.size()), document.values, texts);
    *end++ = '\r';
    *end++ = '\n';
    wrote(end);
}

void DocumentWriter::writeLinked(const PreparedDocument& document)
{
    if (document.beginsObject || (!m_rootHeld && !m_groupOpen)) {
        // The root waits: whether it is written alone or as a linkset's root depends on what follows.
        endObject();
        m_root = document;
        m_rootHeld = true;
        return;
    }
    if (m_rootHeld) {
        const PrimTexts texts{m_escapedOwnerUuid, m_root.localId, m_root.objectUuid, m_root.name};
        const PartPlacement placement = ownPlacement(m_root.values, 1);
        char* out = room(kGroupBegin.size() + linkedPartBound(texts, placement) + kOtherPartsBegin.size());
        out = std::copy(kGroupBegin.begin(), kGroupBegin.end(), out);
        out = writeLinkedPart(out, m_root.values, texts, placement);
        wrote(std::copy(kOtherPartsBegin.begin(), kOtherPartsBegin.end(), out));
        m_rootHeld = false;
        m_groupOpen = true;
    }
    PartPlacement placement = document.placement;
    placement.parentLocalId = m_root.localId;
    const PrimTexts texts{m_escapedOwnerUuid, document.localId, document.objectUuid, document.name};
    wrote(writeLinkedPart(room(linkedPartBound(texts, placement)), document.values, texts, placement));
}

void DocumentWriter::endObject()
{
    if (m_rootHeld) {
        m_rootHeld = false;
        writeAlone(m_root);
    } else if (m_groupOpen) {
        m_groupOpen = false;
        char* out = room(kGroupEnd.size() + "\r\n"sv.size());
        out = std::copy(kGroupEnd.begin(), kGroupEnd.end(), out);
        *out++ = '\r';
        *out++ = '\n';
        wrote(out);
    }
}

char* DocumentWriter::room(std::size_t bound)
{
    if (m_capacity - m_used < bound) {
        // Not enough room left: the text so far goes first, and the buffer grows when a whole
        // piece and this text would not fit (some slack spares a long name).
        writePiece();
        if (m_capacity < kPieceBytes + bound) {
            m_capacity = kPieceBytes + bound + kSlackBytes;
            m_text = std::make_unique_for_overwrite<char[]>(m_capacity);
        }
    }
    return m_text.get() + m_used;
}

void DocumentWriter::wrote(char* end)
{
    m_used = static_cast<std::size_t>(end - m_text.get());
    if (m_used >= kPieceBytes) writePiece();
}

void DocumentWriter::writePiece()
{
    if (m_used == 0) return;
    m_scene.write(std::string_view(m_text.get(), m_used));
    m_used = 0;
}

}  // namespace vantor::convert

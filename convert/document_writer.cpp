#include "document_writer.h"

namespace vantor::convert {

using namespace std::string_view_literals;

namespace {

constexpr std::size_t kSlackBytes = std::size_t{64} << 10;

}  // namespace

DocumentWriter::DocumentWriter(platform::OutputFile& scene, std::string_view escapedOwnerUuid)
    : m_scene(scene), m_escapedOwnerUuid(escapedOwnerUuid)
{
}

void DocumentWriter::add()
{
    const PrimTexts texts{m_escapedOwnerUuid, m_document.localId, m_document.objectUuid, m_document.name};
    const std::size_t bound = primDocumentBound(texts) + "\r\n"sv.size();
    if (m_capacity - m_used < bound) {
        // Not enough room left: the text so far goes first, and the buffer grows when a
        // whole piece and this document would not fit (some slack spares a long name).
        writePiece();
        if (m_capacity < kPieceBytes + bound) {
            m_capacity = kPieceBytes + bound + kSlackBytes;
            m_text = std::make_unique_for_overwrite<char[]>(m_capacity);
        }
    }
    char* end = writePrimDocument(m_text.get() + m_used, m_document.values, texts);
    *end++ = '\r';
    *end++ = '\n';
    m_used = static_cast<std::size_t>(end - m_text.get());
    if (m_used >= kPieceBytes) writePiece();
}

void DocumentWriter::finish()
{
    writePiece();
}

void DocumentWriter::writePiece()
{
    if (m_used == 0) return;
    m_scene.write(std::string_view(m_text.get(), m_used));
    m_used = 0;
}

}  // namespace vantor::convert

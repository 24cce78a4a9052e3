#include "document_writer.h"

#include <utility>

namespace vantor::convert {

using namespace std::string_view_literals;

namespace {

constexpr std::size_t kSlackBytes = std::size_t{64} << 10;

}  // namespace

DocumentWriter::DocumentWriter(platform::OutputFile& scene, std::string_view escapedOwnerUuid)
    : m_scene(scene), m_escapedOwnerUuid(escapedOwnerUuid)
{
    for (Batch& batch : m_batches) m_free.push_back(&batch);
    m_thread = std::thread([this] { run(); });
}

DocumentWriter::~DocumentWriter()
{
    stop();
}

void DocumentWriter::stop()
{
    if (!m_thread.joinable()) return;
    {
        const std::lock_guard lock(m_mutex);
        m_abandoned = true;
    }
    m_changed.notify_all();
    m_thread.join();
}

void DocumentWriter::rethrowFailure()
{
    std::exception_ptr failure;
    {
        const std::lock_guard lock(m_mutex);
        failure = m_failure;
    }
    if (!failure) return;
    stop();
    std::rethrow_exception(failure);
}

PreparedDocument& DocumentWriter::next()
{
    if (!m_filling) {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return !m_free.empty() || m_failure; });
        if (m_failure) {
            lock.unlock();
            rethrowFailure();
        }
        m_filling = m_free.front();
        m_free.pop_front();
        m_filling->count = 0;
    }
    return m_filling->documents[m_filling->count];
}

void DocumentWriter::add()
{
    if (++m_filling->count < kBatchSize) return;
    {
        const std::lock_guard lock(m_mutex);
        m_queued.push_back(std::exchange(m_filling, nullptr));
    }
    m_changed.notify_all();
}

void DocumentWriter::finish()
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_filling && m_filling->count > 0) m_queued.push_back(m_filling);
        m_filling = nullptr;
        m_finishing = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable()) m_thread.join();
    rethrowFailure();
}

DocumentWriter::Batch* DocumentWriter::takeQueued()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_abandoned || m_finishing || !m_queued.empty(); });
    if (m_abandoned || m_queued.empty()) return nullptr;
    Batch* const batch = m_queued.front();
    m_queued.pop_front();
    return batch;
}

void DocumentWriter::giveBack(Batch* batch)
{
    {
        const std::lock_guard lock(m_mutex);
        m_free.push_back(batch);
    }
    m_changed.notify_all();
}

void DocumentWriter::run()
{
    try {
        while (Batch* const batch = takeQueued()) {
            writeBatch(*batch);
            giveBack(batch);
        }
        bool abandoned = false;
        {
            const std::lock_guard lock(m_mutex);
            abandoned = m_abandoned;
        }
        if (!abandoned) writePiece();
    } catch (...) {
        {
            const std::lock_guard lock(m_mutex);
            m_failure = std::current_exception();
        }
        m_changed.notify_all();
    }
}

void DocumentWriter::writeBatch(const Batch& batch)
{
    for (std::size_t i = 0; i < batch.count; ++i) {
        const PreparedDocument& document = batch.documents[i];
        const PrimTexts texts{m_escapedOwnerUuid, document.localId, document.objectUuid, document.name};
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
        char* end = writePrimDocument(m_text.get() + m_used, document.values, texts);
        *end++ = '\r';
        *end++ = '\n';
        m_used = static_cast<std::size_t>(end - m_text.get());
        if (m_used >= kPieceBytes) writePiece();
    }
}

void DocumentWriter::writePiece()
{
    if (m_used == 0) return;
    m_scene.write(std::string_view(m_text.get(), m_used));
    m_used = 0;
}

}  // namespace vantor::convert

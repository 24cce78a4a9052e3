#pragma once

#include "prim_xml.h"

#include "platform/file_system.h"

#include <array>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vantor::convert {

// One object document as the calling thread prepares it: its values and its texts.
struct PreparedDocument {
    PrimValues values;
    std::string localId;
    std::string objectUuid;
    std::string name;
};

// Writes object documents into the scene file on a thread of its own, so that the calling
// thread can cut, parse and compute the next records meanwhile. The calling thread fills
// batches of prepared documents (next, then add); the writer formats each batch, one line per
// document, and writes the text in large pieces. At most kBatchCount batches exist, so memory
// stays small whatever the listing's length, and the calling thread waits when the writer
// falls behind. The documents reach the file in the order they were added.
//
// Destroying the writer without finish() stops it after the piece it is writing and joins
// it; documents still queued are dropped (a failed run drops its scene file anyway).
class DocumentWriter {
public:
    static constexpr std::size_t kBatchSize = 256;
    static constexpr std::size_t kBatchCount = 3;
    // The writer hands text to the file in pieces of at least this size (but the last).
    static constexpr std::size_t kPieceBytes = std::size_t{1} << 20;

    // scene: the file the documents go to; nothing else writes to it until finish() returns
    // or the writer is destroyed. escapedOwnerUuid must outlive the writer.
    DocumentWriter(platform::OutputFile& scene, std::string_view escapedOwnerUuid);
    ~DocumentWriter();

    DocumentWriter(const DocumentWriter&) = delete;
    DocumentWriter& operator=(const DocumentWriter&) = delete;

    // The document to fill next; waits while every batch is queued. Throws what the writer's
    // thread threw, if it failed.
    [[nodiscard]] PreparedDocument& next();
    // The document that next() returned is complete.
    void add();
    // Hands over the last documents, waits until everything is written and joins the
    // thread. Throws what the writer's thread threw, if it failed.
    void finish();

private:
    struct Batch {
        std::vector<PreparedDocument> documents = std::vector<PreparedDocument>(kBatchSize);
        std::size_t count = 0;
    };

    void run();
    [[nodiscard]] Batch* takeQueued();
    void giveBack(Batch* batch);
    void writeBatch(const Batch& batch);
    void writePiece();
    void stop();
    void rethrowFailure();

    platform::OutputFile& m_scene;
    std::string_view m_escapedOwnerUuid;

    std::array<Batch, kBatchCount> m_batches;
    Batch* m_filling = nullptr;  // the calling thread's, outside both lists

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Batch*> m_free;    // guarded by m_mutex
    std::deque<Batch*> m_queued;  // guarded by m_mutex
    bool m_finishing = false;     // guarded by m_mutex: no more batches will come
    bool m_abandoned = false;     // guarded by m_mutex: stop without writing the rest
    std::exception_ptr m_failure; // guarded by m_mutex: what the writer's thread threw

    // The writer's thread only.
    std::unique_ptr<char[]> m_text;
    std::size_t m_capacity = 0;
    std::size_t m_used = 0;

    std::thread m_thread;  // last, so that it starts when everything else is ready
};

}  // namespace vantor::convert
